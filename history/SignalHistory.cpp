#include "SignalHistory.h"

#include <algorithm>

namespace zelvar {

namespace {

// Within the exact points, the gap's own level: no report gives it.
constexpr SignalHistory::Level kGapLevel = std::numeric_limits<SignalHistory::Level>::min();

// Exact points sit in chunks of this many, each time kept as an offset from
// its chunk's first: 6 bytes a point.
constexpr std::size_t kChunkPoints = 32768;
// Past a day of seconds (and gaps among them) the oldest move on to minutes,
// sooner when the memory limit leaves room for fewer.
constexpr std::size_t kSecondsCap = 100'000;
// Past this many buckets the minutes are joined two by two: the oldest part
// of a very long run coarsens rather than the memory growing.
constexpr std::size_t kCoarseCap = 131'072;
// Whatever the limit: room for the partly reduced first chunk and the next.
constexpr std::size_t kFewestChunks = 2;
constexpr std::size_t kFewestBuckets = 64;

SignalHistory::Time floorTo(SignalHistory::Time t, SignalHistory::Time width) {
    SignalHistory::Time q = t / width;
    if (t % width != 0 && t < 0) --q;
    return q * width;
}

}  // namespace

struct SignalHistory::Port {
    struct Chunk {
        Time base = 0;
        std::size_t count = 0;
        std::int32_t offset[kChunkPoints];
        Level level[kChunkPoints];
    };
    struct Bucket {
        Time time;
        Level min;
        Level max;
        bool gap() const { return min == kGapLevel; }
    };

    std::deque<std::unique_ptr<Chunk>> chunks;
    std::size_t head = 0;  // points of the first chunk already reduced
    std::size_t exactCount = 0;
    std::deque<Bucket> seconds;
    std::deque<Bucket> coarse;
    Time coarseWidth = 60'000;
    bool any = false;
    Time last = 0;    // the time of the latest report
    Time newest = 0;  // the highest time of any report

    void push(Time t, Level level) {
        const Time offset = chunks.empty() ? 0 : t - chunks.back()->base;
        if (chunks.empty() || chunks.back()->count == kChunkPoints ||
            offset < std::numeric_limits<std::int32_t>::min() ||
            offset > std::numeric_limits<std::int32_t>::max()) {
            chunks.push_back(std::make_unique<Chunk>());
            chunks.back()->base = t;
        }
        Chunk& chunk = *chunks.back();
        chunk.offset[chunk.count] = static_cast<std::int32_t>(t - chunk.base);
        chunk.level[chunk.count] = level;
        ++chunk.count;
        ++exactCount;
    }

    Bucket popExact() {
        Chunk& chunk = *chunks.front();
        const Bucket point{chunk.base + chunk.offset[head], chunk.level[head], chunk.level[head]};
        --exactCount;
        if (++head == chunk.count) {
            chunks.pop_front();
            head = 0;
        }
        return point;
    }

    static void fold(std::deque<Bucket>& into, const Bucket& item, Time width) {
        if (item.gap()) {
            if (into.empty() || !into.back().gap()) into.push_back(item);
            return;
        }
        const Time start = floorTo(item.time, width);
        if (!into.empty() && !into.back().gap() && into.back().time == start) {
            into.back().min = std::min(into.back().min, item.min);
            into.back().max = std::max(into.back().max, item.max);
        } else {
            into.push_back({start, item.min, item.max});
        }
    }

    // Points from before a clock set back are aged by the newest time seen
    // before it: they stay until the clock passes them again or the counts
    // push them on.
    bool old(Time t, Time age) const { return t < (t > last ? newest : last) - age; }

    void reduce(const Limits& limits) {
        while (exactCount > 0) {
            const Chunk& front = *chunks.front();
            if (!old(front.base + front.offset[head], kExactAge) &&
                exactCount <= limits.exactPoints && chunks.size() <= limits.chunks) {
                break;
            }
            fold(seconds, popExact(), 1000);
        }
        while (!seconds.empty() &&
               (old(seconds.front().time, kSecondsAge) || seconds.size() > limits.seconds)) {
            fold(coarse, seconds.front(), coarseWidth);
            seconds.pop_front();
        }
        if (coarse.size() > limits.coarse) coarsen(limits.coarse);
    }

    void coarsen(std::size_t cap) {
        coarseWidth *= 2;
        std::deque<Bucket> joined;
        for (const Bucket& b : coarse) fold(joined, b, coarseWidth);
        // Only times that keep going back and forth, or a limit lowered,
        // leave this many: the oldest go.
        while (joined.size() > cap / 4 * 3) joined.pop_front();
        coarse.swap(joined);
    }
};

SignalHistory::SignalHistory(std::size_t exactPointsPerPort, std::size_t memoryLimit)
    : exactPointsPerPort_(exactPointsPerPort) {
    clear();
    setMemoryLimit(memoryLimit);
}

void SignalHistory::setMemoryLimit(std::size_t bytes) {
    memoryLimit_ = bytes;
    const std::size_t fixed = sizeof(*this) + kPorts * sizeof(Port);
    const std::size_t perPort = bytes > fixed ? (bytes - fixed) / kPorts : 0;
    const std::size_t buckets = perPort / 4 / 2 / sizeof(Port::Bucket);
    // One chunk more than the points fill, for the partly reduced first one.
    const std::size_t chunks = std::max(
        kFewestChunks, std::min((perPort - perPort / 4) / (sizeof(Port::Chunk) + sizeof(void*)),
                                (exactPointsPerPort_ + kChunkPoints - 1) / kChunkPoints + 1));
    limits_ = {std::min(exactPointsPerPort_, (chunks - 1) * kChunkPoints), chunks,
               std::clamp(buckets, kFewestBuckets, kSecondsCap),
               std::clamp(buckets, kFewestBuckets, kCoarseCap)};
    for (auto& port : ports_) port->reduce(limits_);
}

SignalHistory::~SignalHistory() = default;

void SignalHistory::clear() {
    for (auto& port : ports_) port = std::make_unique<Port>();
}

void SignalHistory::add(int port, Time time, Level level) {
    if (port < 1 || port > kPorts) return;
    if (level == kGapLevel) level = kGapLevel + 1;
    Port& p = *ports_[port - 1];
    if (p.any && time < p.last) p.push(time, kGapLevel);
    p.push(time, level);
    p.newest = p.any ? std::max(p.newest, time) : time;
    p.any = true;
    p.last = time;
    p.reduce(limits_);
}

void SignalHistory::addGap(int port, Time time) {
    if (port < 1 || port > kPorts) return;
    Port& p = *ports_[port - 1];
    p.push(time, kGapLevel);
    p.newest = p.any ? std::max(p.newest, time) : time;
    p.last = p.any ? std::max(p.last, time) : time;
    p.any = true;
    p.reduce(limits_);
}

void SignalHistory::forEach(int port, Time from, Time to,
                            const std::function<void(const Item&)>& visit) const {
    if (port < 1 || port > kPorts) return;
    const Port& p = *ports_[port - 1];
    auto emit = [&](Time time, Time span, Level min, Level max) {
        if (time >= to || time + std::max<Time>(span, 1) <= from) return;
        const bool gap = min == kGapLevel;
        visit({time, gap ? 0 : span, gap ? Level{0} : min, gap ? Level{0} : max, gap});
    };
    for (const auto& b : p.coarse) emit(b.time, p.coarseWidth, b.min, b.max);
    for (const auto& b : p.seconds) emit(b.time, 1000, b.min, b.max);
    for (std::size_t c = 0; c < p.chunks.size(); ++c) {
        const Port::Chunk& chunk = *p.chunks[c];
        for (std::size_t i = c == 0 ? p.head : 0; i < chunk.count; ++i) {
            emit(chunk.base + chunk.offset[i], 0, chunk.level[i], chunk.level[i]);
        }
    }
}

std::vector<SignalHistory::Column> SignalHistory::columns(int port, Time from, Time to,
                                                          int count) const {
    std::vector<Column> out(static_cast<std::size_t>(std::max(count, 0)));
    if (out.empty() || to <= from) return out;
    const double perColumn = static_cast<double>(to - from) / static_cast<double>(count);
    auto columnOf = [&](Time t) {
        const auto c = static_cast<long long>(static_cast<double>(t - from) / perColumn);
        return static_cast<std::size_t>(std::clamp<long long>(c, 0, count - 1));
    };
    bool pendingBreak = false;
    forEach(port, from, to, [&](const Item& item) {
        if (item.gap) {
            pendingBreak = true;
            return;
        }
        const std::size_t first = columnOf(item.time);
        const std::size_t last = item.span > 0 ? columnOf(item.time + item.span - 1) : first;
        if (pendingBreak && !out[first].filled) out[first].breakBefore = true;
        pendingBreak = false;
        for (std::size_t c = first; c <= last; ++c) {
            Column& column = out[c];
            column.min = column.filled ? std::min(column.min, item.min) : item.min;
            column.max = column.filled ? std::max(column.max, item.max) : item.max;
            column.filled = true;
        }
    });
    return out;
}

bool SignalHistory::timeRange(Time& first, Time& last) const {
    bool any = false;
    for (int port = 1; port <= kPorts; ++port) {
        forEach(port, std::numeric_limits<Time>::min() / 2, std::numeric_limits<Time>::max() / 2,
                [&](const Item& item) {
                    first = any ? std::min(first, item.time) : item.time;
                    last = any ? std::max(last, item.time + item.span) : item.time + item.span;
                    any = true;
                });
    }
    return any;
}

std::size_t SignalHistory::memoryUsed() const {
    std::size_t bytes = sizeof(*this);
    for (const auto& p : ports_) {
        bytes += sizeof(Port) + p->chunks.size() * (sizeof(Port::Chunk) + sizeof(void*)) +
                 (p->seconds.size() + p->coarse.size()) * sizeof(Port::Bucket);
    }
    return bytes;
}

}  // namespace zelvar
