#pragma once

#include <QTimer>
#include <chrono>
#include <memory>
#include <string>

#include "BCPort.h"
#include "GpsStripView.h"
#include "NmeaReader.h"
#include "OwnFix.h"
#include "Settings.h"
#include "SystemClock.h"

namespace zelvar {

// The GPS strip's logic beside the main window: starts and stops the GPS
// port, turns what the receiver sends into the own-position fix in
// `gps.fix` (read by the decoder) and the four labels, keeps
// `gps.Connected` equal to the port's state, and runs the copy and
// set-clock commands with their one-second status text. Lives on the window
// thread; all of its handlers run there.
class GpsStrip {
public:
    static constexpr std::chrono::milliseconds kStatusFlash{1000};

    // `port` is for tests, by default the program's own port; so is
    // `statusFlash`, how long a command's status text stands.
    GpsStrip(const Settings& settings, GpsState& gps, GpsStripView& view,
             std::unique_ptr<TBComPort> port = nullptr,
             std::chrono::milliseconds statusFlash = kStatusFlash);
    ~GpsStrip();
    GpsStrip(const GpsStrip&) = delete;
    GpsStrip& operator=(const GpsStrip&) = delete;

    // "Start GPS" changed its state: `down` is its new state, `portName` the
    // text of the "Port:" box.
    void startStopChosen(bool down, const std::string& portName);
    // The close sequence: closes the port if it is open.
    void closePort();
    // "Copy GPS Coordinates to Clipboard".
    void copyCoordinates();
    // "Set System Time From the GPS". The status text shows the clock once
    // the system has answered; a press while an answer is awaited is refused.
    void setClockFromGps(SystemClock& clock);

    TBComPort& port() { return *port_; }
    const NmeaReader& reader() const { return reader_; }

private:
    void rxChar(int count);
    void deviceLost();
    void showState(bool open);
    void flashStatus(const std::string& text);

    const Settings& settings_;
    GpsState& gps_;
    GpsStripView& view_;
    std::unique_ptr<TBComPort> port_;
    NmeaReader reader_;
    QTimer restoreTimer_;
    std::string rememberedStatus_;
    bool clockPending_ = false;
    // Lets an answer from the clock that comes after the strip is gone do nothing.
    std::shared_ptr<GpsStrip*> self_;
};

}  // namespace zelvar
