#include "MonitoringSession.h"

#include <QElapsedTimer>
#include <algorithm>

#include "PackageDecoder.h"
#include "SessionRules.h"
#include "Settings.h"

namespace zelvar {

namespace {
constexpr int kTickMs = 500;
constexpr qint64 kDecodeSliceMs = 20;
// The window takes the reading thread's datagrams this many at a time, so
// that what it holds itself stays small however far it has fallen behind.
constexpr std::size_t kTakeAtOnce = 4096;
constexpr int kLostPanel = 6;
}  // namespace

MonitoringSession::MonitoringSession(const SessionParts& parts)
    : w_(parts.host),
      decoder_(parts.decoder),
      runs_(parts.runs),
      takeAtOnce_(std::min(kTakeAtOnce, DatagramReceiver::kDefaultLimit)) {
    Timer.setInterval(kTickMs);
    connect(&Timer, &QTimer::timeout, this, &MonitoringSession::TimerTick);
    decodeTimer_.setSingleShot(true);
    decodeTimer_.setInterval(0);
    connect(&decodeTimer_, &QTimer::timeout, this, [this] { decodeReceived(false); });
}

void MonitoringSession::setBacklogLimit(std::size_t limit) {
    sockets_.setQueueLimit(limit);
    takeAtOnce_ = std::max<std::size_t>(1, std::min(kTakeAtOnce, limit));
}

void MonitoringSession::startMonitoringChosen() {
    decoder_.resetPortTicks();
    w_.resetSMeters();
    w_.UpdateSMeterHints();

    // Live and offline decoding never overlap: the choice only stops the
    // decoding that runs.
    if (w_.offlineDecodingRuns()) {
        w_.setStartMonitoringChecked(false);
        return;
    }

    const bool starting = w_.startMonitoringChecked();
    // A port text that is no number is refused before anything changes, so
    // a failed start leaves no sockets behind and the views as they were.
    if (starting && !portTextsValid()) {
        w_.setStartMonitoringChecked(false);
        return;
    }

    decoder_.ResetPortState();
    if (starting) {
        start();
        if (!w_.monitoring()) return;  // failed start: the state stays as it is
    } else if (w_.monitoring()) {
        StopSession(true);
    }

    if (w_.ownPositionInReports() && w_.monitoring()) {
        w_.setStatusText(5, QStringLiteral(" GPS + RSSI"));
    }
    w_.setAddressFieldsEnabled(!w_.monitoring());
    if (w_.monitoring()) {
        Timer.start();
    } else {
        Timer.stop();
    }
}

bool MonitoringSession::portTextsValid() {
    for (int n = 1; n <= kPortCount; ++n) {
        const std::string& text = w_.sessionSettings().Port[static_cast<std::size_t>(n - 1)];
        if (!TransceiverPortNumber(text)) {
            w_.showError(QStringLiteral("'%1' is not a valid integer value")
                             .arg(QString::fromStdString(text)));
            return false;
        }
    }
    return true;
}

void MonitoringSession::start() {
    decoder_.setCounts(0, 0);
    lost_ = 0;
    w_.setStatusText(kLostPanel, QString());
    w_.sessionStarting();

    // The reading starts before the first command goes out, so a start that
    // fails has asked no transceiver for anything.
    const bool opened = sockets_.create() && sockets_.startReceiving([this] {
        QMetaObject::invokeMethod(
            this, [this] { if (!decodeTimer_.isActive()) decodeTimer_.start(); },
            Qt::QueuedConnection);
    });
    if (!opened) {
        const QString reason = sockets_.errorText();
        StopSession(false);
        w_.setSessionStatusText(QStringLiteral(" Socket Error"), reason);
        return;
    }

    const Settings& settings = w_.sessionSettings();
    for (int n = 1; n <= kPortCount; ++n) {
        const auto i = static_cast<std::size_t>(n - 1);
        TransceiverIP[i] = TransceiverAddress(settings.IP[i]);
        sockets_.setTarget(n, TransceiverIP[i], *TransceiverPortNumber(settings.Port[i]));
    }
    for (int n = 1; n <= kPortCount; ++n) sockets_.send(n, RegistrationCommand);
    w_.setSessionStatusText(QStringLiteral(" Ready"), QString());
    w_.setMonitoring(true);
}

void MonitoringSession::stopForClose() {
    if (w_.monitoring()) StopSession(true);
    Timer.stop();
    // A close that cannot save the logs is cancelled; the program then goes
    // on stopped, with its address fields open for editing again.
    w_.setAddressFieldsEnabled(true);
}

void MonitoringSession::StopSession(bool sendExit) {
    const BusyRuns::Run stopping = runs_.begin(RunKind::SessionStop);
    w_.setMonitoring(false);
    if (sendExit) {
        for (int n = 1; n <= kPortCount; ++n) sockets_.send(n, ExitCommand);
    }
    w_.sessionEnding();
    runs_.letEventsThrough();
    w_.sessionEnded();
    w_.setSessionStatusText(QStringLiteral(" Stopped"), QString());
    w_.appendTextLine("Stop");
    runs_.letEventsThrough();
    sockets_.close();
    // What was read before the sockets closed is decoded, not dropped.
    decodeReceived(true);
}

void MonitoringSession::TimerTick() {
    if (w_.closing()) return;
    const TickActions actions = decoder_.tickPorts([this](PortTicks& hold, PortTicks& silence) {
        return SessionTick(hold, silence, w_.sessionSettings().TimeOut, w_.monitoring());
    });
    for (int n = 1; n <= kPortCount; ++n) {
        const auto i = static_cast<std::size_t>(n);
        if (actions.zeroMeter[i]) w_.zeroSMeter(n);
        if (actions.reregister[i]) sockets_.send(n, RegistrationCommand);
    }
}

void MonitoringSession::decodeReceived(bool all) {
    // A message box's event loop inside a decoded package must not start a
    // second pass over the same queue; the running one goes on afterwards.
    if (decoding_) return;
    const FlagScope decoding(decoding_);

    // The session reads on after a failed read: it may pass, and the other
    // transceivers are unaffected.
    if (const QString error = sockets_.takeReceiveError(); !error.isEmpty() && w_.monitoring()) {
        w_.setSessionStatusText(QStringLiteral(" Socket Error"), error);
    }
    QElapsedTimer slice;
    slice.start();
    while (true) {
        if (next_ == received_.size()) {
            received_.clear();
            next_ = 0;
            sockets_.takeReceived(received_, takeAtOnce_);
            showLost();
            if (received_.empty()) break;
        }
        const ReceivedDatagram& d = received_[next_++];
        const std::span<const std::uint8_t> package(
            d.bytes.data(), std::min<std::size_t>(d.length, d.bytes.size()));
        const int port = PortForSource(d.source, TransceiverIP);
        if (package.empty() || package[0] == 0x00) w_.liveDataReceived();
        decoder_.DecodePackage(package, std::string_view(d.stamp.data(), d.stampLength),
                               DecodeMode::Live, port);
        // A backlog is decoded a slice at a time, so that the window is drawn
        // and its timers run in between (a zero timer waits its turn behind
        // them, where a posted call would be run in the same pass).
        if (!all && next_ % 256 == 0 && slice.elapsed() >= kDecodeSliceMs) {
            decodeTimer_.start();
            return;
        }
    }
}

void MonitoringSession::showLost() {
    const std::uint64_t lost = sockets_.dropped();
    if (lost == lost_) return;
    lost_ = lost;
    w_.setStatusText(kLostPanel, QStringLiteral(" Lost %1").arg(lost_));
}

}  // namespace zelvar
