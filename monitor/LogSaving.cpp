// The views on their way to the disk: Clear, Save As, the rollover, the
// auto-save status, and the close sequence that saves them last.
#include <QThread>
#include <cstdio>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "DateTime.h"
#include "LiveJournal.h"
#include "LogFileError.h"
#include "LogSaveControl.h"
#include "MonitorRules.h"
#include "MonitorModel.h"
#include "RecoveryRun.h"

namespace zelvar {

bool MonitorModel::autoSaveDue() const {
    return AutoSaveDue(view_.toggled(ViewToggle::AutoSave), view_.toggled(ViewToggle::EditorShown),
                       logsSaved_);
}

void MonitorModel::saveViews(const QString& base, bool freeName, bool hexGated) {
    flushLogViews();
    const LogBytes text = view_.logSnapshot(LogPane::Text);
    const LogBytes hex = !hexGated || view_.toggled(ViewToggle::HexLog)
                             ? view_.logSnapshot(LogPane::Hex)
                             : LogBytes();
    saving_->saveNow(base, freeName, text, hex);
    logsSaved_ = true;
}

bool MonitorModel::autoSaveOrChoose(bool closing) {
    const QString stamp = QString::fromStdString(FileNameStamp());
    QString reason;
    try {
        saveViews(filesFolder_ + stamp, true, true);
        return true;
    } catch (const LogFileError& error) {
        reason = error.text();
    }
    refreshAutoSaveStatus();
    // The question's own event loop lets commands in; a second Clear or close
    // meanwhile would ask again on top of it.
    const BusyRuns::Run asking = busy_.begin(RunKind::Question);
    // Also when the close became unattended while a question stood: the
    // signal dismissed it.
    while (!(closing && unattendedClose_)) {
        switch (dialogs_.askUnsavedLogs(reason, closing)) {
            case UnsavedChoice::SaveElsewhere: {
                const QString base = dialogs_.saveLogsAs(stamp);
                if (base.isEmpty()) break;
                try {
                    saveViews(base, false, false);
                    return true;
                } catch (const LogFileError& error) {
                    reason = error.text();
                }
                break;
            }
            case UnsavedChoice::GoOnWithoutSaving:
                if (dialogs_.confirmLoss(closing)) return true;
                break;
            case UnsavedChoice::Cancel:
                if (!(closing && unattendedClose_)) return false;
                break;
        }
    }
    // Whether the journal has them on the disk, not merely on their way.
    if (LiveJournal* journal = saving_->journal()) journal->sync();
    QString kept = QStringLiteral("The journal keeps them for the next start.");
    if (!saving_->journalFailure().isEmpty() || !saving_->journalGapText().isEmpty()) {
        kept = QStringLiteral("Nor can the journal keep them all: ") +
               saving_->statusReason().replace(QLatin1Char('\n'), QLatin1Char(' '));
    }
    std::fprintf(stderr, "Zelvar: the logs could not be saved: %s. %s\n", qPrintable(reason),
                 qPrintable(kept));
    return true;
}

void MonitorModel::backgroundSaveFailed(const QString& folder, const QString& text) {
    logsSaved_ = false;
    // No box: a station runs unattended, and the save is retried meanwhile.
    // The status bar tells the user; stderr the station's log.
    refreshAutoSaveStatus();
    std::fprintf(stderr, "Zelvar: auto-save into %s fails, retrying: %s\n", qPrintable(folder),
                 qPrintable(text));
}

void MonitorModel::clearChosen() {
    // A decoding counts into the counters and a stop or close appends to the
    // views and saves them: neither is emptied under its feet.
    if (busy_.ask(Command::Clear) != BusyRuns::Answer::Go) return;
    flushLogViews();
    decoder_.setCounts(0, 0);
    // A rollover still being written may have failed: then its logs wait
    // and this auto-save writes them too.
    saving_->finishBackgroundSaves();
    // A log that cannot be written stays in the views unless the user says
    // otherwise.
    if (autoSaveDue() && !autoSaveOrChoose(false)) return;
    view_.takeLog(LogPane::Text);
    view_.takeLog(LogPane::Hex);
    saving_->dropUnsaved();
    clearCountsText();
    refreshAutoSaveStatus();
#ifdef __GLIBC__
    // The views' lines were many small blocks: freed, they would stay with
    // the process, and the next decoding would come on top of them.
    malloc_trim(0);
#endif
}

void MonitorModel::rolloverCheck() {
    const bool hexLog = view_.toggled(ViewToggle::HexLog);
    const Rollover rollover = DecideRollover(
        view_.toggled(ViewToggle::AutoSave), view_.toggled(ViewToggle::NewFileEvery65535),
        view_.toggled(ViewToggle::EditorShown), hexLog, decoder_.textCount(), decoder_.hexCount());
    if (rollover == Rollover::None) return;
    decoder_.setCounts(0, rollover == Rollover::TextAndHex ? 0 : decoder_.hexCount());
    // While auto-save fails the views keep everything and grow; what a
    // failed save should have written waits beside them.
    if (saving_->failing()) return;
    flushLogViews();
    // Written on the writer's thread: the window goes on reading its sockets.
    const LogBytes text = view_.takeLog(LogPane::Text);
    const LogBytes hex =
        rollover == Rollover::TextAndHex ? view_.takeLog(LogPane::Hex) : LogBytes();
    saving_->saveInBackground(filesFolder_ + QString::fromStdString(FileNameStamp()), text, hex);
    logsSaved_ = true;
}

void MonitorModel::saveAsChosen() {
    QString failure;
    {
        const auto asking = busy_.tryBegin(Command::SaveAs, RunKind::Question);
        if (!asking) return;
        flushLogViews();
        if (view_.logEmpty(LogPane::Text) && view_.logEmpty(LogPane::Hex) &&
            !saving_->hasWaiting()) {
            return;
        }
        const QString base = dialogs_.saveLogsAs(QString::fromStdString(FileNameStamp()));
        if (base.isEmpty()) return;
        try {
            saveViews(base, false, false);
        } catch (const LogFileError& error) {
            failure = error.text();
        }
    }
    if (!failure.isEmpty()) showError(failure);
    refreshAutoSaveStatus();
}

void MonitorModel::refreshAutoSaveStatus() {
    const bool autoSave = view_.toggled(ViewToggle::AutoSave);
    const bool hexLog = view_.toggled(ViewToggle::HexLog);
    mirrors_.HexLog = hexLog;
    view_.setControlEnabled(ViewControl::NewFileEvery65535, autoSave);
    const QString trouble = saving_->statusText();
    view_.setStatusHint(1, saving_->statusReason());
    // The journal's gap stands in its own panel, whatever the first one says.
    const QString gap = saving_->journalGapText();
    if (!gap.isEmpty()) {
        view_.setStatusText(3, gap);
        view_.setStatusHint(3, saving_->statusReason());
    } else if (view_.statusText(3) == QLatin1String(" Journal Gap")) {
        view_.setStatusText(3, QString());
        view_.setStatusHint(3, QString());
    }
    if (!trouble.isEmpty()) {
        view_.setStatusText(1, trouble);
        return;
    }
    view_.setStatusText(1, QString::fromStdString(AutoSaveStatusText(
                               autoSave, view_.toggled(ViewToggle::EditorShown),
                               view_.toggled(ViewToggle::NewFileEvery65535), hexLog)));
}

bool MonitorModel::closeSequence(const CloseSteps& steps) {
    // Whatever lets events through finishes first: a decoding or an editor
    // command stops at its next line, a stop, a question or a GPS command
    // runs to its end; the close follows once. A request that the close
    // sequence's own event processing lets in is the close already running.
    const auto closing = busy_.tryBegin(Command::Close, RunKind::CloseSequence, {}, steps.again);
    if (!closing) return false;
    busy_.letEventsThrough();

    bool sessionStopped = false;
    if (monitoring_) {
        QThread::msleep(10);
        if (session_) session_->stopForClose();
        QThread::msleep(40);
        sessionStopped = true;
    }

    flushLogViews();
    saving_->finishBackgroundSaves();
    if (autoSaveDue() && !autoSaveOrChoose(true)) {
        // The logs could not be written: keep the window and its views so the
        // user can save them elsewhere.
        busy_.closeCancelled();
        if (sessionStopped) setStartMonitoringChecked(false);
        return false;
    }

    // The journal being recovered stays for the next start, which recovers it once.
    recovery_.reset();
    // Saved, or given up by the user: the journal is not needed any more.
    // With the editor shown no file is written at the close, and an
    // unattended close gives up nothing: the packages no save holds stay in
    // the journal for the next start to recover.
    saving_->endJournal(view_.toggled(ViewToggle::AutoSave) && !logsSaved_ &&
                        (view_.toggled(ViewToggle::EditorShown) || unattendedClose_));
    offline_.clearInput();
    decoder_.clearDecodedLines();
    steps.storeSettings();

    if (gps_.Connected) {
        if (gpsCommands_) gpsCommands_->closePort();
        busy_.letEventsThrough();
        QThread::msleep(100);
        busy_.letEventsThrough();
    }
    steps.done();
    return true;
}

void MonitorModel::finishBackgroundSaves() {
    saving_->finishBackgroundSaves();
}

bool MonitorModel::backgroundSavesFailing() const {
    return saving_->failing();
}

std::vector<std::string> MonitorModel::syncJournal() {
    LiveJournal* journal = saving_->journal();
    if (!journal) return {};
    journal->sync();
    return journal->files();
}

}  // namespace zelvar
