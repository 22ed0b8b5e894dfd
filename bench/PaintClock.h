#pragma once

#include <QElapsedTimer>
#include <QEvent>
#include <QObject>
#include <vector>

namespace zelvar::bench {

// Times of the paint events of one widget, as an event filter records them.
class PaintClock : public QObject {
public:
    PaintClock(const QElapsedTimer& clock, std::vector<qint64>& times)
        : clock_(clock), times_(times) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) times_.push_back(clock_.nsecsElapsed());
        return QObject::eventFilter(watched, event);
    }

private:
    const QElapsedTimer& clock_;
    std::vector<qint64>& times_;
};

}  // namespace zelvar::bench
