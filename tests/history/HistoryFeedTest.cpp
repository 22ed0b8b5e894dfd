#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <map>
#include <span>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "DateTime.h"
#include "HistoryFeed.h"
#include "OfflineDecoder.h"
#include "PackageDecoder.h"

using namespace zelvar;

namespace {

using Time = SignalHistory::Time;
using Row = std::tuple<Time, Time, int, int, bool>;

std::string dataPath(const char* name) {
    return std::string(ZELVAR_TEST_DATA) + "/" + name;
}

class OpenFile {
public:
    explicit OpenFile(const std::string& path) : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~OpenFile() { close(fd_); }
    int fd() const { return fd_; }

private:
    int fd_;
};

std::vector<Row> rows(const SignalHistory& history, int port) {
    std::vector<Row> out;
    history.forEach(port, INT64_MIN / 4, INT64_MAX / 4, [&](const SignalHistory::Item& i) {
        out.emplace_back(i.time, i.span, i.min, i.max, i.gap);
    });
    return out;
}

// Lowest and highest level of each second of a port; a gap as (1, 1).
std::map<Time, std::pair<int, int>> perSecond(const SignalHistory& history, int port) {
    std::map<Time, std::pair<int, int>> out;
    history.forEach(port, INT64_MIN / 4, INT64_MAX / 4, [&](const SignalHistory::Item& i) {
        const Time second = i.time / 1000 * 1000;
        const std::pair<int, int> level =
            i.gap ? std::pair{1, 1} : std::pair<int, int>{i.min, i.max};
        const auto [at, fresh] = out.emplace(second, level);
        if (!fresh) {
            at->second.first = std::min(at->second.first, level.first);
            at->second.second = std::max(at->second.second, level.second);
        }
    });
    return out;
}

// The sample logs' settings that go with the expected RSSI-only text.
Settings onlyRssiSettings() {
    Settings settings;
    settings.RSSICorrection[1] = -5;
    settings.MaxRSSI[2] = -100;
    return settings;
}

Time localMs(int day, int hour, int minute, int second) {
    return ((DaysFromCivil(2026, 12, static_cast<unsigned>(day)) * 24 + hour) * 60 + minute) *
               60'000 +
           second * 1000;
}

}  // namespace

TEST(HistoryFeedTest, SavedHexGivesTheLiveCurveAndItsTextTheSameSeconds) {
    const Settings settings = onlyRssiSettings();
    SignalHistory fromHex;
    {
        OpenFile hex(dataPath("reports.hex"));
        FeedHexLog(fromHex, hex.fd(), settings);
    }

    // The same packages as they come in live.
    SignalHistory live;
    HistoryOutput output(live);
    const DisplayMirrors mirrors;
    const GpsState gps;
    PackageDecoder decoder(settings, mirrors, gps, output);
    std::ifstream lines(dataPath("reports.hex"));
    for (std::string line; std::getline(lines, line);) {
        const LogLineParts parts = SplitLogLine(line);
        std::array<std::uint8_t, ReceiveBufferSize> package{};
        const std::size_t n = ParseLogData(parts.data, package.data(), package.size());
        decoder.DecodePackage(std::span(package.data(), n), parts.stamp, DecodeMode::Live,
                              parts.portDigit - '0');
    }

    SignalHistory fromText;
    {
        OpenFile text(dataPath("reports.only-rssi.expected.txt"));
        FeedTextLog(fromText, text.fd());
    }
    for (int port = 1; port <= 4; ++port) {
        SCOPED_TRACE(port);
        EXPECT_EQ(rows(fromHex, port).size(), 3U);
        EXPECT_EQ(rows(fromHex, port), rows(live, port));
        EXPECT_EQ(perSecond(fromHex, port), perSecond(fromText, port));
    }
    // Stamps are kept to the stamp unit, 864 ms.
    EXPECT_EQ(std::get<0>(rows(fromHex, 2)[0]), 0x1145A3B2ALL * 864 - 25569LL * 86'400'000);
    EXPECT_EQ(rows(fromText, 2)[0], (Row{localMs(8, 6, 0, 1), 0, -62, -62, false}));
}

TEST(HistoryFeedTest, EveryTextLineFormWithADbmGivesAReport) {
    SignalHistory traffic;
    {
        OpenFile text(dataPath("traffic.expected.txt"));
        FeedTextLog(traffic, text.fd());
    }
    // Decoded lines; the line without a time is left out; the line of 2012
    // comes after those of 2026 and breaks port 1's line.
    const auto port1 = rows(traffic, 1);
    ASSERT_EQ(port1.size(), 6U);
    EXPECT_EQ(port1[0], (Row{localMs(8, 6, 0, 2), 0, -90, -90, false}));
    EXPECT_TRUE(std::get<4>(port1[4]));
    EXPECT_EQ(std::get<2>(port1[5]), -90);
    EXPECT_EQ(rows(traffic, 2)[0],
              (Row{localMs(8, 6, 0, 7), 0, SignalHistory::kMax, SignalHistory::kMax, false}));

    // The RSSI-only line with the own position, with its placeholders; "-"
    // and an empty dBm are gaps.
    SignalHistory drive;
    {
        OpenFile text(dataPath("drive-test.txt"));
        FeedTextLog(drive, text.fd());
    }
    EXPECT_EQ(rows(drive, 1)[0], (Row{localMs(9, 1, 58, 10), 0, -95, -95, false}));
    EXPECT_EQ(rows(drive, 1).size(), 5U);
    EXPECT_EQ(rows(drive, 3), (std::vector<Row>{{localMs(9, 1, 58, 15), 0, 0, 0, true}}));
    EXPECT_TRUE(std::get<4>(rows(drive, 2)[2]));
    EXPECT_FALSE(FeedTextLine(drive, "Port\tTime                 \tdBm"));
    EXPECT_FALSE(FeedTextLine(drive, "5\t09.12.2026 01:58:10\t-90"));
    EXPECT_FALSE(FeedTextLine(drive, "1\t09.13.2026 01:58:10\t-90"));
}
