#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "HexLogLine.h"
#include "Package.h"
#include "PackageGenerator.h"

namespace zelvar::sim {

// A package and when it is due, in nanoseconds after the simulator's clock
// started. Due times never decrease.
struct TimedPackage {
    std::int64_t dueNs = 0;
    Package package;
};

class PackageSource {
public:
    virtual ~PackageSource() = default;
    // The next package in send order, or nothing once the source has ended.
    virtual std::optional<TimedPackage> next() = 0;
};

// The built-in generator at a fixed rate over all transceivers.
class GeneratedTraffic final : public PackageSource {
public:
    GeneratedTraffic(std::uint64_t seed, int transceivers, double ratePerSecond);
    std::optional<TimedPackage> next() override;

private:
    PackageGenerator generator_;
    double ratePerSecond_;
    std::uint64_t produced_ = 0;
};

inline constexpr double kStampUnitSeconds = 0.864;
// A log that carries no stamp at all and no rate is given.
inline constexpr double kDefaultLogRate = 100.0;

struct LogPacing {
    std::optional<double> ratePerSecond;  // a fixed rate instead of the stamps
    double speed = 1.0;                   // stamps replayed this many times faster
    std::optional<double> maxGapSeconds;  // longest pause between two packages
    bool loop = false;                    // start over at the end of the log
};

// A saved hex log, paced by its stamps: each package follows the one before
// by the difference of their stamps. A bare line follows at once; so does a
// stamp that goes backwards (a log sorted by port, or two logs joined), and
// pacing goes on from it. After the last package a loop starts over one
// stamp unit later.
class LogReplay final : public PackageSource {
public:
    LogReplay(std::vector<LogPackage> packages, const LogPacing& pacing);
    std::optional<TimedPackage> next() override;

private:
    double cappedGapNs(double gapNs) const;

    std::vector<LogPackage> packages_;
    LogPacing pacing_;
    std::size_t index_ = 0;
    std::uint64_t produced_ = 0;
    double dueNs_ = 0.0;
    std::optional<std::int64_t> lastStamp_;
};

// Ends an inner source after count packages or before the first package due
// at or after durationNs.
class LimitedSource final : public PackageSource {
public:
    LimitedSource(std::unique_ptr<PackageSource> inner, std::optional<std::uint64_t> count,
                  std::optional<std::int64_t> durationNs);
    std::optional<TimedPackage> next() override;

private:
    std::unique_ptr<PackageSource> inner_;
    std::optional<std::uint64_t> count_;
    std::optional<std::int64_t> durationNs_;
    std::uint64_t produced_ = 0;
    bool ended_ = false;
};

}  // namespace zelvar::sim
