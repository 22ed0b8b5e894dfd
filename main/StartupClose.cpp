// Start-up when the window is first shown, the settings in and out, and the
// close sequence.
#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QPlainTextEdit>
#include <QShowEvent>
#include <QThread>

#include "MainRules.h"
#include "SettingsStore.h"
#include "WindowHooks.h"
#include "ZelvarEditor.h"
#include "ZelvarMain.h"
#include "ZelvarOptions.h"

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (startedUp_ || event->spontaneous()) return;
    startedUp_ = true;
    startUp();
}

void TMainForm::startUp() {
    offline_.DecoderIdle = true;
    // The auto-saved logs go below the folder the program was started in.
    const QString current = QDir::currentPath();
    QDir(current).mkdir(QStringLiteral("Files"));
    FilesDir = QDir(current).filePath(QStringLiteral("Files")) + QLatin1Char('/');
    LogsSaved = true;
    offline_.OfflineInputLines.clear();
    decoder_.DecodedTextLines.clear();
    decoder_.DecodedHexLines.clear();
    loadSettings();
    Memo1->setFocus();
}

void TMainForm::loadSettings() {
    if (!store_) store_ = std::make_unique<zelvar::SettingsStore>();
    settings_ = store_->load();

    if (options_) options_->loadAddresses();
    mnuAutoSave->setChecked(settings_.AutoSave);
    mnuHexLog->setChecked(settings_.HexLog);
    if (settings_.mwMaximized) {
        setWindowState(windowState() | Qt::WindowMaximized);
    } else {
        resize(settings_.fWidth, settings_.fHeight);
        move(settings_.fLeft, settings_.fTop);
    }
    setHexPaneHeight(settings_.mHeight);
    if (editor_) editor_->applyWindowSettings();
    if (editor_) editor_->applyFieldSettings();
    mnu65535->setChecked(settings_.NewFileEvery65535);
    mnuOnlyRSSI->setChecked(settings_.OnlyRSSI);
    setSerialPorts(serialPortLister_ ? serialPortLister_() : QStringList());

    RefreshDisplayMode();
    RefreshAutoSaveStatus();
    if (settings_.Editor) mnuEditorClick();
    UpdateSMeterHints();
}

void TMainForm::saveSettings() {
    settings_.AutoSave = mnuAutoSave->isChecked();
    settings_.HexLog = mnuHexLog->isChecked();
    settings_.mwMaximized = isMaximized();
    // A maximised window keeps the bounds it had before in the store.
    if (!settings_.mwMaximized) {
        settings_.fWidth = width();
        settings_.fHeight = height();
        settings_.fTop = y();
        settings_.fLeft = x();
    }
    settings_.mHeight = hexPaneHeight();
    if (editor_) editor_->storeWindowSettings();
    settings_.NewFileEvery65535 = mnu65535->isChecked();
    settings_.OnlyRSSI = mnuOnlyRSSI->isChecked();
    if (!store_) store_ = std::make_unique<zelvar::SettingsStore>();
    store_->save(settings_);
}

void TMainForm::closeEvent(QCloseEvent* event) {
    // Never shown, nothing loaded: saving now would overwrite the stored
    // settings with the defaults.
    if (!startedUp_) {
        event->accept();
        return;
    }
    // A second request while the sequence runs (its event processing lets
    // one in) waits for the first to finish.
    if (inCloseSequence_) {
        event->ignore();
        return;
    }
    inCloseSequence_ = true;
    const struct SequenceEnd {
        bool& flag;
        ~SequenceEnd() { flag = false; }
    } sequenceEnd{inCloseSequence_};

    Closing = true;
    offline_.AbortDecoding = true;
    QCoreApplication::processEvents();

    if (!offline_.DecoderIdle) {
        // We are inside the decoding's event processing: the decoding still
        // holds its lists. It stops at its next line and closes the window then.
        closeAfterDecoding_ = true;
        event->ignore();
        return;
    }

    bool sessionStopped = false;
    if (Monitoring) {
        QThread::msleep(10);
        if (monitoring_) monitoring_->stopForClose();
        QThread::msleep(40);
        sessionStopped = true;
    }

    flushLogViews();
    if (zelvar::AutoSaveDue(mnuAutoSave->isChecked(), editorVisible(), LogsSaved) &&
        !autoSaveLogs()) {
        // The logs could not be written: keep the window and its views so the
        // user can save them elsewhere.
        Closing = false;
        if (sessionStopped) mnuStartUDP->setChecked(false);
        event->ignore();
        return;
    }

    offline_.OfflineInputLines.clear();
    decoder_.DecodedTextLines.clear();
    decoder_.DecodedHexLines.clear();
    saveSettings();

    if (gps_.Connected) {
        if (gpsPort_) gpsPort_->closePort();
        QCoreApplication::processEvents();
        QThread::msleep(100);
        QCoreApplication::processEvents();
    }

    event->accept();
    if (editor_) editor_->hide();
    if (options_) options_->hide();
    emit closed();
}
