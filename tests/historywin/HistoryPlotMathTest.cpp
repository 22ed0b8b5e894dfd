#include <gtest/gtest.h>

#include <QStringList>

#include "HistoryPlotMath.h"

namespace zelvar {
namespace {

using Time = SignalHistory::Time;

TEST(TimeWindow, ZoomAndPanKeepTheTimeUnderTheCursor) {
    for (double x : {0.0, 137.0, 600.0, 1199.0}) {
        for (double factor : {0.5, 0.8, 1.25, 3.0}) {
            TimeWindow window;
            window.setRange(1'700'000'000'000, 1'700'000'600'000);
            const Time before = window.timeAt(x, 1200);
            window.zoomAround(x, 1200, factor);
            EXPECT_NEAR(double(window.timeAt(x, 1200)), double(before), 1.0) << x << " " << factor;
            EXPECT_NEAR(double(window.to() - window.from()), 600'000 * factor, 1.0);
        }
    }
    TimeWindow window;
    window.setRange(0, 600'000);
    const Time grabbed = window.timeAt(300, 1200);
    window.pan(-250, 1200);
    EXPECT_NEAR(double(window.timeAt(50, 1200)), double(grabbed), 1.0);
    EXPECT_NEAR(window.xOf(grabbed, 1200), 50, 0.01);

    // Zooming in stops at a second across the plot, still around the cursor.
    window.setRange(10'000, 20'000);
    for (int i = 0; i < 40; ++i) window.zoomAround(300, 1200, 0.5);
    EXPECT_EQ(window.to() - window.from(), TimeWindow::kNarrowest);
    EXPECT_NEAR(double(window.timeAt(300, 1200)), 12'500, 1.0);
}

TEST(HistoryCsv, HoldsThePointsInRangeWithoutGaps) {
    SignalHistory history;
    history.add(1, 1000, -80);
    history.add(1, 2000, -81);
    history.addGap(1, 2500);
    history.add(1, 3000, SignalHistory::kMax);
    history.add(3, 2100, -95);
    history.add(2, 9000, -70);  // past the range
    const QStringList rows = HistoryCsv(history, 1000, 5000).split(QLatin1Char('\n'));
    const QStringList expected = {QStringLiteral("port,time_utc,dbm_min,dbm_max"),
                                  QStringLiteral("1,%1,-80,-80").arg(UtcTimeText(1000)),
                                  QStringLiteral("1,%1,-81,-81").arg(UtcTimeText(2000)),
                                  QStringLiteral("1,%1,Max,Max").arg(UtcTimeText(3000)),
                                  QStringLiteral("3,%1,-95,-95").arg(UtcTimeText(2100)),
                                  QString()};
    EXPECT_EQ(rows, expected);
}

TEST(HistoryTimes, LocalWallClockToUtc) {
    // The history's times are wall-clock fields; UTC follows the zone.
    qputenv("TZ", "Europe/Moscow");  // UTC+3, no summer time
    EXPECT_EQ(LocalTimeText(3'600'000), QStringLiteral("1970-01-01 01:00:00.000"));
    EXPECT_EQ(UtcTimeText(1'767'225'600'000), QStringLiteral("2025-12-31T21:00:00.000Z"));
}

}  // namespace
}  // namespace zelvar
