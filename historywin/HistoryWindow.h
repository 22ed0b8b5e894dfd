#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "HistoryPlotMath.h"

class QLabel;

namespace zelvar {

class BusyRuns;
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
// saved logs opened into it (`settings` decode the hex logs). The logs are
// read as a run of `busy`, with window events running: meanwhile the
// window's own commands are refused and its close waits.
class HistoryWindow : public QWidget {
    Q_OBJECT

public:
    // Sets the live history's memory limit, which follows the logs opened
    // beside it; may be empty.
    using LiveLimit = std::function<void(std::size_t bytes)>;
    HistoryWindow(const SignalHistory& history, LiveLimit limitLive, const Settings& settings,
                  BusyRuns& busy, QWidget* parent = nullptr);
    ~HistoryWindow() override;
    // Not owned; nullptr returns to the platform's dialogs.
    void setDialogs(HistoryDialogs* dialogs);
    HistoryPlot& plot() { return *plot_; }

    // The chosen logs replace those opened before; if one of them cannot be
    // read or holds no report, an error says so and nothing changes.
    void openLogs();
    int openedLogs() const { return int(logs_.size()); }
    void exportCsv();
    // PNG, or SVG for a name ending in .svg.
    void saveImage();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    HistoryDialogs& dialogs();
    // Whether a command of the window may run now.
    bool commandMayGo();
    // The size wanted, within the screen the parent is on and below the
    // parent where there is room.
    void placeOnScreen(QWidget* parent);
    // Saves `bytes` as the file the user chose, or shows why it cannot.
    void saveFile(const QString& path, const QByteArray& bytes);

    const SignalHistory& history_;
    LiveLimit limitLive_;
    const Settings& settings_;
    BusyRuns& busy_;
    std::vector<std::unique_ptr<SignalHistory>> logs_;
    std::atomic<bool> stopReading_{false};
    HistoryPlot* plot_;
    QLabel* cursor_;
    std::unique_ptr<HistoryDialogs> ownDialogs_;
    HistoryDialogs* dialogs_ = nullptr;
};

}  // namespace zelvar
