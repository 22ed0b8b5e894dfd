// The main window's busy paths, offscreen or under whatever display is set
// (bench/run-live-intake.sh runs any benchmark under Xvfb and openbox with
// BENCH=build/bench/bench_main_decode); --editor runs everything with the
// editor shown, the views editable:
//  - File > Decode of a generated 65,536-line and 1,000,000-line hex log,
//    and of 50 MB of blank lines, from the moment the file is chosen to all
//    lines shown in the views, with the peak resident memory of the run; for
//    the million lines also the longest gap of a 10 ms timer meanwhile, and
//    the time from Esc during the decoding to "Esc" drawn in the text log;
//  - a view of a million lines: 100 PageDowns and a jump to its middle,
//    Ctrl+A with Ctrl+C, a keystroke typed into its middle;
//  - 20,000 live packages a second through the decoder into the views,
//    with how late the event loop gets to a timer meanwhile, into empty
//    views and into views holding 65,535 lines each.
//  - --again: a second File > Decode of the million lines after Clear, and
//    after Ctrl+A, Ctrl+C in the hex view and Clear, with its peak resident
//    memory (the first decode's memory included where it is kept).
// Each run is a child process of its own, so that one run's memory does not
// hide in the next one's peak. The figures printed are medians of the runs.
#include <sys/resource.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QProcess>
#include <QScrollBar>
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
#include "ZelvarEditor.h"
#include "ZelvarMain.h"
#include "ProcessUsage.h"

namespace {

using zelvar::bench::Median;
using zelvar::bench::RunChild;
using zelvar::bench::PeakRssKb;

constexpr int kRuns = 5;
constexpr int kPrefillLines = 65535;

// Every run with the editor shown (its views editable) or hidden.
bool gEditorShown = false;

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
    TEditorForm editor{settings, form.model().busyRuns()};
    Window() {
        QDir::setCurrent(dir.path());
        QFile ini(dir.filePath(QStringLiteral("Zelvar.ini")));
        if (ini.open(QIODevice::WriteOnly)) {
            ini.write(gEditorShown ? "[General]\nEditor=1\nIDFilter=0\n"
                                   : "[General]\nEditor=0\nIDFilter=0\n");
        }
        ini.close();
        form.attachWindows(&editor, nullptr);
        form.setSettingsStore(std::make_unique<zelvar::SettingsStore>(ini.fileName()));
        form.setDialogs(&dialogs);
        form.show();
        QCoreApplication::processEvents();
    }
};

void sendKey(QWidget* to, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
             const QString& text = {}) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(to, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(to, &release);
}

// The longest wait between two ticks of a 10 ms timer, up to the last look.
class GapProbe {
public:
    GapProbe() {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
        clock_.start();
        timer_.start(10);
    }
    qint64 longest() {
        tick();
        return longest_;
    }

private:
    void tick() {
        const qint64 now = clock_.elapsed();
        longest_ = std::max(longest_, now - last_);
        last_ = now;
    }
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 longest_ = 0;
};


int childDecode(const QString& logPath) {
    Window window;
    QElapsedTimer openedAt;
    window.dialogs.path = logPath;
    window.dialogs.openedAt = &openedAt;
    GapProbe gaps;
    window.form.mnuDecodeClick();
    window.form.flushLogViews();
    // Lay out and draw what the user sees of the full views.
    textLog(window.form)->repaint();
    hexLog(window.form)->repaint();
    QCoreApplication::processEvents();
    const qint64 ms = openedAt.elapsed();
    const auto lines = static_cast<int>(hexLog(window.form)->lineCount());
    std::printf("%lld %ld %d %lld\n", static_cast<long long>(ms), PeakRssKb(), lines,
                static_cast<long long>(gaps.longest()));
    return 0;
}

// File > Decode of the log, timed from the file chosen.
void decode(Window& window, const QString& logPath, QElapsedTimer& openedAt) {
    window.dialogs.path = logPath;
    window.dialogs.openedAt = &openedAt;
    window.form.mnuDecodeClick();
    window.form.flushLogViews();
}

// Decodes the log, copies the hex view if asked, clears, and decodes it
// again: the second run's time and peak.
int childDecodeAgain(const QString& logPath, bool copyFirst) {
    Window window;
    QElapsedTimer openedAt;
    decode(window, logPath, openedAt);
    if (copyFirst) {
        sendKey(hexLog(window.form), Qt::Key_A, Qt::ControlModifier);
        sendKey(hexLog(window.form), Qt::Key_C, Qt::ControlModifier);
    }
    window.form.mnuClearClick();
    QCoreApplication::processEvents();
    zelvar::bench::ResetPeakRss();
    decode(window, logPath, openedAt);
    hexLog(window.form)->repaint();
    QCoreApplication::processEvents();
    std::printf("%lld %ld\n", static_cast<long long>(openedAt.elapsed()), PeakRssKb());
    return 0;
}

// Notes when a log view is first drawn with "Esc" as its last line.
class EscPaint : public QObject {
public:
    explicit EscPaint(zelvar::LogView* view) : view_(view) {
        view->viewport()->installEventFilter(this);
    }
    QElapsedTimer drawn;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !drawn.isValid() && !view_->isEmpty() &&
            view_->lineText(view_->lineCount() - 1) == QStringLiteral("Esc")) {
            drawn.start();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    zelvar::LogView* view_;
};

// Esc pressed a while into the decoding, as a key event waiting for the
// window like a user's: how long until the text log draws "Esc".
int childEsc(const QString& logPath) {
    Window window;
    QElapsedTimer openedAt;
    QElapsedTimer sinceEsc;
    window.dialogs.path = logPath;
    window.dialogs.openedAt = &openedAt;
    QTimer press;
    QObject::connect(&press, &QTimer::timeout, [&] {
        if (sinceEsc.isValid() || window.form.statusText(3) != QStringLiteral(" Decode...") ||
            openedAt.elapsed() < 300) {
            return;
        }
        sinceEsc.start();
        QCoreApplication::postEvent(textLog(window.form),
                                    new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    });
    press.start(5);
    zelvar::LogView* text = textLog(window.form);
    EscPaint paint(text);
    window.form.mnuDecodeClick();
    text->repaint();
    const qint64 ms = !sinceEsc.isValid() || !paint.drawn.isValid()
                          ? -1
                          : sinceEsc.elapsed() - paint.drawn.elapsed();
    const bool stopped = text->lineText(text->lineCount() - 1) == QStringLiteral("Esc");
    std::printf("%lld %d\n", static_cast<long long>(ms), stopped ? 1 : 0);
    return 0;
}

// A view of a million lines, used by keys as a user would.
int childViews(const QString& logPath) {
    Window window;
    QElapsedTimer openedAt;
    decode(window, logPath, openedAt);
    zelvar::LogView* view = hexLog(window.form);
    view->repaint();
    QElapsedTimer clock;

    clock.start();
    sendKey(view, Qt::Key_Home, Qt::ControlModifier);
    view->repaint();
    for (int i = 0; i < 100; ++i) {
        sendKey(view, Qt::Key_PageDown);
        view->repaint();
    }
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum() / 2);
    view->repaint();
    const qint64 scrollMs = clock.elapsed();

    clock.start();
    sendKey(view, Qt::Key_A, Qt::ControlModifier);
    sendKey(view, Qt::Key_C, Qt::ControlModifier);
    view->repaint();
    const qint64 copyMs = clock.elapsed();

    // Typed into the middle of the log, each keystroke drawn.
    if (!gEditorShown) window.form.setLogViewsEditing(true);
    view->setCursorPosition({view->lineCount() / 2, 3});
    std::vector<double> keys;
    for (int i = 0; i < 9; ++i) {
        clock.start();
        sendKey(view, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
        view->repaint();
        keys.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    }
    std::printf("%lld %lld %.2f %zu\n", static_cast<long long>(scrollMs),
                static_cast<long long>(copyMs), Median(keys), view->lineCount());
    return 0;
}

int childLive(int seconds, bool prefill) {
    Window window;
    TMainForm& form = window.form;
    if (prefill) {
        zelvar::LineList text;
        zelvar::LineList hex;
        for (int i = 0; i < kPrefillLines; ++i) {
            text.append("2026-12-09 12:00:00  earlier text line of the day " + std::to_string(i));
            hex.append("1$F4BEE070\t00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F " +
                       std::to_string(i));
        }
        textLog(form)->appendLines(text.joined());
        hexLog(form)->appendLines(hex.joined());
    }
    const std::size_t before = textLog(form)->lineCount();
    form.findChild<QAction*>(QStringLiteral("mnuStartUDP"))
        ->setChecked(true);  // a header, as in a session; no sockets
    zelvar::PackageDecoder& decoder = form.model().sessionParts().decoder;
    decoder.ResetPortState();
    std::array<std::uint8_t, 30> call{};
    call[4] = 0x03;
    call[15] = 0x64;
    call[18] = 0xF4;
    call[28] = 0x11;

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
            decoder.DecodePackage(call, "1145A3B28", zelvar::DecodeMode::Live, 1);
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
    const auto lines = static_cast<int>(textLog(form)->lineCount() - before);
    const double cpuShare = (zelvar::bench::CpuMs() - cpuBefore) / static_cast<double>(std::max<qint64>(wall, 1));
    std::printf("%lld %lld %lld %ld %d %.3f\n", static_cast<long long>(wall),
                static_cast<long long>(p99), static_cast<long long>(worst), PeakRssKb(), lines,
                cpuShare);
    return 0;
}

QStringList childArgs(QStringList args) {
    if (gEditorShown) args << QStringLiteral("--editor");
    return args;
}

void benchDecode(const QString& path, int lines, bool detailed) {
    std::vector<double> ms, rss, gap;
    double shown = 0;
    for (int run = 0; run < kRuns; ++run) {
        const auto v = RunChild(childArgs({QStringLiteral("--decode"), path}));
        if (v.size() < 4) return;
        ms.push_back(v[0]);
        rss.push_back(v[1]);
        shown = v[2];
        gap.push_back(v[3]);
    }
    std::printf(
        "decode %7d lines: median %7.0f ms open-to-shown (min %.0f, max %.0f), "
        "peak RSS %6.0f MB, %0.f hex lines shown\n",
        lines, Median(ms), *std::min_element(ms.begin(), ms.end()),
        *std::max_element(ms.begin(), ms.end()), Median(rss) / 1024, shown);
    if (!detailed) return;
    std::vector<double> esc;
    bool stopped = true;
    for (int run = 0; run < kRuns; ++run) {
        const auto v = RunChild(childArgs({QStringLiteral("--esc"), path}));
        if (v.size() < 2) return;
        esc.push_back(v[0]);
        stopped = stopped && v[1] != 0;
    }
    std::printf(
        "decode %7d lines: longest gap of a 10 ms timer median %0.f ms (max %.0f), "
        "Esc to \"Esc\" shown median %0.f ms (max %.0f)%s\n",
        lines, Median(gap), *std::max_element(gap.begin(), gap.end()), Median(esc),
        *std::max_element(esc.begin(), esc.end()), stopped ? "" : ", NOT STOPPED");
}

void benchViews(const QString& path) {
    std::vector<double> scroll, copy, key;
    double lines = 0;
    for (int run = 0; run < kRuns; ++run) {
        const auto v = RunChild(childArgs({QStringLiteral("--views"), path}));
        if (v.size() < 4) return;
        scroll.push_back(v[0]);
        copy.push_back(v[1]);
        key.push_back(v[2]);
        lines = v[3];
    }
    std::printf(
        "view of %0.f lines: median %0.f ms for 100 PageDowns and a jump to the middle, "
        "%0.f ms for Ctrl+A, Ctrl+C, %.2f ms a keystroke in its middle\n",
        lines, Median(scroll), Median(copy), Median(key));
}

void benchLive(int seconds, bool prefill) {
    std::vector<double> wall, p99, worst, rss, cpu;
    double lines = 0;
    for (int run = 0; run < kRuns; ++run) {
        QStringList args{QStringLiteral("--live"), QString::number(seconds)};
        if (prefill) args << QStringLiteral("--prefill");
        const auto v = RunChild(childArgs(args));
        if (v.size() < 6) return;
        wall.push_back(v[0]);
        p99.push_back(v[1]);
        worst.push_back(v[2]);
        rss.push_back(v[3]);
        lines = v[4];
        cpu.push_back(v[5]);
    }
    std::printf(
        "live 20,000 packages/s for %d s%s: median %0.f ms to take them all, timer "
        "lateness p99 %0.f ms, worst %0.f ms, CPU %0.f %% of one core, peak RSS %0.f MB, "
        "%0.f text lines\n",
        seconds, prefill ? " into views of 65,535 lines" : "", Median(wall), Median(p99),
        Median(worst), Median(cpu) * 100, Median(rss) / 1024, lines);
}

bool writeLog(const QString& path, std::size_t lines) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    const std::string text = zelvar::bench::GenerateHexLog(lines);
    return file.write(text.data(), static_cast<qint64>(text.size())) ==
           static_cast<qint64>(text.size());
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    gEditorShown = args.contains(QStringLiteral("--editor"));
    if (args.size() >= 3 && args[1] == QStringLiteral("--decode")) return childDecode(args[2]);
    if (args.size() >= 3 && args[1] == QStringLiteral("--esc")) return childEsc(args[2]);
    if (args.size() >= 3 && args[1] == QStringLiteral("--decode-again")) {
        return childDecodeAgain(args[2], args.contains(QStringLiteral("--copy")));
    }
    if (args.size() >= 3 && args[1] == QStringLiteral("--views")) return childViews(args[2]);
    if (args.size() >= 3 && args[1] == QStringLiteral("--live")) {
        return childLive(args[2].toInt(), args.contains(QStringLiteral("--prefill")));
    }
    std::printf("editor %s\n", gEditorShown ? "shown" : "hidden");

    QTemporaryDir logs;
    if (args.contains(QStringLiteral("--again"))) {
        const QString path = logs.filePath(QStringLiteral("log.hex"));
        if (!writeLog(path, 1000000)) return 1;
        for (const bool copy : {false, true}) {
            std::vector<double> ms, rss;
            for (int run = 0; run < kRuns; ++run) {
                QStringList child{QStringLiteral("--decode-again"), path};
                if (copy) child << QStringLiteral("--copy");
                const auto v = RunChild(childArgs(child));
                if (v.size() < 2) return 1;
                ms.push_back(v[0]);
                rss.push_back(v[1]);
            }
            std::printf("decode again after %s: median %6.0f ms, peak RSS %6.0f MB (max %.0f)\n",
                        copy ? "Ctrl+A, Ctrl+C in the hex view and Clear" : "Clear", Median(ms),
                        Median(rss) / 1024, *std::max_element(rss.begin(), rss.end()) / 1024);
        }
        return 0;
    }
    for (int lines : {65536, 1000000}) {
        const QString path = logs.filePath(QStringLiteral("log-%1.hex").arg(lines));
        if (!writeLog(path, static_cast<std::size_t>(lines))) return 1;
        benchDecode(path, lines, lines == 1000000);
        if (lines == 1000000) benchViews(path);
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
        benchDecode(path, 50 << 19, false);
    }
    benchLive(3, false);
    benchLive(3, true);
    return 0;
}
