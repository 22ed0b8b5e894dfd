// The two log views: live appends, the files they are written to, Clear,
// the rollover, Save As, the clipboard copy and the auto-save status.
#include <QAction>
#include <QLabel>
#include <cstdio>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "DateTime.h"
#include "LiveJournal.h"
#include "LogFile.h"
#include "LogSaveControl.h"
#include "LogView.h"
#include "MainRules.h"
#include "UserDialogs.h"
#include "ZelvarMain.h"

namespace {


QStringList viewLines(const zelvar::LogView* view) {
    QStringList lines;
    lines.reserve(static_cast<qsizetype>(view->lineCount()));
    for (std::size_t i = 0; i < view->lineCount(); ++i) lines << view->lineText(i);
    return lines;
}

bool viewEmpty(const zelvar::LogView* view) {
    return view->isEmpty();
}

}  // namespace

bool TMainForm::textLogEmpty() const {
    return viewEmpty(Memo1);
}

void TMainForm::appendLines(zelvar::LogPane pane, std::string_view joined) {
    appendToView(pane == zelvar::LogPane::Text ? Memo1 : Memo2, joined);
}

void TMainForm::appendToView(zelvar::LogView* view, std::string_view joined) {
    view->appendLines(joined);
}

void TMainForm::showDecodedLines(const zelvar::LineList& textLines,
                                 const zelvar::LineList& hexLines) {
    // A portion of the running decoding: gathered in stores the views take
    // over whole once it ends, so the lists are never held beside a copy.
    decodedText_.appendLines(textLines.joined());
    decodedHex_.appendLines(hexLines.joined());
}

void TMainForm::showDecoded() {
    flushLogViews();
    // The text log first: it ends in the line that says how the run ended.
    Memo1->appendStore(std::move(decodedText_));
    Memo2->appendStore(std::move(decodedHex_));
}

QStringList TMainForm::textLogLines() {
    flushLogViews();
    return viewLines(Memo1);
}

QStringList TMainForm::hexLogLines() {
    flushLogViews();
    return viewLines(Memo2);
}

zelvar::LogBytes TMainForm::textLogSnapshot() {
    flushLogViews();
    return Memo1->snapshot();
}

QString TMainForm::lastTextLine(int fromEnd) const {
    const std::size_t count = Memo1->lineCount();
    const auto back = static_cast<std::size_t>(fromEnd);
    return back < count ? Memo1->lineText(count - 1 - back) : QString();
}

void TMainForm::removeLastTextLine() { Memo1->removeLastLine(); }

void TMainForm::SaveLogs(const QString& base, bool hexGated) {
    saveViews(base, false, hexGated);
}

void TMainForm::saveViews(const QString& base, bool freeName, bool hexGated) {
    flushLogViews();
    const zelvar::LogBytes text = Memo1->snapshot();
    const zelvar::LogBytes hex =
        !hexGated || mnuHexLog->isChecked() ? Memo2->snapshot() : zelvar::LogBytes();
    saving_->saveNow(base, freeName, text, hex);
    model_.setLogsSaved(true);
}

bool TMainForm::autoSaveOrChoose(bool closing) {
    const QString stamp = QString::fromStdString(zelvar::FileNameStamp());
    QString reason;
    try {
        saveViews(FilesDir + stamp, true, true);
        return true;
    } catch (const zelvar::LogFileError& error) {
        reason = error.text();
    }
    RefreshAutoSaveStatus();
    // The question's own event loop lets commands in; a second Clear or close
    // meanwhile would ask again on top of it.
    const zelvar::BusyRuns::Run asking = busy_.begin(zelvar::RunKind::Question);
    using Choice = zelvar::UserDialogs::UnsavedChoice;
    // Also when the close became unattended while a question stood: the
    // signal dismissed it.
    while (!(closing && unattendedClose_)) {
        switch (dialogs().askUnsavedLogs(this, reason, closing)) {
            case Choice::SaveElsewhere: {
                const QString base = dialogs().saveLogsAs(this, stamp);
                if (base.isEmpty()) break;
                try {
                    saveViews(base, false, false);
                    return true;
                } catch (const zelvar::LogFileError& error) {
                    reason = error.text();
                }
                break;
            }
            case Choice::GoOnWithoutSaving:
                if (dialogs().confirmLoss(this, closing)) return true;
                break;
            case Choice::Cancel:
                if (!(closing && unattendedClose_)) return false;
                break;
        }
    }
    // Whether the journal has them on the disk, not merely on their way.
    if (zelvar::LiveJournal* journal = saving_->journal()) journal->sync();
    QString kept = QStringLiteral("The journal keeps them for the next start.");
    if (!saving_->journalFailure().isEmpty() || !saving_->journalGapText().isEmpty()) {
        kept = QStringLiteral("Nor can the journal keep them all: ") +
               saving_->statusReason().replace(QLatin1Char('\n'), QLatin1Char(' '));
    }
    std::fprintf(stderr, "Zelvar: the logs could not be saved: %s. %s\n", qPrintable(reason),
                 qPrintable(kept));
    return true;
}

void TMainForm::backgroundSaveFailed(const QString& folder, const QString& text) {
    model_.setLogsSaved(false);
    // No box: a station runs unattended, and the save is retried meanwhile.
    // The status bar tells the user; stderr the station's log.
    RefreshAutoSaveStatus();
    std::fprintf(stderr, "Zelvar: auto-save into %s fails, retrying: %s\n", qPrintable(folder),
                 qPrintable(text));
}

void TMainForm::mnuClearClick() {
    // A decoding counts into the counters and a stop or close appends to the
    // views and saves them: neither is emptied under its feet.
    if (busy_.ask(zelvar::Command::Clear) != zelvar::BusyRuns::Answer::Go) return;
    flushLogViews();
    decoder_.setCounts(0, 0);
    // A rollover still being written may have failed: then its logs wait
    // and this auto-save writes them too.
    saving_->finishBackgroundSaves();
    // A log that cannot be written stays in the views unless the user says
    // otherwise.
    if (zelvar::AutoSaveDue(mnuAutoSave->isChecked(), editorVisible(), model_.logsSaved()) &&
        !autoSaveOrChoose(false)) {
        return;
    }
    Memo1->clear();
    Memo2->clear();
    saving_->dropUnsaved();
    model_.clearCountsText();
    RefreshAutoSaveStatus();
#ifdef __GLIBC__
    // The views' lines were many small blocks: freed, they would stay with
    // the process, and the next decoding would come on top of them.
    malloc_trim(0);
#endif
}

void TMainForm::RolloverCheck() {
    const zelvar::Rollover rollover =
        zelvar::DecideRollover(mnuAutoSave->isChecked(), mnu65535->isChecked(), editorVisible(),
                               mnuHexLog->isChecked(), decoder_.textCount(), decoder_.hexCount());
    if (rollover == zelvar::Rollover::None) return;
    decoder_.setCounts(0, rollover == zelvar::Rollover::TextAndHex ? 0 : decoder_.hexCount());
    // While auto-save fails the views keep everything and grow; what a
    // failed save should have written waits beside them.
    if (saving_->failing()) return;
    flushLogViews();
    // Written on the writer's thread: the window goes on reading its sockets.
    const zelvar::LogBytes text = Memo1->takeSnapshotAndClear();
    const zelvar::LogBytes hex = rollover == zelvar::Rollover::TextAndHex
                                     ? Memo2->takeSnapshotAndClear()
                                     : zelvar::LogBytes();
    saving_->saveInBackground(FilesDir + QString::fromStdString(zelvar::FileNameStamp()), text,
                              hex);
    model_.setLogsSaved(true);
}

void TMainForm::mnuSaveAsClick() {
    QString failure;
    {
        const auto asking = busy_.tryBegin(zelvar::Command::SaveAs, zelvar::RunKind::Question);
        if (!asking) return;
        flushLogViews();
        if (viewEmpty(Memo1) && viewEmpty(Memo2) && !saving_->hasWaiting()) return;
        const QString base =
            dialogs().saveLogsAs(this, QString::fromStdString(zelvar::FileNameStamp()));
        if (base.isEmpty()) return;
        try {
            SaveLogs(base, false);
        } catch (const zelvar::LogFileError& error) {
            failure = error.text();
        }
    }
    if (!failure.isEmpty()) showError(failure);
    RefreshAutoSaveStatus();
}

void TMainForm::mnuCopyTextClick() {
    flushLogViews();
    // The saved bytes: every line ends in CR LF.
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(Memo1->lines().byteCount()));
    for (const QByteArray& piece : Memo1->snapshot()) bytes += piece;
    zelvar::CopyUtf8(std::move(bytes));
}

void TMainForm::RefreshAutoSaveStatus() {
    model_.setHexLog(mnuHexLog->isChecked());
    mnu65535->setEnabled(mnuAutoSave->isChecked());
    const QString trouble = saving_->statusText();
    statusPanels_[0]->setToolTip(saving_->statusReason());
    // The journal's gap stands in its own panel, whatever the first one says.
    const QString gap = saving_->journalGapText();
    if (!gap.isEmpty()) {
        setStatusText(3, gap);
        statusPanels_[2]->setToolTip(saving_->statusReason());
    } else if (statusText(3) == QLatin1String(" Journal Gap")) {
        setStatusText(3, QString());
        statusPanels_[2]->setToolTip(QString());
    }
    if (!trouble.isEmpty()) {
        setStatusText(1, trouble);
        return;
    }
    setStatusText(1, QString::fromStdString(zelvar::AutoSaveStatusText(
                         mnuAutoSave->isChecked(), editorVisible(), mnu65535->isChecked(),
                         mnuHexLog->isChecked())));
}

void TMainForm::finishBackgroundSaves() {
    saving_->finishBackgroundSaves();
}

bool TMainForm::backgroundSavesFailing() const {
    return saving_->failing();
}

std::vector<std::string> TMainForm::syncJournal() {
    zelvar::LiveJournal* journal = saving_->journal();
    if (!journal) return {};
    journal->sync();
    return journal->files();
}
