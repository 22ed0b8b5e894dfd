// The start after a crash that left a large journal (1 GiB by default) in
// Files/: the main window recovers it in the background. Per run it prints
// the time from the window's show to " Recovered N", the packages counted,
// the peak memory of the process above that of the same window started with
// nothing to recover, and how the window kept drawing meanwhile (the longest
// gap between two paints of the text view, asked to repaint every 10 ms).
// Each run is a fresh child process; the figures at the end are medians.
//
//   bench_journal_recovery [--runs N] [--size-mb M]
//
// As a user sees it, under Xvfb with openbox:
//   BENCH=build/bench/bench_journal_recovery bench/run-live-intake.sh --runs 5
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QAbstractScrollArea>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "GeneratedLog.h"
#include "PaintClock.h"
#include "ProcessUsage.h"
#include "SettingsStore.h"
#include "ZelvarEditor.h"
#include "ZelvarMain.h"
#include "ZelvarOptions.h"

namespace {

using zelvar::bench::Median;

using zelvar::bench::PaintClock;

QString argument(const QStringList& args, const char* name, const QString& otherwise) {
    const qsizetype at = args.indexOf(QString::fromLatin1(name));
    return at >= 0 && at + 1 < args.size() ? args[at + 1] : otherwise;
}

// One start in `dir`: with --idle the window only stands for a second.
int child(const QStringList& args) {
    const QString dir = argument(args, "--dir", {});
    QDir::setCurrent(dir);
    zelvar::Settings settings;  // the program's, shared by the three windows
    TMainForm form(settings);
    TEditorForm editor(settings, form.model().busyRuns());
    TOptionsForm options(settings);
    form.attachWindows(&editor, &options);
    form.setSettingsStore(
        std::make_unique<zelvar::SettingsStore>(QDir(dir).filePath(QStringLiteral("Zelvar.ini"))));

    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> paints;
    paints.reserve(100000);
    PaintClock paintClock(clock, paints);
    form.findChild<QAbstractScrollArea*>(QStringLiteral("Memo1"))
        ->viewport()
        ->installEventFilter(&paintClock);
    QTimer repaint;
    repaint.setTimerType(Qt::PreciseTimer);
    QObject::connect(&repaint, &QTimer::timeout, [&] {
        form.findChild<QAbstractScrollArea*>(QStringLiteral("Memo1"))->viewport()->update();
    });
    repaint.start(10);

    form.show();
    const auto done = [&] {
        const QString status = form.statusText(3);
        return status.startsWith(QStringLiteral(" Recovered")) ||
               status.startsWith(QStringLiteral(" Recovery Failed"));
    };
    const bool idle = args.contains(QStringLiteral("--idle"));
    while (idle ? clock.elapsed() < 1000 : !done()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    const qint64 endNs = clock.nsecsElapsed();
    qint64 gap = 0;
    qint64 last = 0;
    for (const qint64 t : paints) {
        gap = std::max(gap, t - last);
        last = t;
    }
    gap = std::max(gap, endNs - last);
    const QString status = form.statusText(3);
    const long packages = status.mid(status.lastIndexOf(QLatin1Char(' ')) + 1).toLong();
    std::printf("%ld %.0f %.1f %ld\n", zelvar::bench::PeakRssKb(), static_cast<double>(endNs) / 1e6,
                static_cast<double>(gap) / 1e6, packages);
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.contains(QStringLiteral("--child"))) return child(args);
    const int runs = argument(args, "--runs", QStringLiteral("5")).toInt();
    const qint64 sizeMb = argument(args, "--size-mb", QStringLiteral("1024")).toLongLong();

    QTemporaryDir scratch;
    const QString journal = scratch.filePath(QStringLiteral("journal"));
    {
        const int fd = ::open(journal.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        qint64 written = 0;
        for (std::uint32_t seed = 1; written < sizeMb << 20; ++seed) {
            const std::string lines = zelvar::bench::GenerateHexLog(100000, seed);
            if (::write(fd, lines.data(), lines.size()) != static_cast<ssize_t>(lines.size())) {
                std::fprintf(stderr, "cannot write the journal\n");
                return 1;
            }
            written += static_cast<qint64>(lines.size());
        }
        ::fsync(fd);
        ::close(fd);
        std::printf("journal: %.0f MB\n", static_cast<double>(written) / 1e6);
    }

    std::vector<double> idleKb, idleGapMs, peakKb, ms, gapMs, packages;
    for (int run = 0; run < runs; ++run) {
        const QString dir = scratch.filePath(QStringLiteral("run%1").arg(run));
        QDir(dir).mkpath(QStringLiteral("Files"));
        const std::vector<double> idle = zelvar::bench::RunChild(
            {QStringLiteral("--child"), QStringLiteral("--idle"), QStringLiteral("--dir"), dir});
        // The same bytes under the journal's name: the recovery removes the name only.
        const QString named = QDir(dir).filePath(QStringLiteral("Files/zelvar-1-2-3.journal"));
        if (::link(journal.toLocal8Bit().constData(), named.toLocal8Bit().constData()) != 0) return 1;
        const std::vector<double> f =
            zelvar::bench::RunChild({QStringLiteral("--child"), QStringLiteral("--dir"), dir});
        if (idle.size() < 4 || f.size() < 4) return 1;
        std::printf("run %d: %.0f ms, %.0f packages, peak %.1f MB above the idle window "
                    "(%.1f MB), longest paint gap %.1f ms (idle window: %.1f ms)\n",
                    run + 1, f[1], f[3], (f[0] - idle[0]) / 1024, idle[0] / 1024, f[2], idle[2]);
        std::fflush(stdout);
        idleKb.push_back(idle[0]);
        idleGapMs.push_back(idle[2]);
        peakKb.push_back(f[0] - idle[0]);
        ms.push_back(f[1]);
        gapMs.push_back(f[2]);
        packages.push_back(f[3]);
        QDir(dir).removeRecursively();
    }
    std::printf("median of %d: %.0f ms to \" Recovered %.0f\", peak %.1f MB above the idle window "
                "(%.1f MB), longest paint gap %.1f ms (idle window: %.1f ms)\n",
                runs, Median(ms), Median(packages), Median(peakKb) / 1024, Median(idleKb) / 1024,
                Median(gapMs), Median(idleGapMs));
    return 0;
}
