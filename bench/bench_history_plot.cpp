// One full repaint of the signal history's plot, 1,200 pixels wide, over
// 1,000,000 reports with 1,000 gaps. Run it under Xvfb with a window manager
// to see it as a user does; offscreen it measures the painting alone.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QWindow>

#include "HistoryWindow.h"
#include "MillionReports.h"

namespace {

using zelvar::SignalHistory;

void BM_PlotRepaint(benchmark::State& state) {
    SignalHistory history;
    zelvar::bench::AddMillionReports(history);
    zelvar::HistoryPlot plot(history);
    // The plot's margins take 68 pixels beside its 1,200 columns.
    plot.resize(1200 + 68, 500);
    plot.show();
    // A window not yet on the screen would skip its paint.
    while (!plot.windowHandle()->isExposed())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    for (auto _ : state) plot.repaint();
}
BENCHMARK(BM_PlotRepaint)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
