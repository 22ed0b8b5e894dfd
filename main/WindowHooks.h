#pragma once

namespace zelvar {

// The monitoring session as the main window drives it. The window keeps the
// check mark of "Start Monitoring" and the Monitoring flag; the session does
// the rest.
class MonitoringControl {
public:
    virtual ~MonitoringControl() = default;
    // "Start Monitoring" was chosen; its check mark already shows the new state.
    virtual void startMonitoringChosen() = 0;
    // The close sequence ends a running session, sending the exit command.
    virtual void stopForClose() = 0;
};

// The GPS serial port as the close sequence needs it.
class GpsPortControl {
public:
    virtual ~GpsPortControl() = default;
    virtual void closePort() = 0;
};

}  // namespace zelvar
