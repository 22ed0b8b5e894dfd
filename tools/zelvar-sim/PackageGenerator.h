#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <vector>

#include "Package.h"

namespace zelvar::sim {

// splitmix64 with its own range mapping: the standard distributions differ
// between libraries, and a seed must give the same traffic everywhere.
class SimRandom {
public:
    explicit SimRandom(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next();
    std::uint32_t below(std::uint32_t bound);                      // 0 .. bound-1
    std::uint32_t between(std::uint32_t low, std::uint32_t high);  // low .. high
    bool percent(std::uint32_t chance) { return below(100) < chance; }

private:
    std::uint64_t state_;
};

// The call types whose flags are on by default; 03, 0B and 0D, the common
// ones, come first. Type 10 is left out since its flag starts off.
inline constexpr std::array<std::uint8_t, 15> kCallTypes = {
    0x03, 0x0B, 0x0D, 0x05, 0x07, 0x08, 0x09, 0x24, 0x44, 0x6C, 0x8C, 0xB4, 0xEC, 0xF4, 0xFC};
inline constexpr std::uint8_t kContinuationType = 0x11;
inline constexpr std::uint8_t kSignalReportType = 0x0F;
inline constexpr std::uint32_t kAllCallGroup = 0xFFFFFF;

// The traffic of one transceiver: one call after another, each a signal
// report, then 3 to 12 packages of one type repeating the same Group, ID and
// colour code (PTT pressed, the last one PTT released) so that the packet
// filter confirms all but the first, continuations (type 11) that name the
// call's group, and further signal reports now and then. Between calls a
// lone weak signal report may come. Bytes the program does not read hold
// seeded noise; bytes 1 to 3 count the transceiver's packages.
class CallGenerator {
public:
    CallGenerator(std::uint64_t seed, int transceiver);
    std::vector<std::uint8_t> next();

private:
    void planCall();
    std::vector<std::uint8_t> noise(std::uint32_t minSize, std::uint32_t maxSize);
    std::vector<std::uint8_t> signalReport(int dBm);

    SimRandom random_;
    std::deque<std::vector<std::uint8_t>> planned_;
    std::array<std::uint32_t, 6> talkGroups_{};
    std::array<std::uint32_t, 12> radios_{};
    std::uint8_t colourCode_ = 1;
    std::uint32_t sequence_ = 0;
};

// Calls on transceivers 1..transceivers, taking turns package by package.
class PackageGenerator {
public:
    PackageGenerator(std::uint64_t seed, int transceivers);
    Package next();

private:
    std::vector<CallGenerator> generators_;
    std::size_t turn_ = 0;
};

}  // namespace zelvar::sim
