#include "PackageSource.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace zelvar::sim {

namespace {

constexpr double kNsPerSecond = 1e9;

std::int64_t toNs(double ns) {
    // Beyond about 292 years a due time means "never"; keep it representable.
    return std::llround(std::min(ns, 9.0e18));
}

std::int64_t rateDueNs(std::uint64_t index, double ratePerSecond) {
    return toNs(static_cast<double>(index) * kNsPerSecond / ratePerSecond);
}

}  // namespace

GeneratedTraffic::GeneratedTraffic(std::uint64_t seed, int transceivers, double ratePerSecond)
    : generator_(seed, transceivers), ratePerSecond_(ratePerSecond) {}

std::optional<TimedPackage> GeneratedTraffic::next() {
    TimedPackage timed{rateDueNs(produced_++, ratePerSecond_), generator_.next()};
    return timed;
}

LogReplay::LogReplay(std::vector<LogPackage> packages, const LogPacing& pacing)
    : packages_(std::move(packages)), pacing_(pacing) {
    const bool stamped = std::any_of(packages_.begin(), packages_.end(),
                                     [](const LogPackage& p) { return p.stamp.has_value(); });
    if (!pacing_.ratePerSecond && !stamped) pacing_.ratePerSecond = kDefaultLogRate;
}

double LogReplay::cappedGapNs(double gapNs) const {
    if (pacing_.maxGapSeconds) gapNs = std::min(gapNs, *pacing_.maxGapSeconds * kNsPerSecond);
    return gapNs;
}

std::optional<TimedPackage> LogReplay::next() {
    if (packages_.empty()) return std::nullopt;
    const bool lapEnded = index_ == packages_.size();
    if (lapEnded) {
        if (!pacing_.loop) return std::nullopt;
        index_ = 0;
    }
    const LogPackage& entry = packages_[index_++];

    TimedPackage timed{0, entry.package};
    if (pacing_.ratePerSecond) {
        timed.dueNs = rateDueNs(produced_++, *pacing_.ratePerSecond);
        return timed;
    }
    const double unitNs = kStampUnitSeconds * kNsPerSecond / pacing_.speed;
    if (lapEnded) {
        dueNs_ += cappedGapNs(unitNs);
        lastStamp_.reset();
    }
    if (entry.stamp && lastStamp_ && *entry.stamp > *lastStamp_) {
        dueNs_ += cappedGapNs(static_cast<double>(*entry.stamp - *lastStamp_) * unitNs);
    }
    if (entry.stamp) lastStamp_ = entry.stamp;
    ++produced_;
    timed.dueNs = toNs(dueNs_);
    return timed;
}

LimitedSource::LimitedSource(std::unique_ptr<PackageSource> inner,
                             std::optional<std::uint64_t> count,
                             std::optional<std::int64_t> durationNs)
    : inner_(std::move(inner)), count_(count), durationNs_(durationNs) {}

std::optional<TimedPackage> LimitedSource::next() {
    if (ended_ || (count_ && produced_ >= *count_)) return std::nullopt;
    auto timed = inner_->next();
    if (!timed || (durationNs_ && timed->dueNs >= *durationNs_)) {
        ended_ = true;
        return std::nullopt;
    }
    ++produced_;
    return timed;
}

}  // namespace zelvar::sim
