// Start-up when the window is first shown, the settings in and out, and the
// close sequence.
#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QLabel>
#include <QShowEvent>
#include <QThread>

#include "JournalRecovery.h"
#include "LogSaveControl.h"
#include "MainRules.h"
#include "RecoveryRun.h"
#include "SettingsStore.h"
#include "WindowBounds.h"
#include "LogView.h"
#include "ZelvarMain.h"
#include "ZelvarOptions.h"

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (startedUp_ || event->spontaneous()) return;
    startedUp_ = true;
    startUp();
}

void TMainForm::startUp() {
    // The auto-saved logs go below the folder the program was started in.
    const QString current = QDir::currentPath();
    QDir(current).mkdir(QStringLiteral("Files"));
    FilesDir = QDir(current).filePath(QStringLiteral("Files")) + QLatin1Char('/');
    model_.setLogsSaved(true);
    offline_.OfflineInputLines.clear();
    decoder_.clearDecodedLines();
    loadSettings();
    checkSettingsStore();
    recoverJournals();
    saving_->startJournal(QDir::cleanPath(FilesDir));
    Memo1->setFocus();
}

void TMainForm::recoverJournals() {
    // What a crashed or killed run had received is saved on a thread of its
    // own while this run's journal starts beside it and the window is in use.
    const auto recovering = [this] { return statusText(3).startsWith(QStringLiteral(" Recovering")); };
    const auto progressed = [this, recovering](int percent) {
        // A decoding started meanwhile has the panel.
        if (!statusText(3).isEmpty() && !recovering()) return;
        setStatusText(3, QStringLiteral(" Recovering %1%").arg(percent));
        statusPanels_[2]->setToolTip(QStringLiteral("Recovering the logs of the last run"));
    };
    const auto finished = [this, recovering](const std::vector<zelvar::RecoveredJournal>& journals) {
        QStringList told;
        long packages = 0;
        bool failed = false;
        for (const zelvar::RecoveredJournal& journal : journals) {
            if (!journal.error.isEmpty()) {
                failed = true;
                told << journal.error;
                continue;
            }
            packages += journal.packages;
            told << QStringLiteral("%1.hex and .txt: %2 packages")
                        .arg(QDir::toNativeSeparators(journal.base))
                        .arg(journal.packages);
        }
        // Nothing to recover: the panel is left to whatever else it shows
        // (a settings store that cannot be written, the journal's gap).
        if (told.isEmpty()) {
            if (recovering()) {
                setStatusText(3, QString());
                statusPanels_[2]->setToolTip(QString());
            }
            return;
        }
        setStatusText(3, failed ? QStringLiteral(" Recovery Failed")
                                : QStringLiteral(" Recovered %1").arg(packages));
        statusPanels_[2]->setToolTip(QStringLiteral("Logs recovered from the last run:\n") +
                                     told.join(QLatin1Char('\n')));
    };
    recovery_ = new zelvar::RecoveryRun(QDir::cleanPath(FilesDir), settings_, progressed, finished, this);
}

void TMainForm::stopRecovery() {
    // The journal being recovered stays for the next start, which recovers it once.
    delete recovery_;
    recovery_ = nullptr;
}

void TMainForm::setVisible(bool visible) {
    if (visible && !startedUp_ && !testAttribute(Qt::WA_WState_Created)) readSettings();
    QMainWindow::setVisible(visible);
}

// Runs just before the window is first created, where it can: bounds given
// then let the window manager put the frame at the stored point.
void TMainForm::readSettings() {
    if (settingsRead_) return;
    settingsRead_ = true;
    if (!store_) store_ = std::make_unique<zelvar::SettingsStore>();
    settings_ = store_->load();
    if (settings_.mwMaximized) {
        setWindowState(windowState() | Qt::WindowMaximized);
    } else {
        zelvar::RestoreWindowBounds(
            *this, {settings_.fLeft, settings_.fTop, settings_.fWidth, settings_.fHeight});
    }
}

void TMainForm::loadSettings() {
    readSettings();

    if (options_) options_->loadAddresses();
    mnuAutoSave->setChecked(settings_.AutoSave);
    mnuHexLog->setChecked(settings_.HexLog);
    setHexPaneHeight(settings_.mHeight);
    if (editor_) editor_->applyWindowSettings();
    if (editor_) editor_->applyFieldSettings();
    mnu65535->setChecked(settings_.NewFileEvery65535);
    mnuOnlyRSSI->setChecked(settings_.OnlyRSSI);
    setSerialPorts(serialPortLister_ ? serialPortLister_() : QStringList());

    RefreshDisplayMode();
    RefreshAutoSaveStatus();
    if (settings_.Editor) mnuEditorClick();
    updateSMeterHints();
}

void TMainForm::saveSettings() {
    settings_.AutoSave = mnuAutoSave->isChecked();
    settings_.HexLog = mnuHexLog->isChecked();
    settings_.mwMaximized = isMaximized();
    // A maximised window keeps the bounds it had before in the store.
    if (!settings_.mwMaximized) {
        const zelvar::WindowRect bounds = zelvar::StoredWindowBounds(*this);
        settings_.fWidth = bounds.width;
        settings_.fHeight = bounds.height;
        settings_.fTop = bounds.top;
        settings_.fLeft = bounds.left;
    }
    settings_.mHeight = hexPaneHeight();
    if (editor_) editor_->storeWindowSettings();
    settings_.NewFileEvery65535 = mnu65535->isChecked();
    settings_.OnlyRSSI = mnuOnlyRSSI->isChecked();
    storeSettings();
}

void TMainForm::closeUnattended() {
    unattendedClose_ = true;
    close();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    // Never shown, nothing loaded: saving now would overwrite the stored
    // settings with the defaults.
    if (!startedUp_) {
        event->accept();
        return;
    }
    // Whatever lets events through finishes first: a decoding or an editor
    // command stops at its next line, a stop, a question or a GPS command
    // runs to its end; the close follows once. A request that the close
    // sequence's own event processing lets in is the close already running.
    const auto closing = busy_.tryBegin(zelvar::Command::Close, zelvar::RunKind::CloseSequence,
                                        {}, [this] { close(); });
    if (!closing) {
        event->ignore();
        return;
    }
    busy_.letEventsThrough();

    bool sessionStopped = false;
    if (model_.monitoring()) {
        QThread::msleep(10);
        model_.stopSessionForClose();
        QThread::msleep(40);
        sessionStopped = true;
    }

    flushLogViews();
    saving_->finishBackgroundSaves();
    if (zelvar::AutoSaveDue(mnuAutoSave->isChecked(), editorVisible(), model_.logsSaved()) &&
        !autoSaveOrChoose(true)) {
        // The logs could not be written: keep the window and its views so the
        // user can save them elsewhere.
        busy_.closeCancelled();
        if (sessionStopped) mnuStartUDP->setChecked(false);
        event->ignore();
        return;
    }

    stopRecovery();
    // Saved, or given up by the user: the journal is not needed any more.
    // With the editor shown no file is written at the close, and an
    // unattended close gives up nothing: the packages no save holds stay in
    // the journal for the next start to recover.
    saving_->endJournal(mnuAutoSave->isChecked() && !model_.logsSaved() &&
                        (editorVisible() || unattendedClose_));
    offline_.OfflineInputLines.clear();
    decoder_.clearDecodedLines();
    saveSettings();

    if (model_.gps().Connected) {
        model_.closeGpsPort();
        busy_.letEventsThrough();
        QThread::msleep(100);
        busy_.letEventsThrough();
    }

    event->accept();
    if (editor_) editor_->hideEditor();
    if (options_) options_->hide();
    emit closed();
}
