// The main window as the monitor model's view: the check marks it reads, the
// controls it enables, and what a monitoring session locks while it runs.
#include <QAction>
#include <QComboBox>
#include <QSignalBlocker>
#include <QToolButton>

#include "ZelvarMain.h"
#include "ZelvarOptions.h"

bool TMainForm::toggled(zelvar::ViewToggle toggle) const {
    switch (toggle) {
        case zelvar::ViewToggle::StartMonitoring:
            return mnuStartUDP->isChecked();
        case zelvar::ViewToggle::StartGps:
            return sbCOMM->isChecked();
    }
    return false;
}

void TMainForm::setToggled(zelvar::ViewToggle toggle, bool on) {
    switch (toggle) {
        case zelvar::ViewToggle::StartMonitoring:
            mnuStartUDP->setChecked(on);
            break;
        case zelvar::ViewToggle::StartGps: {
            const QSignalBlocker quiet(sbCOMM);
            sbCOMM->setChecked(on);
            break;
        }
    }
}

void TMainForm::setControlEnabled(zelvar::ViewControl control, bool enabled) {
    switch (control) {
        case zelvar::ViewControl::Decode:
            mnuDecode->setEnabled(enabled);
            break;
        case zelvar::ViewControl::GpsPortBox:
            cbPort->setEnabled(enabled);
            break;
        case zelvar::ViewControl::CopyGps:
            mnuCopyGPS->setEnabled(enabled);
            break;
        case zelvar::ViewControl::AddressFields:
            if (options_) options_->setAddressFieldsEnabled(enabled);
            break;
    }
}

void TMainForm::sessionPhaseChanged(zelvar::SessionPhase phase) {
    switch (phase) {
        case zelvar::SessionPhase::Starting:
            hideEditor();
            model_.clearCountsText();
            RefreshDisplayMode();
            setDecodeCommandsEnabled(false);
            setLogViewsEditing(false);
            setHexViewEnabled(false);
            break;
        case zelvar::SessionPhase::Ending:
            setLogViewsEditing(false);
            setHexViewEnabled(true);
            break;
        case zelvar::SessionPhase::Ended:
            setDecodeCommandsEnabled(true);
            break;
    }
}
