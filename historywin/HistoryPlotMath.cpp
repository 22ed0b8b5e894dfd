#include "HistoryPlotMath.h"

#include <QDateTime>
#include <algorithm>
#include <cmath>

namespace zelvar {

QColor PortColour(int port) {
    static const QColor colours[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xff, 0x7f, 0x0e),
                                     QColor(0x2c, 0xa0, 0x2c), QColor(0xd6, 0x27, 0x28)};
    return colours[std::clamp(port, 1, 4) - 1];
}

QDateTime WallClock(SignalHistory::Time time) {
    return QDateTime::fromMSecsSinceEpoch(time, Qt::UTC);
}

QString LevelText(SignalHistory::Level level) {
    return level == SignalHistory::kMax ? QStringLiteral("Max") : QString::number(level);
}

QString LocalTimeText(SignalHistory::Time time) {
    return WallClock(time).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

QString UtcTimeText(SignalHistory::Time time) {
    const QDateTime wall = WallClock(time);
    const QDateTime local(wall.date(), wall.time(), Qt::LocalTime);
    return local.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
}

void TimeWindow::setRange(Time from, Time to) {
    if (to - from < kNarrowest) {
        const Time middle = from + (to - from) / 2;
        from = middle - kNarrowest / 2;
        to = from + kNarrowest;
    }
    from_ = from;
    to_ = to;
}

double TimeWindow::xOf(Time time, int width) const {
    return double(time - from_) * std::max(width, 1) / double(to_ - from_);
}

TimeWindow::Time TimeWindow::timeAt(double x, int width) const {
    return from_ + Time(std::llround(x * double(to_ - from_) / std::max(width, 1)));
}

void TimeWindow::zoomAround(double x, int width, double factor) {
    const double fixed = double(from_) + x * double(to_ - from_) / std::max(width, 1);
    const double span = std::max(double(to_ - from_) * factor, double(kNarrowest));
    const double from = fixed - (fixed - double(from_)) * span / double(to_ - from_);
    from_ = Time(std::llround(from));
    to_ = from_ + Time(std::llround(span));
}

void TimeWindow::pan(double dx, int width) {
    const Time shift = Time(std::llround(dx * double(to_ - from_) / std::max(width, 1)));
    from_ -= shift;
    to_ -= shift;
}

QString HistoryCsv(const SignalHistory& history, SignalHistory::Time from, SignalHistory::Time to) {
    QString csv = QStringLiteral("port,time_utc,dbm_min,dbm_max\n");
    for (int port = 1; port <= SignalHistory::kPorts; ++port) {
        history.forEach(port, from, to, [&](const SignalHistory::Item& item) {
            if (item.gap) return;
            csv += QStringLiteral("%1,%2,%3,%4\n")
                       .arg(port)
                       .arg(UtcTimeText(item.time))
                       .arg(LevelText(item.min))
                       .arg(LevelText(item.max));
        });
    }
    return csv;
}

}  // namespace zelvar
