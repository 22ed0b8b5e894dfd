#include "LogViewMirror.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "LogFile.h"

namespace zelvar {

LogViewMirror::LogViewMirror(QPlainTextEdit* view) : view_(view) { clear(); }

bool LogViewMirror::inSync() const {
    const QTextDocument* document = view_->document();
    return document->revision() == revision_ && document->characterCount() == characters_;
}

void LogViewMirror::markInSync() {
    revision_ = view_->document()->revision();
    characters_ = view_->document()->characterCount();
}

void LogViewMirror::appendLines(std::string_view joined) {
    const bool wasInSync = inSync();
    view_->appendPlainText(QString::fromUtf8(joined.data(), static_cast<qsizetype>(joined.size())));
    if (!wasInSync) return;
    std::size_t begin = 0;
    while (begin <= joined.size()) {
        std::size_t end = joined.find('\n', begin);
        if (end == std::string_view::npos) end = joined.size();
        bytes_.append(joined.data() + begin, static_cast<qsizetype>(end - begin));
        bytes_.append("\r\n", 2);
        begin = end + 1;
    }
    markInSync();
}

void LogViewMirror::removeLastLine() {
    const bool wasInSync = inSync();
    QTextDocument* document = view_->document();
    const QTextBlock last = document->lastBlock();
    QTextCursor cursor(document);
    // Take the line break before the last line with it, or the log would end
    // in an empty line.
    const QTextBlock before = last.previous();
    cursor.setPosition(before.isValid() ? before.position() + before.length() - 1 : 0);
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    if (!wasInSync) return;
    const qsizetype cut = bytes_.size() >= 3 ? bytes_.lastIndexOf("\r\n", bytes_.size() - 3) : -1;
    bytes_.truncate(cut < 0 ? 0 : cut + 2);
    markInSync();
}

void LogViewMirror::clear() {
    view_->clear();
    bytes_.clear();
    markInSync();
}

QByteArray LogViewMirror::fileBytes() {
    if (!inSync()) {
        bytes_ = LogFileBytes(view_->toPlainText());
        markInSync();
    }
    return bytes_;
}

QByteArray LogViewMirror::takeFileBytesAndClear() {
    QByteArray bytes = fileBytes();
    bytes_ = QByteArray();
    view_->clear();
    markInSync();
    return bytes;
}

}  // namespace zelvar
