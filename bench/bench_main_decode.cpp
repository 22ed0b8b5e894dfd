// The main window's two busy paths, offscreen:
//  - File > Decode of a generated 65,536-line and 1,000,000-line hex log,
//    and of 50 MB of blank lines, from the moment the file is chosen to all
//    lines shown in the views, with the peak resident memory of the run;
//  - 20,000 live packages a second through the decoder into the views,
//    with how late the event loop gets to a timer meanwhile.
// Each run is a child process of its own, so that one run's memory does not
// hide in the next one's peak. The figures printed are medians of the runs.
#include <sys/resource.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "GeneratedLog.h"
#include "LogView.h"
#include "SettingsStore.h"
#include "UserDialogs.h"
#include "ZelvarMain.h"
#include "ProcessUsage.h"

namespace {

using zelvar::bench::Median;
using zelvar::bench::RunChild;
using zelvar::bench::PeakRssKb;

constexpr int kRuns = 5;

class AnswerDialogs : public zelvar::UserDialogs {
public:
    QString path;
    QElapsedTimer* openedAt = nullptr;
    QString openLogFile(QWidget*) override {
        openedAt->start();
        return path;
    }
    QString saveLogsAs(QWidget*, const QString&) override { return {}; }
    void showError(QWidget*, const QString& text) override {
        std::fprintf(stderr, "error: %s\n", qPrintable(text));
    }
};

zelvar::LogView* textLog(const TMainForm& form) {
    return form.findChild<zelvar::LogView*>(QStringLiteral("Memo1"));
}

zelvar::LogView* hexLog(const TMainForm& form) {
    return form.findChild<zelvar::LogView*>(QStringLiteral("Memo2"));
}

// A main window started in a scratch folder with a scratch settings file.
struct Window {
    QTemporaryDir dir;
    AnswerDialogs dialogs;
    zelvar::Settings settings;
    TMainForm form{settings};
    Window() {
        QDir::setCurrent(dir.path());
        QFile ini(dir.filePath(QStringLiteral("Zelvar.ini")));
        if (ini.open(QIODevice::WriteOnly)) ini.write("[General]\nEditor=0\nIDFilter=0\n");
        ini.close();
        form.setSettingsStore(std::make_unique<zelvar::SettingsStore>(ini.fileName()));
        form.setDialogs(&dialogs);
        form.show();
        QCoreApplication::processEvents();
    }
};


int childDecode(const QString& logPath) {
    Window window;
    QElapsedTimer openedAt;
    window.dialogs.path = logPath;
    window.dialogs.openedAt = &openedAt;
    window.form.mnuDecodeClick();
    window.form.flushLogViews();
    // Lay out and draw what the user sees of the full views.
    textLog(window.form)->repaint();
    hexLog(window.form)->repaint();
    QCoreApplication::processEvents();
    const qint64 ms = openedAt.elapsed();
    const auto lines = static_cast<int>(hexLog(window.form)->lineCount());
    std::printf("%lld %ld %d\n", static_cast<long long>(ms), PeakRssKb(), lines);
    return 0;
}

int childLive(int seconds) {
    Window window;
    TMainForm& form = window.form;
    form.findChild<QAction*>(QStringLiteral("mnuStartUDP"))
        ->setChecked(true);  // a header, as in a session; no sockets
    zelvar::PackageDecoder& decoder = form.decoder();
    decoder.ResetPortState();
    decoder.ReceiveBuffer.fill(0);
    decoder.ReceiveBuffer[4] = 0x03;
    decoder.ReceiveBuffer[15] = 0x64;
    decoder.ReceiveBuffer[18] = 0xF4;
    decoder.ReceiveBuffer[28] = 0x11;

    constexpr int kRate = 20000;
    const qint64 total = qint64{kRate} * seconds;
    qint64 sent = 0;
    const double cpuBefore = zelvar::bench::CpuMs();
    QElapsedTimer clock;
    clock.start();
    // The network hands packages over one per event; a 1 ms timer that
    // catches up with the rate comes close to that.
    QTimer source;
    source.setTimerType(Qt::PreciseTimer);
    QObject::connect(&source, &QTimer::timeout, [&] {
        const long due = std::min(total, clock.elapsed() * kRate / 1000);
        for (; sent < due; ++sent) {
            decoder.DecodePackage(30, "1145A3B28", zelvar::DecodeMode::Live, 1);
        }
    });
    source.start(1);

    // A probe timer due every 10 ms: how late it fires is how long a key
    // press or a repaint would wait.
    std::vector<qint64> lateness;
    QElapsedTimer probeClock;
    probeClock.start();
    qint64 nextDue = 10;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = probeClock.elapsed();
        lateness.push_back(std::max<qint64>(0, now - nextDue));
        nextDue = now + 10;
    });
    probe.start(10);

    while (sent < total) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const qint64 wall = clock.elapsed();
    source.stop();
    probe.stop();
    form.flushLogViews();
    std::sort(lateness.begin(), lateness.end());
    const qint64 p99 = lateness.empty() ? 0 : lateness[lateness.size() * 99 / 100];
    const qint64 worst = lateness.empty() ? 0 : lateness.back();
    const auto lines = static_cast<int>(textLog(form)->lineCount());
    const double cpuShare = (zelvar::bench::CpuMs() - cpuBefore) / static_cast<double>(std::max<qint64>(wall, 1));
    std::printf("%lld %lld %lld %ld %d %.3f\n", static_cast<long long>(wall),
                static_cast<long long>(p99), static_cast<long long>(worst), PeakRssKb(), lines,
                cpuShare);
    return 0;
}

void benchDecode(const QString& path, int lines) {
    std::vector<double> ms, rss;
    double shown = 0;
    for (int run = 0; run < kRuns; ++run) {
        const auto v = RunChild({QStringLiteral("--decode"), path});
        if (v.size() < 3) return;
        ms.push_back(v[0]);
        rss.push_back(v[1]);
        shown = v[2];
    }
    std::printf(
        "decode %7d lines: median %7.0f ms open-to-shown (min %.0f, max %.0f), "
        "peak RSS %6.0f MB, %0.f hex lines shown\n",
        lines, Median(ms), *std::min_element(ms.begin(), ms.end()),
        *std::max_element(ms.begin(), ms.end()), Median(rss) / 1024, shown);
}

void benchLive(int seconds) {
    std::vector<double> wall, p99, worst, rss, cpu;
    double lines = 0;
    for (int run = 0; run < kRuns; ++run) {
        const auto v = RunChild({QStringLiteral("--live"), QString::number(seconds)});
        if (v.size() < 6) return;
        wall.push_back(v[0]);
        p99.push_back(v[1]);
        worst.push_back(v[2]);
        rss.push_back(v[3]);
        lines = v[4];
        cpu.push_back(v[5]);
    }
    std::printf(
        "live 20,000 packages/s for %d s: median %0.f ms to take them all, timer "
        "lateness p99 %0.f ms, worst %0.f ms, CPU %0.f %% of one core, peak RSS %0.f MB, "
        "%0.f text lines\n",
        seconds, Median(wall), Median(p99), Median(worst), Median(cpu) * 100, Median(rss) / 1024,
        lines);
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() >= 3 && args[1] == QStringLiteral("--decode")) return childDecode(args[2]);
    if (args.size() >= 3 && args[1] == QStringLiteral("--live")) return childLive(args[2].toInt());

    QTemporaryDir logs;
    for (int lines : {65536, 1000000}) {
        const QString path = logs.filePath(QStringLiteral("log-%1.hex").arg(lines));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) return 1;
        const std::string text = zelvar::bench::GenerateHexLog(static_cast<std::size_t>(lines));
        file.write(text.data(), static_cast<qint64>(text.size()));
        file.close();
        benchDecode(path, lines);
    }
    {
        // 50 MB of blank lines: memory for the input alone, no output.
        const QString path = logs.filePath(QStringLiteral("blank.hex"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) return 1;
        const QByteArray block = QByteArray("\r\n").repeated(1 << 19);
        for (int i = 0; i < 50; ++i) file.write(block);
        file.close();
        std::printf("blank lines, 50 MB:\n");
        benchDecode(path, 50 << 19);
    }
    benchLive(3);
    return 0;
}
