#pragma once

#include <QObject>
#include <QStringList>
#include <chrono>
#include <memory>
#include <string>

#include "GpsStrip.h"
#include "GpsStripHost.h"
#include "GpsStripView.h"

class TOptionsForm;

namespace zelvar {

class SystemClock;
class TBComPort;

// Hangs the GPS strip's controller on the main window, through GpsStripHost:
// "Start GPS", the "Port:" box, the four labels, "Copy GPS Coordinates to
// Clipboard", status panel 5 and the close sequence; and on the settings
// dialog's "Set System Time From the GPS". The window keeps the controls;
// what they do is the controller's.
class GpsStripWindow : public QObject, public GpsStripView, public GpsStripCommands {
    Q_OBJECT

public:
    // `clock` is what "Set System Time From the GPS" sets; `port` and
    // `statusFlash` are for tests (see GpsStrip).
    GpsStripWindow(const GpsStripParts& parts, TOptionsForm* options, SystemClock& clock,
                   std::unique_ptr<TBComPort> port = nullptr,
                   std::chrono::milliseconds statusFlash = GpsStrip::kStatusFlash);
    ~GpsStripWindow() override;

    void sbTimeFromGPSClick();

    GpsStrip& strip() { return strip_; }

    // --- GpsStripCommands ---
    void startStopClicked() override;
    void copyCoordinatesChosen() override;
    void closePort() override;

    // --- GpsStripView ---
    void showGpsLabels(const GpsLabels& labels) override;
    void setGpsLabelsVisible(bool visible) override;
    void setPortBoxEnabled(bool enabled) override;
    void setGpsCommandsEnabled(bool enabled) override;
    void releaseGpsToggle() override;
    void refreshDisplayMode() override;
    void showError(const std::string& text, const std::string& hint) override;
    void showNotice(const std::string& text) override;
    std::string statusPanelText() const override;
    void setStatusPanelText(const std::string& text) override;
    void copyToClipboard(const std::string& text) override;
    bool closing() const override;

private:
    GpsStripHost& w_;
    BusyRuns& runs_;
    TOptionsForm* options_;
    SystemClock& clock_;
    GpsStrip strip_;
};

// The system's serial ports for the "Port:" box, with the extra names of
// $ZELVAR_SERIAL_PORTS; empty when there are none or the list cannot be read.
QStringList SystemSerialPortNames();

}  // namespace zelvar
