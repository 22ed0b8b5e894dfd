#pragma once

#include <QString>

#include "BusyRuns.h"
#include "WindowHooks.h"

namespace zelvar {

struct GpsState;
struct Settings;

// What the GPS strip's controls start; the window hands their clicks on.
class GpsStripCommands : public GpsPortControl {
public:
    // "Start GPS" was pressed or released; the toggle shows its new state.
    virtual void startStopClicked() = 0;
    // "Copy GPS Coordinates to Clipboard".
    virtual void copyCoordinatesChosen() = 0;
};

// What the GPS strip needs of the main window: the settings it works with,
// the strip's controls, status panel 5 and the close sequence. The monitor
// model implements it, the window keeping the controls; the strip sees
// nothing else of either.
class GpsStripHost {
public:
    virtual ~GpsStripHost() = default;

    // The port chosen and the time correction of "Set System Time From the GPS".
    virtual const Settings& gpsSettings() const = 0;
    // The close sequence has begun.
    virtual bool closing() const = 0;
    // Not owned; nullptr detaches.
    virtual void setGpsStripCommands(GpsStripCommands* commands) = 0;

    // "Start GPS" (sbCOMM); setting it does not run its command.
    virtual bool gpsToggleDown() const = 0;
    virtual void setGpsToggle(bool down) = 0;
    // The "Port:" box (cbPort).
    virtual QString gpsPortName() const = 0;
    virtual void setGpsPortBoxEnabled(bool enabled) = 0;
    // LabelGPSTime, LabelLat, LabelLon, LabelPDOP.
    virtual void showGpsLabels(const QString& time, const QString& lat, const QString& lon,
                               const QString& pdop) = 0;
    virtual void setGpsLabelsVisible(bool visible) = 0;
    virtual void setCopyGpsEnabled(bool enabled) = 0;

    virtual void refreshDisplayMode() = 0;
    virtual void showError(const QString& text) = 0;
    virtual QString statusText(int panel) const = 0;
    virtual void setStatusText(int panel, const QString& text) = 0;
};

// What the GPS strip works on, handed to it once when it is built.
struct GpsStripParts {
    GpsStripHost& host;
    GpsState& gps;   // kept current for the decoder
    BusyRuns& runs;  // the program's runs that let events through, the strip's commands among them
};

}  // namespace zelvar
