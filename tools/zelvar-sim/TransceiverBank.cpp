#include "TransceiverBank.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace zelvar::sim {

namespace {

// A transceiver serves a few listeners at most; more would only mean a
// client that keeps re-registering from new ports without ever leaving.
constexpr std::size_t kMaxSubscribers = 16;

unsigned bit(int transceiver) {
    return 1U << (transceiver - 1);
}

}  // namespace

Command parseCommand(std::span<const std::uint8_t> payload) {
    const std::string_view text(reinterpret_cast<const char*>(payload.data()), payload.size());
    if (text == "AT_ZELVAR") return Command::Register;
    if (text == "EXIT_ZELVAR") return Command::Exit;
    return Command::None;
}

TransceiverBank::TransceiverBank(const Options& options) : options_(options) {}

Command TransceiverBank::receive(int transceiver, const Endpoint& from,
                                 std::span<const std::uint8_t> payload) {
    if (!isLoopback(from.address)) return Command::None;
    const Command command = parseCommand(payload);
    Transceiver& t = slot(transceiver);
    switch (command) {
        case Command::Register:
            ++t.counts.registered;
            if (std::find(t.subscribers.begin(), t.subscribers.end(), from) ==
                    t.subscribers.end() &&
                t.subscribers.size() < kMaxSubscribers) {
                t.subscribers.push_back(from);
            }
            break;
        case Command::Exit:
            ++t.counts.exited;
            unsubscribe(t, from);
            break;
        case Command::None:
            break;
    }
    return command;
}

void TransceiverBank::unsubscribe(Transceiver& t, const Endpoint& from) {
    const auto found = std::find(t.subscribers.begin(), t.subscribers.end(), from);
    if (found == t.subscribers.end()) return;
    const auto index = static_cast<std::size_t>(found - t.subscribers.begin());
    t.subscribers.erase(found);
    if (!t.queue.empty() && t.queue.front().nextSubscriber > index) {
        --t.queue.front().nextSubscriber;
    }
    if (t.subscribers.empty() && options_.dropUnregistered) {
        t.counts.dropped += t.queue.size();
        t.queue.clear();
    }
}

void TransceiverBank::deliver(Package package) {
    Transceiver& t = slot(package.transceiver);
    if ((t.subscribers.empty() && options_.dropUnregistered) ||
        t.queue.size() >= options_.queueLimit) {
        ++t.counts.dropped;
        return;
    }
    t.queue.push_back(Queued{nextOrder_++, std::move(package.bytes), 0});
}

int TransceiverBank::nextToSend(unsigned skipMask) const {
    int best = 0;
    for (int n = 1; n <= kMaxTransceivers; ++n) {
        const Transceiver& t = slot(n);
        if ((skipMask & bit(n)) != 0 || t.subscribers.empty() || t.queue.empty()) continue;
        if (best == 0 || t.queue.front().order < slot(best).queue.front().order) best = n;
    }
    return best;
}

TransceiverBank::FlushResult TransceiverBank::flush(const Sender& send, std::size_t budget,
                                                    unsigned skipMask) {
    FlushResult result;
    while (result.sent < budget) {
        const int n = nextToSend(skipMask | result.busyMask);
        if (n == 0) break;
        Transceiver& t = slot(n);
        Queued& head = t.queue.front();
        while (head.nextSubscriber < t.subscribers.size()) {
            const auto status = send(n, t.subscribers[head.nextSubscriber], head.bytes);
            if (status == UdpSocket::SendStatus::Busy) break;
            if (status == UdpSocket::SendStatus::Sent) {
                ++t.counts.sent;
                ++result.sent;
            }
            ++head.nextSubscriber;
        }
        if (head.nextSubscriber < t.subscribers.size()) {
            result.busyMask |= bit(n);
        } else {
            t.queue.pop_front();
        }
    }
    return result;
}

bool TransceiverBank::hasSendable(unsigned skipMask) const {
    return nextToSend(skipMask) != 0;
}

bool TransceiverBank::idle() const {
    return std::all_of(slots_.begin(), slots_.end(),
                       [](const Transceiver& t) { return t.queue.empty(); });
}

void TransceiverBank::discardQueued() {
    for (Transceiver& t : slots_) {
        t.counts.dropped += t.queue.size();
        t.queue.clear();
    }
}

bool TransceiverBank::isRegistered(int transceiver) const {
    return !slot(transceiver).subscribers.empty();
}

std::size_t TransceiverBank::waiting(int transceiver) const {
    return slot(transceiver).queue.size();
}

const TransceiverCounts& TransceiverBank::counts(int transceiver) const {
    return slot(transceiver).counts;
}

std::uint64_t TransceiverBank::totalSent() const {
    std::uint64_t total = 0;
    for (const Transceiver& t : slots_) total += t.counts.sent;
    return total;
}

std::uint64_t TransceiverBank::totalDropped() const {
    std::uint64_t total = 0;
    for (const Transceiver& t : slots_) total += t.counts.dropped;
    return total;
}

std::string TransceiverBank::summary(int transceivers) const {
    std::string text;
    std::uint64_t total = 0;
    for (int n = 1; n <= transceivers; ++n) {
        const TransceiverCounts& c = counts(n);
        text += "transceiver " + std::to_string(n) + ": registered " +
                std::to_string(c.registered) + " exited " + std::to_string(c.exited) + " sent " +
                std::to_string(c.sent) + '\n';
        total += c.sent;
    }
    text += "sent " + std::to_string(total) + '\n';
    return text;
}

}  // namespace zelvar::sim
