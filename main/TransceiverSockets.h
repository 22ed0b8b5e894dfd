#pragma once

#include <QObject>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "Settings.h"

class QSocketNotifier;

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

    // Creates the four sockets in order; false when one cannot be made (the
    // ones made before stay until close()).
    bool create();
    // Closes every socket that was made and stops its notifications.
    void close();
    bool isOpen() const { return fds_[0] >= 0; }

    // Destination of transceiver n (1..4): address in network byte order.
    void setTarget(int n, std::uint32_t address, std::uint16_t port);
    // Sends a command to transceiver n. Failures are not reported: a
    // transceiver that is not there is asked again by the session timer.
    void send(int n, std::string_view payload);
    // Announces each readable datagram of socket n to `ready`, one at a time.
    void enableNotifications(int n, std::function<void(int)> ready);

    // Reads one datagram of socket n into `buffer` (zero-filled first). Gives
    // its length, or -1 when the read failed, and the source address in
    // network byte order. A datagram longer than the buffer is dropped as a
    // failed read.
    long receive(int n, std::uint8_t* buffer, std::size_t size, std::uint32_t& source);

    // The local UDP port socket n was bound to by its first send (0 before).
    std::uint16_t localPort(int n) const;

private:
    SocketCreator creator_;
    std::array<int, kPortCount> fds_{-1, -1, -1, -1};
    std::array<std::uint32_t, kPortCount> addresses_{};
    std::array<std::uint16_t, kPortCount> ports_{};
    // No "{}": clang would then need QSocketNotifier complete here to destroy it.
    std::array<std::unique_ptr<QSocketNotifier>, kPortCount> notifiers_;
};

}  // namespace zelvar
