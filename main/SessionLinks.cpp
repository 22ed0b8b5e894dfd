// The main window's side of the monitoring session: what the session reads
// and locks while it runs.
#include <QAction>
#include <QProgressBar>

#include "ZelvarMain.h"
#include "ZelvarOptions.h"

bool TMainForm::startMonitoringChecked() const {
    return mnuStartUDP->isChecked();
}

void TMainForm::setStartMonitoringChecked(bool checked) {
    mnuStartUDP->setChecked(checked);
}

void TMainForm::sessionStarting() {
    hideEditor();
    clearCountsText();
    RefreshDisplayMode();
    setDecodeCommandsEnabled(false);
    setLogViewsEditing(false);
    setHexViewEnabled(false);
}

void TMainForm::sessionEnding() {
    setLogViewsEditing(false);
    setHexViewEnabled(true);
}

void TMainForm::sessionEnded() {
    setDecodeCommandsEnabled(true);
}

void TMainForm::setAddressFieldsEnabled(bool enabled) {
    if (options_) options_->setAddressFieldsEnabled(enabled);
}

bool TMainForm::ownPositionInReports() const {
    return mirrors_.OnlyRSSI && gps_.Connected;
}

void TMainForm::zeroSMeter(int port) {
    sMeter(port)->setValue(0);
}
