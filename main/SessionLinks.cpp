// The main window as the monitor model's view: the check marks it reads, the
// controls it enables, and what a monitoring session or an offline decoding
// locks while it runs.
#include <QAction>
#include <QComboBox>
#include <QSignalBlocker>
#include <QToolButton>

#include "LogView.h"
#include "ZelvarMain.h"
#include "ZelvarOptions.h"

bool TMainForm::toggled(zelvar::ViewToggle toggle) const {
    switch (toggle) {
        case zelvar::ViewToggle::StartMonitoring:
            return mnuStartUDP->isChecked();
        case zelvar::ViewToggle::StartGps:
            return sbCOMM->isChecked();
        case zelvar::ViewToggle::AutoSave:
            return mnuAutoSave->isChecked();
        case zelvar::ViewToggle::NewFileEvery65535:
            return mnu65535->isChecked();
        case zelvar::ViewToggle::HexLog:
            return mnuHexLog->isChecked();
        case zelvar::ViewToggle::EditorShown:
            return editorVisible();
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
        case zelvar::ViewToggle::AutoSave:
        case zelvar::ViewToggle::NewFileEvery65535:
        case zelvar::ViewToggle::HexLog:
        case zelvar::ViewToggle::EditorShown:
            break;  // the user's alone: the monitor only reads them
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
        case zelvar::ViewControl::NewFileEvery65535:
            mnu65535->setEnabled(enabled);
            break;
    }
}

void TMainForm::phaseChanged(zelvar::RunPhase phase) {
    switch (phase) {
        case zelvar::RunPhase::SessionStarting:
            hideEditor();
            model_.clearCountsText();
            RefreshDisplayMode();
            setDecodeCommandsEnabled(false);
            setLogViewsEditing(false);
            setHexViewEnabled(false);
            break;
        case zelvar::RunPhase::SessionEnding:
            setLogViewsEditing(false);
            setHexViewEnabled(true);
            break;
        case zelvar::RunPhase::SessionEnded:
            setDecodeCommandsEnabled(true);
            break;
        case zelvar::RunPhase::DecodingStarting:
            if (options_) options_->hide();
            if (editor_) editor_->setDecodeButtonEnabled(false);
            break;
        case zelvar::RunPhase::Decoding:
            Memo1->setFocus();
            break;
        case zelvar::RunPhase::DecodingEnded:
            if (editor_) editor_->setDecodeButtonEnabled(true);
            break;
    }
}
