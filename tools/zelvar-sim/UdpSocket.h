#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "Loopback.h"

namespace zelvar::sim {

// Owns one non-blocking UDP socket. Every address it binds to or sends to is
// checked against 127.0.0.0/8 first, so the simulator cannot reach a real
// transceiver even when it is handed a wrong address.
class UdpSocket {
public:
    UdpSocket() = default;
    ~UdpSocket();
    UdpSocket(UdpSocket&& other) noexcept;
    UdpSocket& operator=(UdpSocket&& other) noexcept;
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // Binds to a loopback endpoint (port 0 lets the system pick one). On
    // failure the socket stays closed and error says why.
    bool bindLoopback(const Endpoint& local, std::string& error);

    enum class SendStatus {
        Sent,
        Busy,     // the socket buffer is full: try again when it is writable
        Refused,  // not a loopback destination: nothing was sent
        Failed,
    };
    SendStatus sendTo(const Endpoint& to, std::span<const std::uint8_t> bytes);

    // One datagram, or -1 when none is waiting. The result is the datagram's
    // full length even when only part of it fitted into buffer.
    long receiveFrom(std::span<std::uint8_t> buffer, Endpoint& from);

    Endpoint localEndpoint() const;
    int fd() const { return fd_; }
    bool isOpen() const { return fd_ >= 0; }
    void close();

private:
    int fd_ = -1;
};

}  // namespace zelvar::sim
