#include "SimLoop.h"

#include <poll.h>
#include <signal.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>

#include "DurableFile.h"
#include "TransceiverBank.h"
#include "UdpSocket.h"

namespace zelvar::sim {

namespace {

using Clock = std::chrono::steady_clock;

// At high rates the loop wakes late by a millisecond or more; what came due
// meanwhile goes out in one burst, and this bounds a burst so commands are
// still read between bursts.
constexpr std::size_t kBurst = 4096;
constexpr int kCommandsPerWake = 256;

volatile sig_atomic_t stopRequested = 0;

extern "C" void requestStop(int) {
    stopRequested = 1;
}

// SIGTERM and SIGINT stay blocked except inside ppoll(), so a stop request
// can never slip in between the check of the flag and the wait.
sigset_t installStopSignals() {
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigset_t previous;
    sigprocmask(SIG_BLOCK, &stopSignals, &previous);
    sigdelset(&previous, SIGTERM);
    sigdelset(&previous, SIGINT);
    return previous;
}

void note(const std::string& text) {
    std::cerr << "zelvar-sim: " << text << std::endl;
}

// The caller waits for the name: it appears only with its whole content.
// Gives the system's reason when the file could not be written.
std::string writeReadyFile(const std::string& path) {
    try {
        zelvar::DurableFile file(zelvar::FolderOf(path), path);
        file.write("ready\n");
        file.finish();
        file.place(path, zelvar::Placement::Replace);
        return {};
    } catch (const zelvar::FileWriteError& error) {
        return error.reason();
    }
}

class Simulator {
public:
    Simulator(const SimOptions& options, std::unique_ptr<PackageSource> source)
        : options_(options),
          source_(std::move(source)),
          bank_(TransceiverBank::Options{options.dropUnregistered, options.queueLimit}) {
        if (options.durationSeconds) {
            durationNs_ = static_cast<std::int64_t>(*options.durationSeconds * 1e9);
        }
    }

    int run();

private:
    bool open();
    std::int64_t elapsedNs(Clock::time_point now) const {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(now - start_).count();
    }
    void startClock(Clock::time_point now);
    void advance(Clock::time_point now);
    std::optional<std::int64_t> waitNs(Clock::time_point now) const;
    void readCommands(int transceiver, Clock::time_point now);
    UdpSocket::SendStatus send(int transceiver, const Endpoint& to,
                               std::span<const std::uint8_t> bytes);
    int finish();

    const SimOptions& options_;
    std::unique_ptr<PackageSource> source_;
    TransceiverBank bank_;
    std::array<UdpSocket, kMaxTransceivers> sockets_{};
    std::ofstream sentLog_;
    std::optional<std::int64_t> durationNs_;

    bool clockStarted_ = false;
    Clock::time_point start_{};
    std::optional<TimedPackage> pending_;
    bool sourceEnded_ = false;
    bool done_ = false;
    unsigned busyMask_ = 0;
    bool refusalReported_ = false;
    bool failureReported_ = false;
};

bool Simulator::open() {
    for (int n = 1; n <= options_.transceivers; ++n) {
        const Endpoint& local = options_.listen[static_cast<std::size_t>(n - 1)];
        std::string error;
        if (!sockets_[static_cast<std::size_t>(n - 1)].bindLoopback(local, error)) {
            note("transceiver " + std::to_string(n) + ": " + error);
            return false;
        }
        if (options_.verbose)
            note("transceiver " + std::to_string(n) + " on " + formatEndpoint(local));
    }
    if (!options_.sentLog.empty()) {
        sentLog_.open(options_.sentLog, std::ios::binary | std::ios::trunc);
        if (!sentLog_) {
            note("cannot write " + options_.sentLog + ": " + std::strerror(errno));
            return false;
        }
    }
    if (!options_.readyFile.empty()) {
        if (const std::string reason = writeReadyFile(options_.readyFile); !reason.empty()) {
            note("cannot write " + options_.readyFile + ": " + reason);
            return false;
        }
    }
    return true;
}

void Simulator::startClock(Clock::time_point now) {
    clockStarted_ = true;
    start_ = now;
    pending_ = source_->next();
    sourceEnded_ = !pending_;
}

UdpSocket::SendStatus Simulator::send(int transceiver, const Endpoint& to,
                                      std::span<const std::uint8_t> bytes) {
    const auto status = sockets_[static_cast<std::size_t>(transceiver - 1)].sendTo(to, bytes);
    if (status == UdpSocket::SendStatus::Sent) {
        if (sentLog_.is_open()) sentLog_ << hexText(bytes) << "\r\n";
    } else if (status == UdpSocket::SendStatus::Refused && !refusalReported_) {
        refusalReported_ = true;
        note("refused to send to " + formatEndpoint(to) + ": only 127.0.0.0/8 is allowed");
    } else if (status == UdpSocket::SendStatus::Failed && !failureReported_) {
        failureReported_ = true;
        note("sending to " + formatEndpoint(to) + " failed: " + std::strerror(errno));
    }
    return status;
}

void Simulator::advance(Clock::time_point now) {
    const std::int64_t elapsed = elapsedNs(now);
    for (std::size_t moved = 0; pending_ && pending_->dueNs <= elapsed && moved < kBurst; ++moved) {
        bank_.deliver(std::move(pending_->package));
        pending_ = source_->next();
    }
    sourceEnded_ = !pending_;

    const auto sender = [this](int n, const Endpoint& to, std::span<const std::uint8_t> bytes) {
        return send(n, to, bytes);
    };
    busyMask_ |= bank_.flush(sender, kBurst, busyMask_).busyMask;

    if (durationNs_ && elapsed >= *durationNs_) {
        bank_.discardQueued();
        done_ = true;
    } else if (sourceEnded_ && bank_.idle()) {
        done_ = true;
    }
    if (done_ && options_.verbose) note("all packages done");
}

// How long the loop may sleep; nothing means until a datagram or a signal.
std::optional<std::int64_t> Simulator::waitNs(Clock::time_point now) const {
    if (!clockStarted_ || done_) return std::nullopt;
    const std::int64_t elapsed = elapsedNs(now);
    if (bank_.hasSendable(busyMask_)) return 0;
    std::optional<std::int64_t> wake;
    if (pending_) wake = pending_->dueNs;
    if (durationNs_ && (!wake || *durationNs_ < *wake)) wake = *durationNs_;
    if (!wake) return std::nullopt;
    return std::max<std::int64_t>(0, *wake - elapsed);
}

void Simulator::readCommands(int transceiver, Clock::time_point now) {
    UdpSocket& socket = sockets_[static_cast<std::size_t>(transceiver - 1)];
    std::array<std::uint8_t, 64> buffer{};
    for (int i = 0; i < kCommandsPerWake; ++i) {
        Endpoint from;
        const long length = socket.receiveFrom(buffer, from);
        if (length < 0) return;
        const std::size_t size = std::min(static_cast<std::size_t>(length), buffer.size());
        const Command command =
            bank_.receive(transceiver, from, std::span<const std::uint8_t>(buffer.data(), size));
        if (command == Command::None) continue;
        if (options_.verbose) {
            note("transceiver " + std::to_string(transceiver) + ": " +
                 (command == Command::Register ? "AT_ZELVAR" : "EXIT_ZELVAR") + " from " +
                 formatEndpoint(from));
        }
        if (command == Command::Register && !clockStarted_) startClock(now);
    }
}

int Simulator::finish() {
    int status = 0;
    if (sentLog_.is_open() && !sentLog_.flush()) {
        note("cannot write " + options_.sentLog);
        status = 1;
    }
    std::cout << bank_.summary(options_.transceivers) << std::flush;
    if (const auto dropped = bank_.totalDropped(); dropped > 0) {
        note(std::to_string(dropped) + " packages dropped without a registered receiver");
    }
    if (const auto waiting =
            [this] {
                std::size_t total = 0;
                for (int n = 1; n <= options_.transceivers; ++n) total += bank_.waiting(n);
                return total;
            }();
        waiting > 0) {
        note(std::to_string(waiting) + " packages were still waiting for a registration");
    }
    return status;
}

int Simulator::run() {
    const sigset_t waitMask = installStopSignals();
    if (!open()) return 1;
    if (options_.startNow) startClock(Clock::now());

    std::array<pollfd, kMaxTransceivers> fds{};
    const auto count = static_cast<nfds_t>(options_.transceivers);
    while (stopRequested == 0) {
        Clock::time_point now = Clock::now();
        if (clockStarted_ && !done_) {
            advance(now);
            if (done_ && options_.exitWhenDone) break;
            now = Clock::now();
        }

        for (int n = 1; n <= options_.transceivers; ++n) {
            pollfd& fd = fds[static_cast<std::size_t>(n - 1)];
            fd.fd = sockets_[static_cast<std::size_t>(n - 1)].fd();
            fd.events = POLLIN;
            if ((busyMask_ & (1U << (n - 1))) != 0) fd.events |= POLLOUT;
            fd.revents = 0;
        }
        const auto wait = waitNs(now);
        timespec timeout{};
        if (wait) {
            timeout.tv_sec = static_cast<time_t>(*wait / 1'000'000'000);
            timeout.tv_nsec = static_cast<long>(*wait % 1'000'000'000);
        }
        const int ready = ppoll(fds.data(), count, wait ? &timeout : nullptr, &waitMask);
        if (ready < 0) {
            if (errno == EINTR) continue;
            note(std::string("poll failed: ") + std::strerror(errno));
            finish();
            return 1;
        }
        now = Clock::now();
        for (int n = 1; n <= options_.transceivers; ++n) {
            const pollfd& fd = fds[static_cast<std::size_t>(n - 1)];
            if ((fd.revents & POLLOUT) != 0) busyMask_ &= ~(1U << (n - 1));
            if ((fd.revents & (POLLIN | POLLERR)) != 0) readCommands(n, now);
        }
    }
    return finish();
}

}  // namespace

int runSimulator(const SimOptions& options, std::unique_ptr<PackageSource> source) {
    Simulator simulator(options, std::move(source));
    return simulator.run();
}

}  // namespace zelvar::sim
