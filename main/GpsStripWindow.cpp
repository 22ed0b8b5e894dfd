#include "GpsStripWindow.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <QtGlobal>
#include <vector>

#include "BCPort.h"
#include "SerialPortList.h"
#include "SystemClock.h"
#include "ZelvarMain.h"
#include "ZelvarOptions.h"

namespace zelvar {

namespace {

constexpr int kGpsStatusPanel = 5;

QString toQ(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

GpsStripWindow::GpsStripWindow(TMainForm& window, TOptionsForm* options, SystemClock& clock,
                               std::unique_ptr<TBComPort> port)
    : w_(window),
      options_(options),
      clock_(clock),
      strip_(window.settings(), window.gps(), *this, std::move(port)) {
    // `clicked`, not `toggled`: the strip springs the toggle up itself after
    // an unplug, and that must not run the command again.
    connect(w_.sbCOMM, &QToolButton::clicked, this, &GpsStripWindow::sbCOMMClick);
    connect(w_.mnuCopyGPS, &QAction::triggered, this, &GpsStripWindow::mnuCopyGPSClick);
    if (options_) {
        connect(options_, &TOptionsForm::timeFromGpsClicked, this,
                &GpsStripWindow::sbTimeFromGPSClick);
    }
    w_.setGpsPortControl(this);
}

GpsStripWindow::~GpsStripWindow() {
    w_.setGpsPortControl(nullptr);
}

void GpsStripWindow::sbCOMMClick() {
    const bool down = w_.sbCOMM->isChecked();
    // A stop or the close sequence is letting events run: a port opened now
    // would outlive the close, so the press is refused and the toggle put back.
    if (w_.commandHold().held()) {
        const QSignalBlocker quiet(w_.sbCOMM);
        w_.sbCOMM->setChecked(!down);
        return;
    }
    // A failed start shows a modal box, whose loop lets a close request in;
    // the close waits until the command is done.
    const CommandHold::Scope held = w_.commandHold().hold();
    strip_.startStopChosen(down, w_.cbPort->currentText().toStdString());
}

void GpsStripWindow::mnuCopyGPSClick() {
    strip_.copyCoordinates();
}

void GpsStripWindow::sbTimeFromGPSClick() {
    if (w_.commandHold().held()) return;
    const CommandHold::Scope held = w_.commandHold().hold();
    strip_.setClockFromGps(clock_);
}

void GpsStripWindow::closePort() {
    strip_.closePort();
}

void GpsStripWindow::showGpsLabels(const GpsLabels& labels) {
    w_.LabelGPSTime->setText(toQ(labels.time));
    w_.LabelLat->setText(toQ(labels.lat));
    w_.LabelLon->setText(toQ(labels.lon));
    w_.LabelPDOP->setText(toQ(labels.pdop));
}

void GpsStripWindow::setGpsLabelsVisible(bool visible) {
    for (QLabel* label : {w_.LabelGPSTime, w_.LabelLat, w_.LabelLon, w_.LabelPDOP}) {
        label->setVisible(visible);
    }
}

void GpsStripWindow::setPortBoxEnabled(bool enabled) {
    w_.cbPort->setEnabled(enabled);
}

void GpsStripWindow::setGpsCommandsEnabled(bool enabled) {
    w_.mnuCopyGPS->setEnabled(enabled);
    if (options_) options_->timeFromGpsButton()->setEnabled(enabled);
}

void GpsStripWindow::releaseGpsToggle() {
    const QSignalBlocker quiet(w_.sbCOMM);
    w_.sbCOMM->setChecked(false);
}

void GpsStripWindow::refreshDisplayMode() {
    w_.RefreshDisplayMode();
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
    return w_.Closing;
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
