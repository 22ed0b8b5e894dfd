#pragma once

#include <QString>
#include <string_view>

#include "BusyRuns.h"

namespace zelvar {

class PackageDecoder;
struct Settings;

// The monitoring session as the monitor model drives it. The window keeps the
// check mark of "Start Monitoring", the model the Monitoring flag; the
// session does the rest.
class MonitoringControl {
public:
    virtual ~MonitoringControl() = default;
    // "Start Monitoring" was chosen; its check mark already shows the new state.
    virtual void startMonitoringChosen() = 0;
    // The close sequence ends a running session, sending the exit command.
    virtual void stopForClose() = 0;
};

// What the monitoring session needs of the main window: the settings of the
// decoder it feeds, the "Start Monitoring" check mark and the state flags,
// the status panels and S-meters, and the controls that a running session
// locks. The monitor model implements it; the session sees nothing else of
// the model or the window.
class SessionHost {
public:
    virtual ~SessionHost() = default;

    virtual const Settings& sessionSettings() const = 0;

    // "Start Monitoring"'s check mark.
    virtual bool startMonitoringChecked() const = 0;
    virtual void setStartMonitoringChecked(bool checked) = 0;
    virtual bool monitoring() const = 0;
    virtual void setMonitoring(bool running) = 0;
    // The close sequence has begun.
    virtual bool closing() const = 0;
    // An offline decoding runs (the choice that reached the session has
    // already asked it to stop).
    virtual bool offlineDecodingRuns() const = 0;
    // A package from a transceiver came in: the views hold something unsaved.
    virtual void liveDataReceived() = 0;

    // The session starts: the editor is hidden and the commands and views
    // that must not change while it runs are locked; it ends, and they are
    // free again.
    virtual void sessionStarting() = 0;
    virtual void sessionEnding() = 0;
    virtual void sessionEnded() = 0;
    virtual void setAddressFieldsEnabled(bool enabled) = 0;

    virtual void setStatusText(int panel, const QString& text) = 0;
    virtual void setSessionStatusText(const QString& text, const QString& hint) = 0;
    // " GPS + RSSI" belongs in the mode panel once the session runs.
    virtual bool ownPositionInReports() const = 0;
    virtual void showError(const QString& text) = 0;
    virtual void appendTextLine(std::string_view line) = 0;
    virtual void resetSMeters() = 0;
    virtual void UpdateSMeterHints() = 0;
    virtual void zeroSMeter(int port) = 0;
};

// What the session works on, handed to it once when it is built.
struct SessionParts {
    SessionHost& host;
    PackageDecoder& decoder;  // the live decoder it feeds
    BusyRuns& runs;  // the program's runs that let events through, the session's stop among them
};

}  // namespace zelvar
