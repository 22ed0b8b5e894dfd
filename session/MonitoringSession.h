#pragma once

#include <QObject>
#include <QTimer>
#include <array>
#include <cstdint>
#include <vector>

#include "SessionHost.h"
#include "TransceiverSockets.h"

namespace zelvar {

// The monitoring session: registers with the four transceivers, hands every
// datagram they send to the decoder, keeps silent transceivers registered
// and lets the S-meters fall back, and says goodbye when it ends.
class MonitoringSession : public QObject, public MonitoringControl {
    Q_OBJECT

public:
    explicit MonitoringSession(const SessionParts& parts);

    // "Start Monitoring" chosen (the check mark shows the new state).
    void startMonitoringChosen() override;
    // The close sequence ends a running session with the exit command.
    void stopForClose() override;

    // Ends the session; sends the exit command to all four when asked.
    void StopSession(bool sendExit);
    // One tick of the 500 ms timer.
    void TimerTick();
    // Decodes the datagrams read so far, in the order they were read, each
    // with the stamp and source of its reading; a long backlog a slice at a
    // time unless `all`.
    void decodeReceived(bool all);

    TransceiverSockets& sockets() { return sockets_; }
    // The most datagrams kept waiting for the decoder (from the next start
    // on); what comes while that many wait is dropped and counted as lost.
    void setBacklogLimit(std::size_t limit);
    // Datagrams the window holds taken from the reading thread's queue.
    std::size_t held() const { return received_.size(); }
    // Datagrams of this session dropped because too many waited.
    std::uint64_t lost() const { return lost_; }
    QTimer Timer;

    // Transceiver addresses of the running session (network byte order).
    std::array<std::uint32_t, kPortCount> TransceiverIP{};

private:
    bool portTextsValid();
    void start();

    SessionHost& w_;
    PackageDecoder& decoder_;
    BusyRuns& runs_;
    TransceiverSockets sockets_;
    void showLost();

    std::vector<ReceivedDatagram> received_;
    std::size_t next_ = 0;  // first of received_ not yet decoded
    std::size_t takeAtOnce_;
    std::uint64_t lost_ = 0;
    QTimer decodeTimer_;
    bool decoding_ = false;
};

}  // namespace zelvar
