#pragma once

#include <QString>
#include <QWidget>
#include <memory>

#include "HistoryPlotMath.h"

class QLabel;

namespace zelvar {

// The file dialogs of the signal history window, behind one seam so that
// tests can answer them without a modal loop.
class HistoryDialogs {
public:
    virtual ~HistoryDialogs() = default;
    // The file to write (the dialog asks before overwriting); empty when
    // cancelled. `filter` as QFileDialog takes it.
    virtual QString saveFile(QWidget* parent, const QString& caption, const QString& filter) = 0;
    virtual void showError(QWidget* parent, const QString& text) = 0;
};

// The plot: one line per port, time across, dBm up. Wheel and +/- zoom
// around the cursor, a drag and the arrow keys pan, Home shows the whole run.
class HistoryPlot : public QWidget {
    Q_OBJECT

public:
    explicit HistoryPlot(const SignalHistory& history, QWidget* parent = nullptr);

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
    QRect plotArea() const;
    void zoom(double x, double factor);
    void describe(const QPoint& at);

    const SignalHistory& history_;
    TimeWindow window_;
    bool follow_ = true;
    bool dragging_ = false;
    double dragX_ = 0;
    // The dBm range of the last paint, for the value under the cursor.
    int low_ = -130;
    int high_ = -40;
};

// "Analysis > Signal History...": the plot, live while monitoring.
class HistoryWindow : public QWidget {
    Q_OBJECT

public:
    explicit HistoryWindow(const SignalHistory& history, QWidget* parent = nullptr);
    ~HistoryWindow() override;
    // Not owned; nullptr returns to the platform's dialogs.
    void setDialogs(HistoryDialogs* dialogs);
    HistoryPlot& plot() { return *plot_; }

    void exportCsv();
    void saveImage();

private:
    HistoryDialogs& dialogs();

    const SignalHistory& history_;
    HistoryPlot* plot_;
    QLabel* cursor_;
    std::unique_ptr<HistoryDialogs> ownDialogs_;
    HistoryDialogs* dialogs_ = nullptr;
};

}  // namespace zelvar
