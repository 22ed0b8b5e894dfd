// Start-up when the window is first shown, the settings in and out, and the
// close sequence.
#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QShowEvent>

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
    loadSettings();
    checkSettingsStore();
    model_.startUp(QDir(current).filePath(QStringLiteral("Files")) + QLatin1Char('/'));
    Memo1->setFocus();
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
    model_.refreshAutoSaveStatus();
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
    model_.setUnattendedClose();
    close();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    // Never shown, nothing loaded: saving now would overwrite the stored
    // settings with the defaults.
    if (!startedUp_) {
        event->accept();
        return;
    }
    const bool closes = model_.closeSequence({[this] { close(); }, [this] { saveSettings(); },
                                              [this, event] {
                                                  event->accept();
                                                  if (editor_) editor_->hideEditor();
                                                  if (options_) options_->hide();
                                                  emit closed();
                                              }});
    if (!closes) event->ignore();
}
