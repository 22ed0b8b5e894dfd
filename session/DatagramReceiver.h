#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace zelvar {

// One datagram as it was read: from which socket and address, its bytes,
// and the package stamp of the moment it was read.
struct ReceivedDatagram {
    static constexpr std::size_t kCapacity = 128;
    int socket = 0;            // 1..4
    std::uint32_t source = 0;  // IPv4 address, network byte order
    std::uint8_t length = 0;   // 1..kCapacity
    std::uint8_t stampLength = 0;
    std::array<char, 16> stamp{};
    std::array<std::uint8_t, kCapacity> bytes{};
};

// A read that failed: the socket (1..4) and the system's error number.
struct ReceiveError {
    int socket = 0;
    int error = 0;
};

// Reads the session's sockets on a thread of its own, as soon as datagrams
// arrive, into a queue in the order they were read; the window decodes them
// from there. A window busy drawing or writing can fall behind by seconds
// without the kernel dropping anything: the queue holds a datagram in 160
// bytes, where the socket's buffer spends about a kilobyte on it. The queue
// has a limit all the same; what arrives while it is full is dropped and
// counted, and the sockets are read on so that the kernel drops nothing.
class DatagramReceiver {
public:
    // About 40 MB: thirteen seconds of a very busy network (20,000 a second)
    // while the window decodes nothing at all. Against a network faster than
    // the window can decode, it fills within seconds and then costs no more
    // memory, delays the views by a few seconds only, and leaves little read
    // but not yet journaled for a crash to take.
    static constexpr std::size_t kDefaultLimit = std::size_t{1} << 18;

    // `fds`: the four sockets (negative: none). `wake` is called on the
    // reading thread when the queue stops being empty; it may only hand the
    // news to another thread. Throws std::system_error when the thread or
    // the descriptor that stops it cannot be had.
    DatagramReceiver(std::array<int, 4> fds, std::function<void()> wake,
                     std::size_t limit = kDefaultLimit);
    ~DatagramReceiver();
    DatagramReceiver(const DatagramReceiver&) = delete;
    DatagramReceiver& operator=(const DatagramReceiver&) = delete;

    // Stops reading; what is queued stays to be taken.
    void stop();
    // Appends at most `most` of the datagrams read so far to `out`, oldest first.
    void take(std::vector<ReceivedDatagram>& out, std::size_t most);
    // The first read that failed since the last call; `wake` is called for it.
    std::optional<ReceiveError> takeError();
    // Datagrams waiting in the queue, and those dropped because it was full.
    std::size_t queued();
    std::uint64_t dropped();

private:
    void run();
    // Reads what socket i holds, at most `budget` datagrams; false when it
    // has nothing more.
    bool readSome(std::size_t i, int budget, std::vector<ReceivedDatagram>& batch);
    void reportError(int socket, int error);

    const std::array<int, 4> fds_;
    const std::function<void()> wake_;
    int stopFd_ = -1;
    std::mutex mutex_;
    const std::size_t limit_;
    std::deque<ReceivedDatagram> queue_;
    std::uint64_t dropped_ = 0;
    std::optional<ReceiveError> error_;
    std::thread thread_;
};

}  // namespace zelvar
