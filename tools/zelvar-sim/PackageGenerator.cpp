#include "PackageGenerator.h"

#include <algorithm>

namespace zelvar::sim {

namespace {

// Each transceiver gets a stream of its own, so its traffic does not depend
// on how many transceivers are played.
std::uint64_t transceiverSeed(std::uint64_t seed, int transceiver) {
    std::uint64_t mix = 0xD1B54A32D192ED03ULL;
    mix *= static_cast<unsigned>(transceiver);
    return seed ^ mix;
}

void putBigEndian24(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    bytes[at] = static_cast<std::uint8_t>(value >> 16);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
    bytes[at + 2] = static_cast<std::uint8_t>(value);
}

}  // namespace

std::uint64_t SimRandom::next() {
    state_ += 0x9E3779B97F4A7C15ULL;
    std::uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

std::uint32_t SimRandom::below(std::uint32_t bound) {
    return static_cast<std::uint32_t>(((next() >> 32) * bound) >> 32);
}

std::uint32_t SimRandom::between(std::uint32_t low, std::uint32_t high) {
    return low + below(high - low + 1);
}

CallGenerator::CallGenerator(std::uint64_t seed, int transceiver)
    : random_(transceiverSeed(seed, transceiver)) {
    // A site has a handful of busy talk groups and a few dozen radios; the
    // same ones come back call after call.
    for (auto& group : talkGroups_) group = random_.between(1, 9999);
    for (auto& radio : radios_) radio = random_.between(1000, 16776415);
    colourCode_ = static_cast<std::uint8_t>(random_.between(1, 15));
}

std::vector<std::uint8_t> CallGenerator::noise(std::uint32_t minSize, std::uint32_t maxSize) {
    std::vector<std::uint8_t> bytes(random_.between(minSize, maxSize));
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random_.next() >> 56);
    bytes[0] = 0x00;  // normal package, not a transceiver status
    return bytes;
}

std::vector<std::uint8_t> CallGenerator::signalReport(int dBm) {
    auto bytes = noise(13, 20);
    bytes[4] = kSignalReportType;
    // Any raw value within half a step of -dBm * 255 reads back as dBm.
    const int raw = std::clamp(-dBm * 255 + static_cast<int>(random_.below(255)) - 127, 0, 65535);
    bytes[11] = static_cast<std::uint8_t>(raw >> 8);
    bytes[12] = static_cast<std::uint8_t>(raw & 0xFF);
    return bytes;
}

void CallGenerator::planCall() {
    const std::uint32_t typeDraw = random_.below(100);
    std::uint8_t type = kCallTypes[0];
    if (typeDraw >= 75) {
        type = kCallTypes[3 + random_.below(static_cast<std::uint32_t>(kCallTypes.size() - 3))];
    } else if (typeDraw >= 55) {
        type = kCallTypes[2];
    } else if (typeDraw >= 30) {
        type = kCallTypes[1];
    }

    std::uint8_t callKind = 0x00;
    std::uint32_t group =
        talkGroups_[random_.below(static_cast<std::uint32_t>(talkGroups_.size()))];
    const std::uint32_t kindDraw = random_.below(100);
    if (kindDraw >= 95) {
        group = kAllCallGroup;
    } else if (kindDraw >= 75) {
        callKind = 0x03;  // private: the group field names the called radio
        group = radios_[random_.below(static_cast<std::uint32_t>(radios_.size()))];
    }
    const std::uint32_t id = radios_[random_.below(static_cast<std::uint32_t>(radios_.size()))];

    const std::uint32_t serviceDraw = random_.below(100);
    std::uint8_t service = 0x00;
    if (serviceDraw >= 90) {
        service = 0x60;
    } else if (serviceDraw >= 80) {
        service = 0x40;
    } else if (serviceDraw >= 50) {
        service = 0x20;
    }

    const int dBm = -static_cast<int>(random_.between(55, 115));
    const std::uint32_t voicePackages = random_.between(3, 12);

    planned_.push_back(signalReport(dBm));
    for (std::uint32_t i = 0; i < voicePackages; ++i) {
        const bool last = i + 1 == voicePackages;
        auto bytes = noise(30, 40);
        bytes[4] = type;
        bytes[10] = callKind;
        bytes[12] = service;
        putBigEndian24(bytes, 13, group);
        putBigEndian24(bytes, 16, id);
        bytes[28] = static_cast<std::uint8_t>(colourCode_ << 4 | (last ? 2 : 1));
        planned_.push_back(std::move(bytes));
        if (last) break;

        if (random_.percent(33)) {
            auto continuation = noise(30, 40);
            continuation[4] = kContinuationType;
            putBigEndian24(continuation, 17, group);
            continuation[28] = static_cast<std::uint8_t>(colourCode_ << 4 | 1);
            planned_.push_back(std::move(continuation));
        }
        if (i % 4 == 3) {
            planned_.push_back(signalReport(dBm + static_cast<int>(random_.below(7)) - 3));
        }
    }
}

std::vector<std::uint8_t> CallGenerator::next() {
    if (planned_.empty()) {
        if (random_.percent(10)) {
            planned_.push_back(signalReport(-static_cast<int>(random_.between(100, 125))));
        } else {
            planCall();
        }
    }
    auto bytes = std::move(planned_.front());
    planned_.pop_front();
    putBigEndian24(bytes, 1, sequence_++ & 0xFFFFFFU);
    return bytes;
}

PackageGenerator::PackageGenerator(std::uint64_t seed, int transceivers) {
    for (int n = 1; n <= transceivers; ++n) generators_.emplace_back(seed, n);
}

Package PackageGenerator::next() {
    const std::size_t index = turn_;
    turn_ = (turn_ + 1) % generators_.size();
    return Package{static_cast<int>(index) + 1, generators_[index].next()};
}

}  // namespace zelvar::sim
