#include "GpsStrip.h"

#include <stdexcept>

#include "DateTime.h"
#include "GpsClock.h"

namespace zelvar {

GpsStrip::GpsStrip(const Settings& settings, GpsState& gps, GpsStripView& view,
                   std::unique_ptr<TBComPort> port, std::chrono::milliseconds statusFlash)
    : settings_(settings),
      gps_(gps),
      view_(view),
      port_(port ? std::move(port) : std::make_unique<TBComPort>()),
      reader_(settings, gps.fix),
      self_(std::make_shared<GpsStrip*>(this)) {
    // The receiver: 4800 bit/s, 8 data bits, no parity, 1 stop bit.
    port_->SetBaudRate(TBaudRate::br4800);
    port_->SetByteSize(TByteSize::bs8);
    port_->SetParity(TParity::paNone);
    port_->SetStopBits(TStopBits::sb1);
    port_->OnRxChar = [this](TBComPort&, int count) { rxChar(count); };
    port_->OnDeviceLost = [this](TBComPort&) { deviceLost(); };
    port_->OnEventFailure = [this](TBComPort&, const std::string& text) { view_.showNotice(text); };
    restoreTimer_.setSingleShot(true);
    restoreTimer_.setInterval(statusFlash);
    QObject::connect(&restoreTimer_, &QTimer::timeout, [this] { view_.setStatusPanelText(rememberedStatus_); });
}

GpsStrip::~GpsStrip() {
    *self_ = nullptr;
}

void GpsStrip::startStopChosen(bool down, const std::string& portName) {
    view_.setPortBoxEnabled(true);
    try {
        if (down) {
            port_->SetPort(portName);
            port_->Open();
        } else {
            port_->Close();
        }
    } catch (const EComPort& failure) {
        if (down) {
            // A failed start leaves the toggle down and the strip as it was,
            // so releasing the toggle runs the stop path and resets it.
            gps_.Connected = false;
        } else {
            // Close has closed the port all the same: the strip must not go
            // on showing a running GPS.
            showState(false);
        }
        view_.showError(failure.what(), failure.hint());
        return;
    }
    showState(port_->Connected());
}

void GpsStrip::showState(bool open) {
    gps_.Connected = open;
    view_.setPortBoxEnabled(!open);
    view_.setGpsCommandsEnabled(open);
    reader_.Reset();
    view_.showGpsLabels(reader_.labels());
    view_.setGpsLabelsVisible(open);
    view_.refreshDisplayMode();
}

void GpsStrip::closePort() {
    if (!port_->Connected()) return;
    try {
        port_->Close();
    } catch (const EComPort&) {
        // The port is closed all the same, and the window is on its way out.
    }
    gps_.Connected = false;
}

void GpsStrip::rxChar(int count) {
    if (!port_->Connected() || view_.closing()) return;
    if (reader_.Receive(port_->ReadString(count))) view_.showGpsLabels(reader_.labels());
}

void GpsStrip::deviceLost() {
    // The port's event thread has stopped waiting; closing cannot fail on
    // lines that are gone, and the strip goes back to its stopped state.
    closePort();
    view_.releaseGpsToggle();
    showState(false);
    // The notice takes the panel a copy or clock text may hold for its
    // second; that text's end must not put back what was there before it.
    restoreTimer_.stop();
    view_.showNotice("GPS receiver disconnected");
}

void GpsStrip::copyCoordinates() {
    if (!port_->Connected()) return;
    const OwnFix& fix = gps_.fix;
    view_.copyToClipboard(fix.LatText + "\t" + fix.LonText);
    flashStatus(" " + fix.LatText + "  " + fix.LonText);
}

void GpsStrip::setClockFromGps(SystemClock& clock) {
    if (clockPending_) return;
    clockPending_ = true;
    std::weak_ptr<GpsStrip*> strip = self_;
    try {
        SetSystemClockFromGps(gps_.fix.RmcDate, gps_.fix.RmcTime, settings_.GMTCorrection, clock,
                              [strip](const ClockResult& result) {
                                  const auto alive = strip.lock();
                                  if (!alive || *alive == nullptr) return;
                                  GpsStrip& self = **alive;
                                  self.clockPending_ = false;
                                  // Not " " + NowText(): GCC 12 at -O3 warns falsely (-Wrestrict).
                                  std::string text(1, ' ');
                                  text += NowText();
                                  if (!result.accepted) text += "  (clock not set: " + result.reason + ")";
                                  self.flashStatus(text);
                              });
    } catch (const std::invalid_argument& failure) {
        clockPending_ = false;
        view_.showError(failure.what(), {});
    }
}

void GpsStrip::flashStatus(const std::string& text) {
    // A second flash within the first keeps what was there before either.
    if (!restoreTimer_.isActive()) rememberedStatus_ = view_.statusPanelText();
    view_.setStatusPanelText(text);
    restoreTimer_.start();
}

}  // namespace zelvar
