// The two log views: live appends, the files they are written to, Clear,
// the rollover, Save As, the clipboard copy and the auto-save status.
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>

#include "DateTime.h"
#include "LogFile.h"
#include "MainRules.h"
#include "UserDialogs.h"
#include "ZelvarMain.h"

namespace {

// Flushes at most this often while lines keep coming, so that a flood of
// packages is drawn in a few large blocks instead of thousands of small ones.
constexpr qint64 kMinFlushGapMs = 20;
// ... and at least this often, even when the event loop is kept busy.
constexpr qint64 kMaxFlushDelayMs = 50;
// Characters converted and appended at a time when a decoding is shown.
constexpr std::size_t kAppendPieceChars = 4 << 20;

QStringList viewLines(const QPlainTextEdit* view) {
    if (view->document()->isEmpty()) return {};
    return view->toPlainText().split(QLatin1Char('\n'));
}

bool viewEmpty(const QPlainTextEdit* view) {
    return view->document()->isEmpty();
}

void appendPending(std::string& pending, std::string_view line) {
    if (!pending.empty()) pending.push_back('\n');
    pending.append(line);
}

}  // namespace

bool TMainForm::textLogEmpty() const {
    return pendingText_.empty() && viewEmpty(Memo1);
}

void TMainForm::appendTextLine(std::string_view line) {
    if (pendingText_.empty() && pendingHex_.empty()) pendingSince_.start();
    appendPending(pendingText_, line);
    scheduleFlush();
}

void TMainForm::appendHexLine(std::string_view line) {
    if (pendingText_.empty() && pendingHex_.empty()) pendingSince_.start();
    appendPending(pendingHex_, line);
    scheduleFlush();
}

void TMainForm::setCountsText(std::string_view text) {
    pendingCounts_.assign(text);
    countsPending_ = true;
    scheduleFlush();
}

void TMainForm::scheduleFlush() {
    if (pendingSince_.isValid() && pendingSince_.elapsed() >= kMaxFlushDelayMs) {
        flushLogViews();
        return;
    }
    if (flushTimer_.isActive()) return;
    const qint64 sinceLast = sinceFlush_.elapsed();
    flushTimer_.start(
        static_cast<int>(sinceLast >= kMinFlushGapMs ? 0 : kMinFlushGapMs - sinceLast));
}

void TMainForm::flushLogViews() {
    flushTimer_.stop();
    sinceFlush_.restart();
    pendingSince_.invalidate();
    if (!pendingText_.empty()) {
        appendToView(Memo1, QString::fromLatin1(pendingText_.data(),
                                                static_cast<qsizetype>(pendingText_.size())));
        pendingText_.clear();
    }
    if (!pendingHex_.empty()) {
        appendToView(Memo2, QString::fromLatin1(pendingHex_.data(),
                                                static_cast<qsizetype>(pendingHex_.size())));
        pendingHex_.clear();
    }
    if (countsPending_) {
        countsPending_ = false;
        setStatusText(2, QString::fromLatin1(pendingCounts_.data(),
                                             static_cast<qsizetype>(pendingCounts_.size())));
    }
}

void TMainForm::appendToView(QPlainTextEdit* view, const QString& text) {
    view->appendPlainText(text);
    QScrollBar* scroll = view->verticalScrollBar();
    scroll->setValue(scroll->maximum());
}

void TMainForm::showDecodedLines(const zelvar::LineList& textLines,
                                 const zelvar::LineList& hexLines) {
    flushLogViews();
    // The input has been read to the end by now; on a large log it is the
    // biggest thing in memory while the views take their lines.
    offline_.OfflineInputLines = zelvar::LineList();
    appendLines(Memo1, textLines.joined());
    appendLines(Memo2, hexLines.joined());
}

void TMainForm::appendLines(QPlainTextEdit* view, std::string_view joined) {
    if (joined.empty()) return;
    // Converted piece by piece at line ends, so that a million lines do not
    // need a second copy of the whole text at once; no event runs in between.
    while (!joined.empty()) {
        std::size_t end = joined.size();
        if (end > kAppendPieceChars) {
            end = joined.rfind('\n', kAppendPieceChars);
            if (end == std::string_view::npos || end == 0)
                end = joined.find('\n', kAppendPieceChars);
            if (end == std::string_view::npos) end = joined.size();
        }
        view->appendPlainText(QString::fromLatin1(joined.data(), static_cast<qsizetype>(end)));
        joined.remove_prefix(std::min(end + 1, joined.size()));
    }
    QScrollBar* scroll = view->verticalScrollBar();
    scroll->setValue(scroll->maximum());
}

QStringList TMainForm::textLogLines() {
    flushLogViews();
    return viewLines(Memo1);
}

QStringList TMainForm::hexLogLines() {
    flushLogViews();
    return viewLines(Memo2);
}

QString TMainForm::lastTextLine(int fromEnd) const {
    QTextBlock block = Memo1->document()->lastBlock();
    for (int i = 0; i < fromEnd && block.isValid(); ++i) block = block.previous();
    return block.isValid() ? block.text() : QString();
}

void TMainForm::removeLastTextLine() {
    QTextDocument* document = Memo1->document();
    const QTextBlock last = document->lastBlock();
    QTextCursor cursor(document);
    // Take the line break before the last line with it, or the log would end
    // in an empty line.
    const QTextBlock before = last.previous();
    cursor.setPosition(before.isValid() ? before.position() + before.length() - 1 : 0);
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

void TMainForm::SaveLogs(const QString& base, bool hexGated) {
    flushLogViews();
    if (!viewEmpty(Memo1)) {
        zelvar::WriteLogFile(base + QStringLiteral(".txt"),
                             zelvar::LogFileBytes(Memo1->toPlainText()));
    }
    if (!viewEmpty(Memo2) && (!hexGated || mnuHexLog->isChecked())) {
        zelvar::WriteLogFile(base + QStringLiteral(".hex"),
                             zelvar::LogFileBytes(Memo2->toPlainText()));
    }
    LogsSaved = true;
}

bool TMainForm::autoSaveLogs() {
    try {
        SaveLogs(FilesDir + QString::fromStdString(zelvar::FileNameStamp()), true);
        return true;
    } catch (const zelvar::LogFileError& error) {
        dialogs().showError(this, error.text());
        return false;
    }
}

void TMainForm::mnuClearClick() {
    flushLogViews();
    decoder_.TextCount = 0;
    decoder_.HexCount = 0;
    // A log that cannot be written stays in the views, so that it can still
    // be saved elsewhere.
    if (zelvar::AutoSaveDue(mnuAutoSave->isChecked(), editorVisible(), LogsSaved) &&
        !autoSaveLogs()) {
        return;
    }
    Memo1->clear();
    Memo2->clear();
    clearCountsText();
}

void TMainForm::RolloverCheck() {
    const zelvar::Rollover rollover =
        zelvar::DecideRollover(mnuAutoSave->isChecked(), mnu65535->isChecked(), editorVisible(),
                               mnuHexLog->isChecked(), decoder_.TextCount, decoder_.HexCount);
    if (rollover == zelvar::Rollover::None) return;
    decoder_.TextCount = 0;
    if (rollover == zelvar::Rollover::TextAndHex) decoder_.HexCount = 0;
    if (!autoSaveLogs()) return;
    Memo1->clear();
    if (rollover == zelvar::Rollover::TextAndHex) Memo2->clear();
}

void TMainForm::mnuSaveAsClick() {
    flushLogViews();
    if (viewEmpty(Memo1) && viewEmpty(Memo2)) return;
    const QString base =
        dialogs().saveLogsAs(this, QString::fromStdString(zelvar::FileNameStamp()));
    if (base.isEmpty()) return;
    try {
        SaveLogs(base, false);
    } catch (const zelvar::LogFileError& error) {
        dialogs().showError(this, error.text());
    }
}

void TMainForm::mnuCopyTextClick() {
    flushLogViews();
    QString text;
    if (!viewEmpty(Memo1)) {
        text = Memo1->toPlainText();
        text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
        text += QLatin1String("\r\n");
    }
    QGuiApplication::clipboard()->setText(text);
}

void TMainForm::RefreshAutoSaveStatus() {
    mirrors_.HexLog = mnuHexLog->isChecked();
    mnu65535->setEnabled(mnuAutoSave->isChecked());
    setStatusText(1, QString::fromStdString(zelvar::AutoSaveStatusText(
                         mnuAutoSave->isChecked(), editorVisible(), mnu65535->isChecked(),
                         mnuHexLog->isChecked())));
}
