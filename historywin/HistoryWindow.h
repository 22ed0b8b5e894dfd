#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <memory>
#include <vector>

#include "HistoryPlotMath.h"

class QLabel;

namespace zelvar {

struct Settings;

// The file dialogs of the signal history window, behind one seam so that
// tests can answer them without a modal loop.
class HistoryDialogs {
public:
    virtual ~HistoryDialogs() = default;
    // The file to write (the dialog asks before overwriting); empty when
    // cancelled. `filter` as QFileDialog takes it.
    virtual QString saveFile(QWidget* parent, const QString& caption, const QString& filter) = 0;
    // The existing files chosen; empty when cancelled.
    virtual QStringList openFiles(QWidget* parent, const QString& caption,
                                  const QString& filter) = 0;
    virtual void showError(QWidget* parent, const QString& text) = 0;
};

// The plot: one line per port, time across, dBm up; the live history's lines
// solid, each opened log's in its own dash pattern. Wheel and +/- zoom
// around the cursor, a drag and the arrow keys pan, Home shows the whole run.
class HistoryPlot : public QWidget {
    Q_OBJECT

public:
    // Opened logs drawn beside the live history, at most this many.
    static constexpr int kMaxLogs = 4;

    explicit HistoryPlot(const SignalHistory& history, QWidget* parent = nullptr);
    // Not owned; replaces those drawn before.
    void setLogs(std::vector<const SignalHistory*> logs);

    const TimeWindow& window() const { return window_; }
    // The time at a widget x.
    SignalHistory::Time timeAt(double x) const;
    // Whole run: follows the history as it grows.
    void showWholeRun();
    bool followsRun() const { return follow_; }
    // Takes in what the history gained since the last repaint.
    void refresh();

signals:
    // The time and level under the cursor and each port's levels in that
    // pixel column, as text.
    void hovered(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The live history first, then the logs.
    std::vector<const SignalHistory*> sources() const;
    QRect plotArea() const;
    void zoom(double x, double factor);
    void describe(const QPoint& at);

    const SignalHistory& history_;
    std::vector<const SignalHistory*> logs_;
    TimeWindow window_;
    bool follow_ = true;
    bool dragging_ = false;
    double dragX_ = 0;
    // The dBm range of the last paint, for the value under the cursor.
    int low_ = -130;
    int high_ = -40;
};

// "Analysis > Signal History...": the plot, live while monitoring, and the
// saved logs opened into it (`settings` decode the hex logs).
class HistoryWindow : public QWidget {
    Q_OBJECT

public:
    HistoryWindow(const SignalHistory& history, const Settings& settings,
                  QWidget* parent = nullptr);
    ~HistoryWindow() override;
    // Not owned; nullptr returns to the platform's dialogs.
    void setDialogs(HistoryDialogs* dialogs);
    HistoryPlot& plot() { return *plot_; }

    // The chosen logs replace those opened before; if one of them cannot be
    // read or holds no report, an error says so and nothing changes.
    void openLogs();
    int openedLogs() const { return int(logs_.size()); }
    void exportCsv();
    void saveImage();

private:
    // Each opened log's share of the exact points a port keeps: all the logs
    // together keep as many as the live history.
    static constexpr std::size_t kLogExactPoints =
        SignalHistory::kDefaultExactPoints / HistoryPlot::kMaxLogs;

    HistoryDialogs& dialogs();
    // Reads a .hex or .txt log into `log`; what went wrong, or empty.
    QString readLog(const QString& path, SignalHistory& log) const;

    const SignalHistory& history_;
    const Settings& settings_;
    std::vector<std::unique_ptr<SignalHistory>> logs_;
    HistoryPlot* plot_;
    QLabel* cursor_;
    std::unique_ptr<HistoryDialogs> ownDialogs_;
    HistoryDialogs* dialogs_ = nullptr;
};

}  // namespace zelvar
