#pragma once

#include <QObject>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include <vector>

#include "DatagramReceiver.h"
#include "Settings.h"


namespace zelvar {

// The four UDP sockets of a monitoring session, one per transceiver. They are
// never bound: each one's first send binds it to a port the system picks, and
// its transceiver answers there.
class TransceiverSockets : public QObject {
    Q_OBJECT

public:
    // Makes a datagram socket; a test replaces it to make creation fail.
    using SocketCreator = std::function<int()>;

    explicit TransceiverSockets(QObject* parent = nullptr);
    ~TransceiverSockets() override;

    void setSocketCreator(SocketCreator creator) { creator_ = std::move(creator); }

    // Closes any that are open, then creates the four sockets in order; false
    // when one cannot be made (the ones made before stay until close()), with
    // the system's reason in errorText().
    bool create();
    // Closes every socket that was made and stops its notifications.
    void close();
    bool isOpen() const { return fds_[0] >= 0; }

    // Destination of transceiver n (1..4): address in network byte order.
    void setTarget(int n, std::uint32_t address, std::uint16_t port);
    // Sends a command to transceiver n. Failures are not reported: a
    // transceiver that is not there is asked again by the session timer.
    void send(int n, std::string_view payload);
    // Reads the four sockets on a thread of its own from now until close();
    // `wake` is called on that thread when datagrams start waiting or a read
    // fails. False, with the reason in errorText(), when it cannot start.
    bool startReceiving(std::function<void()> wake);
    // The most datagrams the reading thread keeps waiting for the window
    // (from the next startReceiving() on).
    void setQueueLimit(std::size_t limit) { queueLimit_ = limit; }
    // Appends at most `most` of the datagrams read so far to `out`, in the
    // order they were read; after close(), what was read before it.
    void takeReceived(std::vector<ReceivedDatagram>& out, std::size_t most);
    // The first failed read since the last call, as "Port n: <system text>";
    // empty when none failed.
    QString takeReceiveError();
    // Datagrams waiting for the window, and those the full queue dropped,
    // since startReceiving().
    std::size_t queued() const { return receiver_ ? receiver_->queued() : 0; }
    std::uint64_t dropped() const { return receiver_ ? receiver_->dropped() : 0; }
    // Why the last create() or startReceiving() failed, in the system's words.
    QString errorText() const { return errorText_; }

    // The local UDP port socket n was bound to by its first send (0 before).
    std::uint16_t localPort(int n) const;
    // The receive buffer the system granted socket n, in bytes as it counts
    // them (twice what was asked, for its own bookkeeping); 0 when closed.
    int receiveBufferBytes(int n) const;

private:
    SocketCreator creator_;
    std::array<int, kPortCount> fds_{-1, -1, -1, -1};
    std::array<std::uint32_t, kPortCount> addresses_{};
    std::array<std::uint16_t, kPortCount> ports_{};
    // Kept, stopped, after close() until what it read has been taken.
    std::unique_ptr<DatagramReceiver> receiver_;
    std::size_t queueLimit_ = DatagramReceiver::kDefaultLimit;
    QString errorText_;
};

}  // namespace zelvar
