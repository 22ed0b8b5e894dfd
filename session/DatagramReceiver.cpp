#include "DatagramReceiver.h"

#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <string>
#include <system_error>
#include <utility>

#include "DateTime.h"

namespace zelvar {

namespace {

// Taken from one socket before the next is looked at, so that four busy
// transceivers are read side by side, in about the order they sent.
constexpr int kPerSocketTurn = 32;

}  // namespace

DatagramReceiver::DatagramReceiver(std::array<int, 4> fds, std::function<void()> wake,
                                   std::size_t limit)
    : fds_(fds),
      wake_(std::move(wake)),
      stopFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      limit_(limit) {
    // Without it the thread could never be told to stop, and stop() would
    // wait for it forever.
    if (stopFd_ < 0) throw std::system_error(errno, std::system_category(), "eventfd");
    try {
        thread_ = std::thread([this] { run(); });
    } catch (...) {
        ::close(stopFd_);
        throw;
    }
}

DatagramReceiver::~DatagramReceiver() {
    stop();
    ::close(stopFd_);
}

void DatagramReceiver::stop() {
    if (!thread_.joinable()) return;
    const std::uint64_t one = 1;
    (void)!::write(stopFd_, &one, sizeof one);
    thread_.join();
}

void DatagramReceiver::take(std::vector<ReceivedDatagram>& out, std::size_t most) {
    std::lock_guard lock(mutex_);
    const auto n = static_cast<std::ptrdiff_t>(std::min(most, queue_.size()));
    out.insert(out.end(), queue_.begin(), queue_.begin() + n);
    queue_.erase(queue_.begin(), queue_.begin() + n);
}

std::uint64_t DatagramReceiver::dropped() {
    std::lock_guard lock(mutex_);
    return dropped_;
}

std::size_t DatagramReceiver::queued() {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

std::optional<ReceiveError> DatagramReceiver::takeError() {
    std::lock_guard lock(mutex_);
    return std::exchange(error_, std::nullopt);
}

bool DatagramReceiver::readSome(std::size_t i, int budget,
                                std::vector<ReceivedDatagram>& batch) {
    for (int n = 0; n < budget; ++n) {
        ReceivedDatagram d;
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        // MSG_TRUNC makes the call tell the datagram's real length, so a
        // longer one can be recognised and dropped rather than decoded cut short.
        const ssize_t length =
            ::recvfrom(fds_[i], d.bytes.data(), d.bytes.size(), MSG_TRUNC | MSG_DONTWAIT,
                       reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (length < 0) {
            const int error = errno;
            if (error == EINTR) continue;
            if (error != EAGAIN && error != EWOULDBLOCK) reportError(static_cast<int>(i) + 1, error);
            return false;
        }
        // Empty and oversized datagrams are dropped, as a failed read.
        if (length < 1 || static_cast<std::size_t>(length) > d.bytes.size()) continue;
        d.socket = static_cast<int>(i) + 1;
        d.source = from.sin_addr.s_addr;
        d.length = static_cast<std::uint8_t>(length);
        // Stamped as it is read, not when the window gets to decode it.
        const std::string stamp = NowStamp();
        d.stampLength = static_cast<std::uint8_t>(std::min(stamp.size(), d.stamp.size()));
        std::copy_n(stamp.begin(), d.stampLength, d.stamp.begin());
        batch.push_back(d);
    }
    return true;
}

void DatagramReceiver::reportError(int socket, int error) {
    {
        std::lock_guard lock(mutex_);
        if (error_) return;  // the window has not seen the one before yet
        error_ = ReceiveError{socket, error};
    }
    if (wake_) wake_();
}

void DatagramReceiver::run() {
    // Named, so that its share of the processor can be told apart.
    pthread_setname_np(pthread_self(), "zelvar-receive");
    std::array<pollfd, 5> polled{};
    for (std::size_t i = 0; i < fds_.size(); ++i) polled[i] = {fds_[i], POLLIN, 0};
    polled[4] = {stopFd_, POLLIN, 0};
    std::vector<ReceivedDatagram> batch;
    while (true) {
        if (::poll(polled.data(), polled.size(), -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (polled[4].revents != 0) return;
        // Round after round over the ready sockets until all are empty.
        std::array<bool, 4> ready{};
        for (std::size_t i = 0; i < fds_.size(); ++i) {
            // A descriptor that is no longer open would wake the poll forever.
            if ((polled[i].revents & POLLNVAL) != 0) {
                reportError(static_cast<int>(i) + 1, EBADF);
                polled[i].fd = -1;
                continue;
            }
            ready[i] = polled[i].revents != 0;
        }
        bool more = true;
        while (more) {
            more = false;
            batch.clear();
            for (std::size_t i = 0; i < fds_.size(); ++i) {
                if (!ready[i] || fds_[i] < 0) continue;
                const std::size_t before = batch.size();
                ready[i] = readSome(i, kPerSocketTurn, batch) &&
                           batch.size() - before == static_cast<std::size_t>(kPerSocketTurn);
                more = more || ready[i];
            }
            if (batch.empty()) continue;
            bool wasEmpty = false;
            {
                std::lock_guard lock(mutex_);
                wasEmpty = queue_.empty();
                const std::size_t room = limit_ - std::min(limit_, queue_.size());
                const std::size_t taken = std::min(room, batch.size());
                queue_.insert(queue_.end(), batch.begin(),
                              batch.begin() + static_cast<std::ptrdiff_t>(taken));
                dropped_ += batch.size() - taken;
            }
            if (wasEmpty && wake_) wake_();
        }
    }
}

}  // namespace zelvar
