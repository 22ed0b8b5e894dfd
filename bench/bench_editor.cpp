// The editor's document paths, on whatever display Qt is given (offscreen by
// default, or a real X server):
//  - opening a generated hex log of 65,536 and of 1,000,000 lines, from the
//    moment the file is chosen to the first screen painted with the window
//    taking input, and to Ctrl+End showing the last line, with the peak
//    resident memory of the run;
//  - how the window answers after the first screen of the 1,000,000 lines:
//    a timer's worst lateness and a key typed at the top;
//  - opening a log of 200 MB, for its peak memory;
//  - saving an RTF document of 65,536 lines with a red or blue mark on every
//    tenth line, and opening it again, with the peak memory of each above
//    what the window held before it; --rtf-large: that alone, on 1,000,000
//    lines.
// Each run is a child process of its own; the figures printed are medians.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QKeyEvent>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "GeneratedLog.h"
#include "ProcessUsage.h"
#include "RichEditArea.h"
#include "Rtf.h"
#include "Settings.h"
#include "ZelvarEditor.h"

namespace {

RichEditArea* textArea(const TEditorForm& form) {
    return form.findChild<RichEditArea*>(QStringLiteral("RichEdit"));
}

using zelvar::bench::Median;
using zelvar::bench::RunChild;
using zelvar::bench::PeakRssKb;

// The machine these run on is often shared: few runs, medians of them.
constexpr int kRuns = 5;

struct Editor {
    zelvar::Settings settings;
    zelvar::BusyRuns runs;
    TEditorForm form{settings, runs};
    Editor() {
        form.show();
        QCoreApplication::processEvents();
    }
    // Opened, the first screen drawn and the events of the moment handled:
    // from here on the window answers the user.
    qint64 open(const QString& path) {
        QElapsedTimer clock;
        clock.start();
        const double cpuBefore = zelvar::bench::CpuMs();
        if (!form.openDocument(path)) return -1;
        textArea(form)->viewport()->repaint();
        QCoreApplication::processEvents();
        cpuMs = zelvar::bench::CpuMs() - cpuBefore;
        return clock.elapsed();
    }
    // Processor time of the last open: what the open costs on a machine
    // that others share.
    double cpuMs = 0;
};

int childOpen(const QString& path) {
    Editor editor;
    const qint64 ms = editor.open(path);
    // Fully loaded: Ctrl+End shows the last line, nothing is left to lay out.
    QElapsedTimer clock;
    clock.start();
    textArea(editor.form)->moveToEnd();
    textArea(editor.form)->viewport()->repaint();
    QCoreApplication::processEvents();
    const qint64 loadedMs = ms + clock.elapsed();
    std::printf("%lld %ld %d %.0f %lld\n", static_cast<long long>(ms), PeakRssKb(),
                static_cast<int>(textArea(editor.form)->content().lineCount()), editor.cpuMs,
                static_cast<long long>(loadedMs));
    return 0;
}

// After the first screen: the largest lateness of a 10 ms timer while the
// rest is laid out (watched for `seconds`), and how long a key typed at the
// top, one second after the first screen, takes to be answered.
int childRespond(const QString& path, int seconds) {
    Editor editor;
    if (editor.open(path) < 0) return 1;
    RichEditArea* area = textArea(editor.form);
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    qint64 worst = 0;
    qint64 keyMs = -1;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        worst = std::max(worst, now - last - 10);
        last = now;
        if (keyMs < 0 && now >= 1000) {
            QElapsedTimer key;
            key.start();
            QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("X"));
            QCoreApplication::sendEvent(area, &press);
            area->viewport()->repaint();
            keyMs = key.elapsed();
            last = clock.elapsed();
        }
        if (now >= seconds * 1000) QCoreApplication::quit();
    });
    tick.start(10);
    QCoreApplication::exec();
    std::printf("%lld %lld\n", static_cast<long long>(worst), static_cast<long long>(keyMs));
    return 0;
}

// The peak resident memory since `before` (VmRSS then), in MB.
long peakAboveMb(long before) {
    return (PeakRssKb() - before) / 1024;
}

int childRtf(const QString& path) {
    Editor editor;
    if (editor.open(path) < 0) return 1;
    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = zelvar::bench::CpuMs();
    long before = zelvar::bench::StatusKb("VmRSS:");
    zelvar::bench::ResetPeakRss();
    editor.form.mnuSaveClick();
    const qint64 saveMs = clock.elapsed();
    const double saveCpu = zelvar::bench::CpuMs() - cpuBefore;
    const long savePeak = peakAboveMb(before);
    before = zelvar::bench::StatusKb("VmRSS:");
    zelvar::bench::ResetPeakRss();
    const qint64 openMs = editor.open(path);
    std::printf("%lld %lld %d %.0f %.0f %ld %ld\n", static_cast<long long>(saveMs),
                static_cast<long long>(openMs), static_cast<int>(textArea(editor.form)->content().lineCount()),
                saveCpu, editor.cpuMs, savePeak, peakAboveMb(before));
    return 0;
}

void writeFile(const QString& path, const std::string& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

void benchOpen(const QString& path, int lines) {
    std::vector<double> ms, rss, cpu, loaded;
    double blocks = 0;
    for (int run = 0; run < kRuns; ++run) {
        const auto v = RunChild({QStringLiteral("--open"), path});
        if (v.size() < 5) return;
        ms.push_back(v[0]);
        rss.push_back(v[1]);
        blocks = v[2];
        cpu.push_back(v[3]);
        loaded.push_back(v[4]);
    }
    std::printf(
        "open hex log %7d lines: median %6.0f ms to first screen (min %.0f, max %.0f), "
        "%.0f ms processor time, %6.0f ms fully loaded, peak RSS %5.0f MB, %.0f lines\n",
        lines, Median(ms), *std::min_element(ms.begin(), ms.end()),
        *std::max_element(ms.begin(), ms.end()), Median(cpu), Median(loaded),
        Median(rss) / 1024, blocks);
}

// Saving the open document as RTF and opening it again; the peaks are above
// what the window held just before each.
void benchRtf(const QString& path, int lines) {
    std::vector<double> save, open, saveCpu, openCpu, savePeak, openPeak;
    for (int run = 0; run < kRuns; ++run) {
        const auto v = RunChild({QStringLiteral("--rtf"), path});
        if (v.size() < 7) return;
        save.push_back(v[0]);
        open.push_back(v[1]);
        saveCpu.push_back(v[3]);
        openCpu.push_back(v[4]);
        savePeak.push_back(v[5]);
        openPeak.push_back(v[6]);
    }
    std::printf(
        "rtf %d lines, mark every tenth: median save %5.0f ms (max %.0f, %.0f ms "
        "processor, peak above %.0f MB), median open %5.0f ms (max %.0f, %.0f ms processor, "
        "peak above %.0f MB)\n",
        lines, Median(save), *std::max_element(save.begin(), save.end()), Median(saveCpu),
        Median(savePeak), Median(open), *std::max_element(open.begin(), open.end()),
        Median(openCpu), Median(openPeak));
}

void benchRespond(const QString& path, int lines) {
    std::vector<double> late, key;
    for (int run = 0; run < kRuns; ++run) {
        const auto v = RunChild({QStringLiteral("--respond"), path, QStringLiteral("10")});
        if (v.size() < 2) return;
        late.push_back(v[0]);
        key.push_back(v[1]);
    }
    std::printf(
        "after the first screen of %d lines, 10 s: median worst timer lateness %5.0f ms (max "
        "%.0f), a key at the top 1 s in answered in median %5.0f ms (max %.0f)\n",
        lines, Median(late), *std::max_element(late.begin(), late.end()), Median(key),
        *std::max_element(key.begin(), key.end()));
}

// A hex log as a document with a red or blue, sometimes
// bold, mark on every tenth line.
std::string markedRtf(const std::string& log) {
    zelvar::RichText document;
    std::size_t begin = 0;
    for (int line = 0; begin < log.size(); ++line) {
        std::size_t end = log.find('\n', begin);
        if (end == std::string::npos) end = log.size();
        std::string_view text(log.data() + begin, end - begin);
        if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
        const std::u16string units(text.begin(), text.end());
        zelvar::Marks marks;
        if (line % 10 == 0)
            marks = {line % 20 == 0 ? zelvar::MarkColor::Red : zelvar::MarkColor::Blue,
                     line % 30 == 0};
        document.append(units, marks);
        document.append(u'\n', {});
        begin = end + 1;
    }
    return zelvar::WriteRtf(document);
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 3 && args[1] == QStringLiteral("--open")) return childOpen(args[2]);
    if (args.size() == 3 && args[1] == QStringLiteral("--rtf")) return childRtf(args[2]);
    if (args.size() == 4 && args[1] == QStringLiteral("--respond"))
        return childRespond(args[2], args[3].toInt());

    QTemporaryDir dir;
    if (args.contains(QStringLiteral("--rtf-large"))) {
        // The RTF of a day's log alone: 1,000,000 lines.
        const QString largeRtf = dir.filePath(QStringLiteral("large.rtf"));
        writeFile(largeRtf, markedRtf(zelvar::bench::GenerateHexLog(1000000)));
        std::printf("platform %s, %d runs each\n", qPrintable(QGuiApplication::platformName()),
                    kRuns);
        benchRtf(largeRtf, 1000000);
        return 0;
    }
    const QString small = dir.filePath(QStringLiteral("small.hex"));
    const QString large = dir.filePath(QStringLiteral("large.hex"));
    const QString rtf = dir.filePath(QStringLiteral("marked.rtf"));
    const std::string smallLog = zelvar::bench::GenerateHexLog(65536);
    writeFile(small, smallLog);
    writeFile(rtf, markedRtf(smallLog));
    writeFile(large, zelvar::bench::GenerateHexLog(1000000));
    // A log of 200 MB, for the peak memory of opening it.
    const QString huge = dir.filePath(QStringLiteral("huge.hex"));
    const std::size_t hugeLines = 200'000'000 / (smallLog.size() / 65536);
    writeFile(huge, zelvar::bench::GenerateHexLog(hugeLines));
    std::printf("platform %s, %d runs each\n", qPrintable(QGuiApplication::platformName()), kRuns);
    benchOpen(small, 65536);
    benchRtf(rtf, 65536);
    benchOpen(large, 1000000);
    benchRespond(large, 1000000);
    benchOpen(huge, static_cast<int>(hugeLines));
    return 0;
}
