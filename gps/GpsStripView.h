#pragma once

#include <string>

#include "NmeaReader.h"

namespace zelvar {

// The GPS strip's controls and the few other parts of the main window that
// the strip drives. The window implements it; tests replace it.
class GpsStripView {
public:
    virtual ~GpsStripView() = default;

    // LabelGPSTime, LabelLat, LabelLon, LabelPDOP.
    virtual void showGpsLabels(const GpsLabels& labels) = 0;
    virtual void setGpsLabelsVisible(bool visible) = 0;
    // The "Port:" box (cbPort).
    virtual void setPortBoxEnabled(bool enabled) = 0;
    // "Copy GPS Coordinates to Clipboard" and the settings dialog's "Set
    // System Time From the GPS".
    virtual void setGpsCommandsEnabled(bool enabled) = 0;
    // Lets "Start GPS" (sbCOMM) spring up without running its handler.
    virtual void releaseGpsToggle() = 0;
    // The header line of the text log depends on the GPS port being open.
    virtual void refreshDisplayMode() = 0;
    // The standard error box; `hint` is an optional second line.
    virtual void showError(const std::string& text, const std::string& hint) = 0;
    // Something the user should know that no command of theirs caused (the
    // receiver was pulled out).
    virtual void showNotice(const std::string& text) = 0;
    // The status bar's fifth panel.
    virtual std::string statusPanelText() const = 0;
    virtual void setStatusPanelText(const std::string& text) = 0;
    virtual void copyToClipboard(const std::string& text) = 0;
    // The window has begun to close; received data is ignored from now on.
    virtual bool closing() const = 0;
};

}  // namespace zelvar
