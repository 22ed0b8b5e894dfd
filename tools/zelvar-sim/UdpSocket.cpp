#include "UdpSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace zelvar::sim {

namespace {

sockaddr_in toSockaddr(const Endpoint& endpoint) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(endpoint.port);
    address.sin_addr.s_addr = htonl(endpoint.address);
    return address;
}

Endpoint fromSockaddr(const sockaddr_in& address) {
    return Endpoint{ntohl(address.sin_addr.s_addr), ntohs(address.sin_port)};
}

// The socket API takes a generic address; sockaddr_in is laid out to be
// used through it.
const sockaddr* generic(const sockaddr_in* address) {
    return reinterpret_cast<const sockaddr*>(address);
}
sockaddr* generic(sockaddr_in* address) {
    return reinterpret_cast<sockaddr*>(address);
}

}  // namespace

UdpSocket::~UdpSocket() {
    close();
}

UdpSocket::UdpSocket(UdpSocket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

UdpSocket& UdpSocket::operator=(UdpSocket&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

void UdpSocket::close() {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
}

bool UdpSocket::bindLoopback(const Endpoint& local, std::string& error) {
    close();
    if (!isLoopback(local.address)) {
        error = "refused address " + formatIPv4(local.address) + ": only 127.0.0.0/8 is allowed";
        return false;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0) {
        error = std::string("cannot create a UDP socket: ") + std::strerror(errno);
        return false;
    }
    const sockaddr_in address = toSockaddr(local);
    if (::bind(fd, generic(&address), sizeof address) != 0) {
        error = "cannot bind " + formatEndpoint(local) + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

UdpSocket::SendStatus UdpSocket::sendTo(const Endpoint& to, std::span<const std::uint8_t> bytes) {
    if (!isLoopback(to.address)) return SendStatus::Refused;
    if (fd_ < 0) return SendStatus::Failed;
    const sockaddr_in address = toSockaddr(to);
    // A refusal can be the late report of an earlier datagram to a receiver
    // that has gone; the report is consumed by the failed call, so one retry
    // tells whether this datagram itself can go.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (::sendto(fd_, bytes.data(), bytes.size(), 0, generic(&address), sizeof address) >= 0) {
            return SendStatus::Sent;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS || errno == EINTR) {
            return SendStatus::Busy;
        }
        if (errno != ECONNREFUSED) break;
    }
    return SendStatus::Failed;
}

long UdpSocket::receiveFrom(std::span<std::uint8_t> buffer, Endpoint& from) {
    if (fd_ < 0) return -1;
    sockaddr_in address{};
    socklen_t length = sizeof address;
    for (;;) {
        const ssize_t received =
            ::recvfrom(fd_, buffer.data(), buffer.size(), MSG_TRUNC, generic(&address), &length);
        if (received >= 0) {
            from = fromSockaddr(address);
            return static_cast<long>(received);
        }
        // Late refusals of earlier sends surface here too; they say nothing
        // about the datagrams still waiting.
        if (errno != ECONNREFUSED && errno != EINTR) return -1;
    }
}

Endpoint UdpSocket::localEndpoint() const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (fd_ < 0 || ::getsockname(fd_, generic(&address), &length) != 0) return {};
    return fromSockaddr(address);
}

}  // namespace zelvar::sim
