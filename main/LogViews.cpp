// The two log views as the monitor model sees them: appends, their bytes,
// emptied on a rollover or a Clear; and the clipboard copy.
#include <QAction>

#include "LogView.h"
#include "ZelvarMain.h"

namespace {

QStringList viewLines(const zelvar::LogView* view) {
    QStringList lines;
    lines.reserve(static_cast<qsizetype>(view->lineCount()));
    for (std::size_t i = 0; i < view->lineCount(); ++i) lines << view->lineText(i);
    return lines;
}

}  // namespace

zelvar::LogView* TMainForm::logView(zelvar::LogPane pane) const {
    return pane == zelvar::LogPane::Text ? Memo1 : Memo2;
}

bool TMainForm::logEmpty(zelvar::LogPane pane) const {
    return logView(pane)->isEmpty();
}

void TMainForm::appendLines(zelvar::LogPane pane, std::string_view joined) {
    logView(pane)->appendLines(joined);
}

void TMainForm::appendStore(zelvar::LogPane pane, zelvar::LineStore&& lines) {
    logView(pane)->appendStore(std::move(lines));
}

zelvar::LogBytes TMainForm::logSnapshot(zelvar::LogPane pane) const {
    return logView(pane)->snapshot();
}

zelvar::LogBytes TMainForm::takeLog(zelvar::LogPane pane) {
    return logView(pane)->takeSnapshotAndClear();
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
    const std::size_t count = Memo1->lineCount();
    const auto back = static_cast<std::size_t>(fromEnd);
    return back < count ? Memo1->lineText(count - 1 - back) : QString();
}

void TMainForm::mnuCopyTextClick() {
    flushLogViews();
    // The saved bytes: every line ends in CR LF.
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(Memo1->lines().byteCount()));
    for (const QByteArray& piece : Memo1->snapshot()) bytes += piece;
    zelvar::CopyUtf8(std::move(bytes));
}
