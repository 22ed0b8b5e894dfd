#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "HexLogLine.h"
#include "PackageSource.h"

namespace zelvar::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(ZelvarSimHexLog, ReadsLinesLikeTheOfflineDecoder) {
    struct Case {
        std::string line;
        bool hasPackage;
        int transceiver;
        std::optional<std::int64_t> stamp;
        Bytes bytes;
    };
    const std::vector<Case> cases = {
        {"1$F4BEE070\t00 1A FF", true, 1, 0xF4BEE070, {0x00, 0x1A, 0xFF}},
        {"3$1145A3B28\t00 0F\r", true, 3, 0x1145A3B28, {0x00, 0x0F}},
        {"00 1A FF", true, 1, std::nullopt, {0x00, 0x1A, 0xFF}},
        // The TAB is not where a stamp would end it: the whole line is data.
        {"12\t34", true, 1, std::nullopt, {0x12, 0x34}},
        {"4$XYZ00000\t01", true, 4, 0, {0x01}},
        {"0a 1b", true, 1, std::nullopt, {0x01}},
        {"A: :A 7", true, 1, std::nullopt, {0x0A, 0x00}},
        {"5$F4BEE070\t00 1A", false, 0, std::nullopt, {}},
        {"2$F4BEE070\t", false, 0, std::nullopt, {}},
        {"End", false, 0, std::nullopt, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const auto parsed = parseHexLogLine(c.line);
        ASSERT_EQ(parsed.has_value(), c.hasPackage);
        if (!parsed) continue;
        EXPECT_EQ(parsed->package.transceiver, c.transceiver);
        EXPECT_EQ(parsed->stamp, c.stamp);
        EXPECT_EQ(parsed->package.bytes, c.bytes);
    }
}

TEST(ZelvarSimHexLog, KeepsAtMostOneDatagramOfBytes) {
    std::string line;
    for (int i = 0; i < 200; ++i) line += "AB ";
    EXPECT_EQ(parseHexData(line).size(), kMaxPackageSize);
    EXPECT_EQ(hexText(Bytes{0x00, 0x1A, 0xFF}), "00 1A FF");
    EXPECT_EQ(hexText(Bytes{0x7F}), "7F");
}

TEST(ZelvarSimHexLog, SkipsLinesWithoutAPackageForAPlayedTransceiver) {
    const HexLog log =
        parseHexLog("1$F4BEE070\t00 01\r\n\r\n  \n3$F4BEE071\t00 03\n7$F4BEE071\t00\nzz\n00 09", 2);
    ASSERT_EQ(log.packages.size(), 2U);
    EXPECT_EQ(log.packages[0].package.bytes, (Bytes{0x00, 0x01}));
    EXPECT_EQ(log.packages[1].package.bytes, (Bytes{0x00, 0x09}));
    EXPECT_EQ(log.skippedLines, 3U);  // port 3 beyond --transceivers 2, port 7, no bytes
}

std::vector<std::int64_t> dueTimes(PackageSource& source, std::size_t count) {
    std::vector<std::int64_t> times;
    while (times.size() < count) {
        const auto next = source.next();
        if (!next) break;
        times.push_back(next->dueNs);
    }
    return times;
}

std::vector<LogPackage> stampedLog(const std::vector<std::optional<std::int64_t>>& stamps) {
    std::vector<LogPackage> log;
    for (const auto& stamp : stamps) log.push_back(LogPackage{Package{1, {0x00}}, stamp});
    return log;
}

constexpr std::int64_t kUnitNs = 864'000'000;

TEST(ZelvarSimPacing, FollowsTheStampsOneUnitBeing0864Seconds) {
    const std::int64_t base = 0xF4BEE070;
    const auto log =
        stampedLog({base, base + 1, base + 1, std::nullopt, base + 6, base - 4, base - 2});
    // A bare line follows at once; a stamp going backwards too, and pacing
    // then goes on from it.
    const std::vector<std::int64_t> expected = {0,           kUnitNs,     kUnitNs,    kUnitNs,
                                                6 * kUnitNs, 6 * kUnitNs, 8 * kUnitNs};
    LogReplay normal(log, LogPacing{});
    EXPECT_EQ(dueTimes(normal, 10), expected);

    LogPacing faster;
    faster.speed = 4.0;
    LogReplay quick(log, faster);
    std::vector<std::int64_t> quarter;
    for (const auto t : expected) quarter.push_back(t / 4);
    EXPECT_EQ(dueTimes(quick, 10), quarter);

    LogPacing capped;
    capped.maxGapSeconds = 1.0;
    LogReplay short_gaps(log, capped);
    EXPECT_EQ(dueTimes(short_gaps, 10),
              (std::vector<std::int64_t>{0, kUnitNs, kUnitNs, kUnitNs, kUnitNs + 1'000'000'000,
                                         kUnitNs + 1'000'000'000, kUnitNs + 2'000'000'000}));
}

TEST(ZelvarSimPacing, FixedRateReplacesTheStamps) {
    LogPacing pacing;
    pacing.ratePerSecond = 50.0;
    LogReplay byRate(stampedLog({100, 5000, 5001}), pacing);
    EXPECT_EQ(dueTimes(byRate, 10), (std::vector<std::int64_t>{0, 20'000'000, 40'000'000}));

    LogReplay bare(stampedLog({std::nullopt, std::nullopt}), LogPacing{});
    EXPECT_EQ(dueTimes(bare, 10), (std::vector<std::int64_t>{0, 10'000'000}));
}

TEST(ZelvarSimPacing, LoopStartsOverOneUnitAfterTheLastPackage) {
    auto log = stampedLog({10, 12});
    log[1].package.bytes = {0x00, 0x02};
    LogPacing pacing;
    pacing.loop = true;
    LogReplay replay(log, pacing);
    std::vector<TimedPackage> out;
    for (int i = 0; i < 4; ++i) out.push_back(*replay.next());
    EXPECT_EQ(out[2].package, log[0].package);
    EXPECT_EQ(out[3].package, log[1].package);
    EXPECT_EQ(out[2].dueNs, 3 * kUnitNs);
    EXPECT_EQ(out[3].dueNs, 5 * kUnitNs);

    LogReplay empty({}, pacing);
    EXPECT_FALSE(empty.next());
}

TEST(ZelvarSimPacing, CountAndDurationEndTheSource) {
    LimitedSource counted(std::make_unique<GeneratedTraffic>(1, 4, 1000.0), 5, std::nullopt);
    EXPECT_EQ(dueTimes(counted, 100).size(), 5U);

    LimitedSource timed(std::make_unique<GeneratedTraffic>(1, 4, 10.0), std::nullopt,
                        1'000'000'000);
    const auto times = dueTimes(timed, 100);
    ASSERT_EQ(times.size(), 10U);
    EXPECT_EQ(times.back(), 900'000'000);
    EXPECT_FALSE(timed.next());
}

}  // namespace
}  // namespace zelvar::sim
