#pragma once

#include <QColor>
#include <QDateTime>
#include <QString>

#include "SignalHistory.h"

namespace zelvar {

// The fixed colour of a port's line (1..4).
QColor PortColour(int port);

// A level as the S-meters write it: the ceiling is "Max".
QString LevelText(SignalHistory::Level level);

// The wall-clock fields a history time stands for (in a UTC QDateTime).
QDateTime WallClock(SignalHistory::Time time);
// A history time (the local wall clock) as local and as UTC text.
QString LocalTimeText(SignalHistory::Time time);
QString UtcTimeText(SignalHistory::Time time);

// The time range a plot of `width` pixels shows, and the arithmetic of
// zooming and panning it: both keep the time under the cursor where it is.
class TimeWindow {
public:
    using Time = SignalHistory::Time;
    // Zoomed in no further than this many milliseconds across the plot.
    static constexpr Time kNarrowest = 1000;

    void setRange(Time from, Time to);
    Time from() const { return from_; }
    Time to() const { return to_; }

    double xOf(Time time, int width) const;
    Time timeAt(double x, int width) const;
    // factor < 1 zooms in, > 1 out, around the time at x.
    void zoomAround(double x, int width, double factor);
    // The plot's content follows the cursor `dx` pixels to the right.
    void pan(double dx, int width);

private:
    Time from_ = 0;
    Time to_ = kNarrowest;
};

// "Export CSV...": port,time_utc,dbm_min,dbm_max of every point in
// [from, to), port by port; an exact point has min equal to max, a gap is
// left out.
QString HistoryCsv(const SignalHistory& history, SignalHistory::Time from, SignalHistory::Time to);

}  // namespace zelvar
