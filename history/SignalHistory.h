#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

namespace zelvar {

// The signal level of each transceiver port over time, in bounded memory
// whatever the run's length: the newest reports exactly, older ones as the
// lowest and highest level per second, and after a day per minute.
//
// Times are milliseconds of the local wall clock counted from 1 January 1970
// (package stamps and log lines are local times); they need not grow: a time
// earlier than the port's previous one (a summer-time change, logs from
// another zone) breaks the line there.
class SignalHistory {
public:
    using Time = std::int64_t;
    using Level = std::int16_t;

    // "Max": above every level, so it stays the ceiling of any min/max.
    static constexpr Level kMax = std::numeric_limits<Level>::max();
    static constexpr int kPorts = 4;
    static constexpr Time kExactAge = 10 * 60 * 1000;      // exact for 10 minutes
    static constexpr Time kSecondsAge = 24 * 3600 * 1000;  // per second for a day
    static constexpr std::size_t kDefaultExactPoints = 2'000'000;
    // The live history and the saved logs opened beside it share this bound:
    // each log may hold kLogMemory, the live history what the logs leave.
    // The exact points take three quarters of a history's limit, the seconds
    // and minutes the rest, so a smaller limit shortens both spans.
    static constexpr std::size_t kMemoryBound = std::size_t{64} << 20;
    static constexpr std::size_t kLogMemory = kMemoryBound / 16;

    // What a port holds at one time: an exact point (span 0) or the levels of
    // a second or a minute; a gap breaks the line.
    struct Item {
        Time time = 0;
        Time span = 0;
        Level min = 0;
        Level max = 0;
        bool gap = false;
    };

    // One pixel column of a plot: the levels in its time range, and whether
    // the line must not join it to the previous filled column.
    struct Column {
        bool filled = false;
        bool breakBefore = false;
        Level min = 0;
        Level max = 0;
    };

    explicit SignalHistory(std::size_t exactPointsPerPort = kDefaultExactPoints,
                           std::size_t memoryLimit = kMemoryBound);
    ~SignalHistory();
    SignalHistory(const SignalHistory&) = delete;
    SignalHistory& operator=(const SignalHistory&) = delete;

    // A signal report of port 1..4; other ports are ignored.
    void add(int port, Time time, Level level);
    void addGap(int port, Time time);

    // Every item of a port whose time lies in [from, to), in the order taken.
    void forEach(int port, Time from, Time to, const std::function<void(const Item&)>& visit) const;
    // The range [from, to) cut into `columns` equal pixel columns.
    std::vector<Column> columns(int port, Time from, Time to, int columns) const;

    // The first and last time held over all ports; false when empty.
    bool timeRange(Time& first, Time& last) const;
    // Bytes the history holds, its buffers' capacity included.
    std::size_t memoryUsed() const;
    // What memoryUsed() may reach; a lower limit reduces or drops the oldest
    // points at once. A limit under about 1.6 MB is not held: each port
    // keeps room for two chunks of exact points whatever the limit.
    void setMemoryLimit(std::size_t bytes);
    std::size_t memoryLimit() const { return memoryLimit_; }
    void clear();

private:
    struct Port;
    // What each port may hold, from the memory limit.
    struct Limits {
        std::size_t exactPoints;
        std::size_t chunks;
        std::size_t seconds;
        std::size_t coarse;
    };
    std::unique_ptr<Port> ports_[kPorts];
    std::size_t exactPointsPerPort_;
    std::size_t memoryLimit_ = 0;
    Limits limits_{};
};

}  // namespace zelvar
