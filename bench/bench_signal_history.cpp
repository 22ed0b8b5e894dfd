// The signal history at its fullest (2,000,000 exact reports a port, seconds
// and minutes behind them): what one live report costs the window's thread,
// stamp included, and the min/max of 1,200 pixel columns over 1,000,000
// exact reports.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "HistoryFeed.h"
#include "MillionReports.h"

namespace {

using zelvar::SignalHistory;

constexpr std::int64_t kFirstStamp = 0x1145A3B29;  // 8 December 2026
constexpr int kReportsPerStamp = 17'280;           // 20,000 a second at 0.864 s a stamp

std::string stampText(std::int64_t stamp) {
    char text[16];
    std::snprintf(text, sizeof text, "%09llX", static_cast<unsigned long long>(stamp));
    return text;
}

// Feeds reports as the decoder hands them over, four ports in turn.
struct LiveFeed {
    SignalHistory history;
    zelvar::HistoryOutput output{history};
    std::vector<std::string> dbm;
    std::int64_t stamp = kFirstStamp;
    std::string stampTextNow = stampText(kFirstStamp);
    std::uint64_t count = 0;

    LiveFeed() {
        for (int level = -40; level >= -140; --level) dbm.push_back(std::to_string(level));
        dbm.emplace_back("Max");
    }
    void report() {
        if (++count % kReportsPerStamp == 0) stampTextNow = stampText(++stamp);
        output.signalReport(static_cast<int>(count % 4) + 1, stampTextNow, dbm[count % dbm.size()],
                            true);
    }
};

void BM_LiveReport(benchmark::State& state) {
    LiveFeed feed;
    // Past the exact points' limit, so that every report also reduces one.
    for (std::size_t i = 0; i < 4 * (SignalHistory::kDefaultExactPoints + 100'000); ++i) {
        feed.report();
    }
    for (auto _ : state) feed.report();
    state.counters["MiB"] = static_cast<double>(feed.history.memoryUsed()) / (1 << 20);
}
BENCHMARK(BM_LiveReport);

void BM_PlotColumns(benchmark::State& state) {
    SignalHistory history;
    zelvar::bench::AddMillionReports(history);
    constexpr SignalHistory::Time kStart = zelvar::bench::kMillionReportsStart;
    for (auto _ : state) {
        benchmark::DoNotOptimize(history.columns(1, kStart, kStart + 1'000'000, 1200));
    }
}
BENCHMARK(BM_PlotColumns)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
