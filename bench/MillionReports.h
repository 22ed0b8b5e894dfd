#pragma once

#include "SignalHistory.h"

namespace zelvar::bench {

// Where the plot benchmarks' reports begin, a millisecond apart.
inline constexpr SignalHistory::Time kMillionReportsStart = 1'765'000'000'000;

// 1,000,000 reports on port 1 with a gap every 1,000: what the plot
// benchmarks draw.
inline void AddMillionReports(SignalHistory& history) {
    for (int i = 0; i < 1'000'000; ++i) {
        if (i % 1000 == 999) history.addGap(1, kMillionReportsStart + i);
        history.add(1, kMillionReportsStart + i, static_cast<SignalHistory::Level>(-60 - i % 80));
    }
}

}  // namespace zelvar::bench
