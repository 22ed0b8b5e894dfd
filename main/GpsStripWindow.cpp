#include "GpsStripWindow.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPushButton>
#include <QtGlobal>
#include <vector>

#include "BCPort.h"
#include "SerialPortList.h"
#include "SystemClock.h"
#include "ZelvarOptions.h"

namespace zelvar {

namespace {

constexpr int kGpsStatusPanel = 5;

QString toQ(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

GpsStripWindow::GpsStripWindow(const GpsStripParts& parts, TOptionsForm* options,
                               SystemClock& clock, std::unique_ptr<TBComPort> port,
                               std::chrono::milliseconds statusFlash)
    : w_(parts.host),
      runs_(parts.runs),
      options_(options),
      clock_(clock),
      strip_(parts.host.gpsSettings(), parts.gps, *this, std::move(port), statusFlash) {
    if (options_) {
        connect(options_, &TOptionsForm::timeFromGpsClicked, this,
                &GpsStripWindow::sbTimeFromGPSClick);
    }
    w_.setGpsStripCommands(this);
}

GpsStripWindow::~GpsStripWindow() {
    w_.setGpsStripCommands(nullptr);
}

void GpsStripWindow::startStopClicked() {
    const bool down = w_.gpsToggleDown();
    // A stop or the close sequence is letting events run: a port opened now
    // would outlive the close, so the press is refused and the toggle put back.
    // A failed start shows a modal box, whose loop lets a close request in;
    // the close waits until the command is done.
    const auto command = runs_.tryBegin(Command::GpsCommand, RunKind::GpsCommand);
    if (!command) {
        w_.setGpsToggle(!down);
        return;
    }
    strip_.startStopChosen(down, w_.gpsPortName().toStdString());
}

void GpsStripWindow::copyCoordinatesChosen() {
    strip_.copyCoordinates();
}

void GpsStripWindow::sbTimeFromGPSClick() {
    const auto command = runs_.tryBegin(Command::GpsCommand, RunKind::GpsCommand);
    if (!command) return;
    strip_.setClockFromGps(clock_);
}

void GpsStripWindow::closePort() {
    strip_.closePort();
}

void GpsStripWindow::showGpsLabels(const GpsLabels& labels) {
    w_.showGpsLabels(toQ(labels.time), toQ(labels.lat), toQ(labels.lon), toQ(labels.pdop));
}

void GpsStripWindow::setGpsLabelsVisible(bool visible) {
    w_.setGpsLabelsVisible(visible);
}

void GpsStripWindow::setPortBoxEnabled(bool enabled) {
    w_.setGpsPortBoxEnabled(enabled);
}

void GpsStripWindow::setGpsCommandsEnabled(bool enabled) {
    w_.setCopyGpsEnabled(enabled);
    if (options_) options_->timeFromGpsButton()->setEnabled(enabled);
}

void GpsStripWindow::releaseGpsToggle() {
    w_.setGpsToggle(false);
}

void GpsStripWindow::refreshDisplayMode() {
    w_.refreshDisplayMode();
}

void GpsStripWindow::showError(const std::string& text, const std::string& hint) {
    w_.showError(hint.empty() ? toQ(text) : toQ(text + "\n" + hint));
}

void GpsStripWindow::showNotice(const std::string& text) {
    // The GPS's own corner of the status bar; a box would stop the user for
    // something no command of theirs caused.
    w_.setStatusText(kGpsStatusPanel, QLatin1Char(' ') + toQ(text));
}

std::string GpsStripWindow::statusPanelText() const {
    return w_.statusText(kGpsStatusPanel).toStdString();
}

void GpsStripWindow::setStatusPanelText(const std::string& text) {
    w_.setStatusText(kGpsStatusPanel, toQ(text));
}

void GpsStripWindow::copyToClipboard(const std::string& text) {
    QGuiApplication::clipboard()->setText(toQ(text));
}

bool GpsStripWindow::closing() const {
    return w_.closing();
}

QStringList SystemSerialPortNames() {
    std::vector<std::string> names;
    try {
        ListSerialPorts(names);
    } catch (const EComPort& failure) {
        // No command of the user's is running at start-up to show it; the
        // box stays empty and "Start GPS" says what is missing.
        qWarning("serial ports: %s", failure.what());
    }
    QStringList list;
    for (const std::string& name : names) list << toQ(name);
    return list;
}

}  // namespace zelvar
