#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "Loopback.h"
#include "Package.h"
#include "UdpSocket.h"

namespace zelvar::sim {

enum class Command { None, Register, Exit };

// Exactly "AT_ZELVAR" or "EXIT_ZELVAR": no terminating zero, no line end.
Command parseCommand(std::span<const std::uint8_t> payload);

struct TransceiverCounts {
    std::uint64_t registered = 0;  // AT_ZELVAR commands received
    std::uint64_t exited = 0;      // EXIT_ZELVAR commands received
    std::uint64_t sent = 0;        // datagrams sent
    std::uint64_t dropped = 0;     // packages that were never sent
};

// What the four transceivers know: who registered with each of them, the
// packages that are due but not sent yet, and the counts. The sockets stay
// outside; flush() hands each datagram to a sender.
class TransceiverBank {
public:
    struct Options {
        bool dropUnregistered = false;    // else packages wait for a registration
        std::size_t queueLimit = 100000;  // waiting packages per transceiver
    };
    using Sender = std::function<UdpSocket::SendStatus(int transceiver, const Endpoint& to,
                                                       std::span<const std::uint8_t> bytes)>;

    explicit TransceiverBank(const Options& options);

    // A datagram that reached transceiver 1..4. Commands from outside the
    // loopback net are ignored and not counted.
    Command receive(int transceiver, const Endpoint& from, std::span<const std::uint8_t> payload);

    // A package has come due on its transceiver.
    void deliver(Package package);

    struct FlushResult {
        std::size_t sent = 0;
        unsigned busyMask = 0;  // bit n-1: transceiver n's socket was full
    };
    // Sends waiting packages of registered transceivers in the order they
    // came due, at most budget datagrams, skipping the transceivers in
    // skipMask and any whose socket turns out full.
    FlushResult flush(const Sender& send, std::size_t budget, unsigned skipMask = 0);

    bool hasSendable(unsigned skipMask = 0) const;
    bool idle() const;  // nothing waiting anywhere
    // Counts everything still waiting as dropped and forgets it.
    void discardQueued();

    bool isRegistered(int transceiver) const;
    std::size_t waiting(int transceiver) const;
    const TransceiverCounts& counts(int transceiver) const;
    std::uint64_t totalSent() const;
    std::uint64_t totalDropped() const;

    // "transceiver N: registered R exited E sent S" for 1..transceivers, then
    // "sent TOTAL"; LF line ends.
    std::string summary(int transceivers) const;

private:
    struct Queued {
        std::uint64_t order = 0;
        std::vector<std::uint8_t> bytes;
        std::size_t nextSubscriber = 0;  // sending to several listeners may stop half-way
    };
    struct Transceiver {
        std::vector<Endpoint> subscribers;
        std::deque<Queued> queue;
        TransceiverCounts counts;
    };

    Transceiver& slot(int transceiver) {
        return slots_.at(static_cast<std::size_t>(transceiver - 1));
    }
    const Transceiver& slot(int transceiver) const {
        return slots_.at(static_cast<std::size_t>(transceiver - 1));
    }
    int nextToSend(unsigned skipMask) const;
    void unsubscribe(Transceiver& transceiver, const Endpoint& from);

    Options options_;
    std::array<Transceiver, kMaxTransceivers> slots_{};
    std::uint64_t nextOrder_ = 0;
};

}  // namespace zelvar::sim
