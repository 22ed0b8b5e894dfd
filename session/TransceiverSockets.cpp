#include "TransceiverSockets.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "SessionRules.h"

namespace zelvar {

namespace {

// Room for about a second of a busy network's datagrams (20,000 a second,
// each taking about 200 bytes of kernel memory), so that a moment in which
// the window cannot read costs nothing.
constexpr int kReceiveBufferBytes = 4 << 20;

int makeUdpSocket() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0) return fd;
    // The system caps SO_RCVBUF at net.core.rmem_max (often 208 KiB); a
    // program allowed to administer the network may go beyond it.
    int size = kReceiveBufferBytes;
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0) {
        (void)::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
    return fd;
}

std::size_t slot(int n) {
    return static_cast<std::size_t>(n - 1);
}

QString systemText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

}  // namespace

TransceiverSockets::TransceiverSockets(QObject* parent)
    : QObject(parent), creator_(makeUdpSocket) {}

TransceiverSockets::~TransceiverSockets() {
    close();
}

bool TransceiverSockets::create() {
    // Sockets of an earlier session would otherwise be lost, still open.
    close();
    errorText_.clear();
    for (int& fd : fds_) {
        errno = 0;
        fd = creator_();
        if (fd < 0) {
            errorText_ = systemText(errno);
            return false;
        }
    }
    return true;
}

void TransceiverSockets::close() {
    // The reading thread ends before its sockets do; what it has read
    // stays to be decoded.
    if (receiver_) receiver_->stop();
    for (std::size_t i = 0; i < fds_.size(); ++i) {
        if (fds_[i] >= 0) ::close(fds_[i]);
        fds_[i] = -1;
    }
}

void TransceiverSockets::setTarget(int n, std::uint32_t address, std::uint16_t port) {
    addresses_[slot(n)] = address;
    ports_[slot(n)] = port;
}

void TransceiverSockets::send(int n, std::string_view payload) {
    const int fd = fds_[slot(n)];
    // The all-ones address stands for a text that was no address: nothing is
    // sent there, so a mistyped field never becomes a broadcast.
    if (fd < 0 || addresses_[slot(n)] == NoAddress) return;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(ports_[slot(n)]);
    to.sin_addr.s_addr = addresses_[slot(n)];
    (void)::sendto(fd, payload.data(), payload.size(), MSG_NOSIGNAL,
                   reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

bool TransceiverSockets::startReceiving(std::function<void()> wake) {
    receiver_.reset();
    errorText_.clear();
    try {
        receiver_ = std::make_unique<DatagramReceiver>(fds_, std::move(wake), queueLimit_);
    } catch (const std::system_error& e) {
        errorText_ = systemText(e.code().value());
        return false;
    }
    return true;
}

QString TransceiverSockets::takeReceiveError() {
    if (!receiver_) return {};
    const std::optional<ReceiveError> error = receiver_->takeError();
    if (!error) return {};
    return QStringLiteral("Port %1: %2").arg(error->socket).arg(systemText(error->error));
}

void TransceiverSockets::takeReceived(std::vector<ReceivedDatagram>& out, std::size_t most) {
    if (receiver_) receiver_->take(out, most);
}

std::uint16_t TransceiverSockets::localPort(int n) const {
    const int fd = fds_[slot(n)];
    if (fd < 0) return 0;
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
    return ntohs(local.sin_port);
}

int TransceiverSockets::receiveBufferBytes(int n) const {
    const int fd = fds_[slot(n)];
    int size = 0;
    socklen_t length = sizeof size;
    if (fd < 0 || ::getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, &length) != 0) return 0;
    return size;
}

}  // namespace zelvar
