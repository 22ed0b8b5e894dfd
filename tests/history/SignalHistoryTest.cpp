#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdint>
#include <memory>
#include <tuple>
#include <vector>

#include "SignalHistory.h"

using namespace zelvar;

namespace {

using Time = SignalHistory::Time;
constexpr Time kT0 = 1'765'000'000'000;  // a whole second
constexpr SignalHistory::Level kMax = SignalHistory::kMax;

// An item as (time, span, min, max, gap), comparable at once.
using Row = std::tuple<Time, Time, int, int, bool>;

std::vector<Row> rows(const SignalHistory& history, int port, Time from = INT64_MIN / 4,
                      Time to = INT64_MAX / 4) {
    std::vector<Row> out;
    history.forEach(port, from, to, [&](const SignalHistory::Item& i) {
        out.emplace_back(i.time, i.span, i.min, i.max, i.gap);
    });
    return out;
}

void fillKnown(SignalHistory& h) {
    h.add(1, kT0 + 100, -90);
    h.add(1, kT0 + 400, -80);
    h.add(1, kT0 + 1100, -70);
    h.add(1, kT0 + 1900, kMax);
    h.addGap(1, kT0 + 2500);
    h.add(1, kT0 + 3000, -60);
}

}  // namespace

TEST(SignalHistoryTest, KnownReportsGiveMinMaxPerColumnAndPerReducedSecond) {
    SignalHistory h;
    fillKnown(h);
    h.add(2, kT0 + 500, -100);  // another port stays apart

    const auto cols = h.columns(1, kT0, kT0 + 4000, 4);
    ASSERT_EQ(cols.size(), 4U);
    EXPECT_TRUE(cols[0].filled && cols[0].min == -90 && cols[0].max == -80);
    EXPECT_TRUE(cols[1].filled && cols[1].min == -70 && cols[1].max == kMax);  // Max is the ceiling
    EXPECT_FALSE(cols[2].filled);
    EXPECT_TRUE(cols[3].filled && cols[3].breakBefore && cols[3].min == -60);
    EXPECT_FALSE(cols[1].breakBefore);
    // Columns of 200 ms: the first holds the report at 1.1 s alone.
    const auto fine = h.columns(1, kT0 + 1000, kT0 + 1400, 2);
    EXPECT_TRUE(fine[0].filled && fine[0].min == -70 && fine[0].max == -70);
    EXPECT_FALSE(fine[1].filled);

    // Ten minutes later the old reports are kept as the levels of their second.
    h.add(1, kT0 + SignalHistory::kExactAge + 3500, -50);
    EXPECT_EQ(rows(h, 1),
              (std::vector<Row>{{kT0, 1000, -90, -80, false},
                                {kT0 + 1000, 1000, -70, kMax, false},
                                {kT0 + 2500, 0, 0, 0, true},
                                {kT0 + 3000, 1000, -60, -60, false},
                                {kT0 + SignalHistory::kExactAge + 3500, 0, -50, -50, false}}));
    // A column wider than the buckets still holds their min/max, the gap breaks.
    const auto wide = h.columns(1, kT0, kT0 + 4000, 2);
    EXPECT_TRUE(wide[0].min == -90 && wide[0].max == kMax && wide[1].breakBefore);
    EXPECT_TRUE(wide[1].filled && wide[1].min == -60);
    EXPECT_EQ(rows(h, 2).size(), 1U);

    // After a day, per minute.
    h.add(1, kT0 + SignalHistory::kSecondsAge + 10 * 60'000, -40);
    const auto afterDay = rows(h, 1);
    ASSERT_GE(afterDay.size(), 2U);
    EXPECT_EQ(afterDay[0], (Row{kT0 / 60'000 * 60'000, 60'000, -90, kMax, false}));
    EXPECT_TRUE(std::get<4>(afterDay[1]));  // the gap survives the reductions
}

TEST(SignalHistoryTest, BackwardsTimesBreakTheLineAndTheExactSpanShrinksAtItsLimit) {
    SignalHistory h;
    h.add(3, kT0 + 5000, -70);
    h.add(3, kT0 + 1000, -75);  // an hour set back, say
    h.add(3, kT0 + 2000, -76);
    EXPECT_EQ(rows(h, 3), (std::vector<Row>{{kT0 + 5000, 0, -70, -70, false},
                                            {kT0 + 1000, 0, 0, 0, true},
                                            {kT0 + 1000, 0, -75, -75, false},
                                            {kT0 + 2000, 0, -76, -76, false}}));
    const auto cols = h.columns(3, kT0, kT0 + 6000, 6);
    EXPECT_TRUE(cols[1].breakBefore);
    EXPECT_FALSE(cols[2].breakBefore);

    SignalHistory small(10);
    for (int i = 0; i < 100; ++i) small.add(1, kT0 + i * 100, static_cast<std::int16_t>(-i));
    const auto kept = rows(small, 1);
    // 10 exact points; the 90 before them as the levels of their 9 seconds.
    ASSERT_EQ(kept.size(), 9U + 10);
    EXPECT_EQ(kept[0], (Row{kT0, 1000, -9, 0, false}));
    EXPECT_EQ(kept[9], (Row{kT0 + 9000, 0, -90, -90, false}));
    EXPECT_EQ(kept.back(), (Row{kT0 + 9900, 0, -99, -99, false}));
}

// Days before the last ones hold their seconds and minutes whatever the rate,
// so they are fed one report per second; the last minutes at the full rate of
// 20,000 reports a second, shared by the four ports.
TEST(SignalHistoryTest, MemoryStaysBoundedOverAWeekAtFullRate) {
    const std::size_t heapBefore = mallinfo2().uordblks;
    SignalHistory h;
    // First half a year of minutes (they coarsen), with clocks set back now and then.
    Time t = kT0;
    for (int minute = 0; minute < 200 * 1440; ++minute, t += 60'000) {
        for (int port = 1; port <= 4; ++port) {
            h.add(port, minute % 50'000 == 49'999 ? t - 3'600'000 : t,
                  static_cast<std::int16_t>(-60 - minute % 50));
        }
    }
    for (int second = 0; second < 7 * 86400; ++second, t += 1000) {
        for (int port = 1; port <= 4; ++port) {
            if (second % 1000 == 0) h.addGap(port, t);
            h.add(port, t + 500, static_cast<std::int16_t>(-60 - second % 70));
        }
    }
    for (int i = 0; i < 7 * 60 * 5000; ++i) {
        for (int port = 1; port <= 4; ++port) {
            h.add(port, t + i / 5, static_cast<std::int16_t>(-60 - i % 70));
        }
    }
    const std::size_t heapUsed = mallinfo2().uordblks - heapBefore;
    EXPECT_LE(h.memoryUsed(), SignalHistory::kMemoryBound);
    EXPECT_LE(heapUsed, SignalHistory::kMemoryBound);
    // Still the last 2,000,000 reports of a port exactly, and the whole run.
    std::size_t exact = 0;
    h.forEach(2, t, t + 7 * 60'000, [&](const SignalHistory::Item& i) { exact += i.span == 0; });
    EXPECT_EQ(exact, SignalHistory::kDefaultExactPoints);
    Time first = 0, last = 0;
    ASSERT_TRUE(h.timeRange(first, last));
    EXPECT_LE(first, kT0);
    EXPECT_EQ(last, t + (7 * 60 * 5000 - 1) / 5);
}

// The live history after a week and four logs opened beside it, each of a
// week that ends at the full rate: together within the one bound.
TEST(SignalHistoryTest, TheLiveHistoryAndFourOpenedLogsShareTheBound) {
    const auto fillWeek = [](SignalHistory& h, int fullRateMinutes) {
        Time t = kT0;
        for (int second = 0; second < 7 * 86400; ++second, t += 1000)
            for (int port = 1; port <= 4; ++port) h.add(port, t, -70);
        for (int i = 0; i < fullRateMinutes * 60 * 5000; ++i)
            for (int port = 1; port <= 4; ++port)
                h.add(port, t + i / 5, static_cast<std::int16_t>(-60 - i % 70));
    };
    const std::size_t heapBefore = mallinfo2().uordblks;
    SignalHistory live;
    fillWeek(live, 6);
    live.setMemoryLimit(SignalHistory::kMemoryBound - 4 * SignalHistory::kLogMemory);
    std::vector<std::unique_ptr<SignalHistory>> logs;
    std::size_t used = live.memoryUsed();
    EXPECT_LE(used, live.memoryLimit());
    for (int i = 0; i < 4; ++i) {
        auto& log = *logs.emplace_back(std::make_unique<SignalHistory>(
            SignalHistory::kDefaultExactPoints, SignalHistory::kLogMemory));
        fillWeek(log, 1);
        EXPECT_LE(log.memoryUsed(), SignalHistory::kLogMemory);
        used += log.memoryUsed();
    }
    EXPECT_LE(used, SignalHistory::kMemoryBound);
    EXPECT_LE(mallinfo2().uordblks - heapBefore, SignalHistory::kMemoryBound);
    // Each still spans the whole week, the live one with 1.5 million exact points a port.
    for (const SignalHistory* h : {&live, logs.back().get()}) {
        Time first = 0, last = 0;
        ASSERT_TRUE(h->timeRange(first, last));
        EXPECT_EQ(first, kT0 / 60'000 * 60'000);
    }
    std::size_t exact = 0;
    live.forEach(1, kT0, INT64_MAX / 4,
                 [&](const SignalHistory::Item& i) { exact += i.span == 0; });
    EXPECT_GT(exact, 1'500'000U);
}
