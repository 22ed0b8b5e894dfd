// The live path under load: the main window and its monitoring session,
// offscreen, take what zelvar-sim's four transceivers on 127.0.0.1..4 send
// (20,000 datagrams a second for 10 seconds by default). Per run it prints
// what was sent, what the window counted and saved, whether every sent
// package is in the saved hex logs, the datagrams the kernel dropped at the
// window's sockets, and how the window kept drawing meanwhile: the longest
// gap between two paints of the text view and between two firings of a
// 10 ms timer. Each run is a fresh child process with a fresh window; the
// figures at the end are medians over the runs.
//
//   bench_live_intake [--runs N] [--rate R] [--duration S] [--no-rollover]
//                     [--seed N] [--sim PATH]
//
// Defaults: 5 runs, 20,000 datagrams/s, 10 s, the program's default settings
// (auto-save with a new file every 65,535 packages, hex log on).
//
// Must run inside ./scripts/in-netns.sh: it opens sockets.
#include <sys/resource.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QUdpSocket>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "MonitoringSession.h"
#include "SettingsStore.h"
#include "UserDialogs.h"
#include "ZelvarEditor.h"
#include "ZelvarMain.h"
#include "ZelvarOptions.h"
#include "LoopbackPort.h"
#include "ProcessUsage.h"

namespace {

constexpr int kRedrawTargetMs = 100;
constexpr qint64 kSettledMs = 500;  // no new package for this long: the backlog is read

struct Options {
    int runs = 5;
    int rate = 20000;
    int duration = 10;
    bool rollover = true;  // "New File Every 65 535 Packages", on by default
    int seed = 1;
    QString sim = QStringLiteral(ZELVAR_SIM_BIN);
};

Options parseOptions(const QStringList& args) {
    Options o;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        const QString value = i + 1 < args.size() ? args[i + 1] : QString();
        if (a == QStringLiteral("--runs")) {
            o.runs = std::max(1, value.toInt());
            ++i;
        } else if (a == QStringLiteral("--rate")) {
            o.rate = std::max(1, value.toInt());
            ++i;
        } else if (a == QStringLiteral("--duration")) {
            o.duration = std::max(1, value.toInt());
            ++i;
        } else if (a == QStringLiteral("--seed")) {
            o.seed = value.toInt();
            ++i;
        } else if (a == QStringLiteral("--sim")) {
            o.sim = value;
            ++i;
        } else if (a == QStringLiteral("--no-rollover")) {
            o.rollover = false;
        }
    }
    return o;
}

QStringList childArguments(const Options& o) {
    QStringList args{
        QStringLiteral("--child"),    QStringLiteral("--rate"),    QString::number(o.rate),
        QStringLiteral("--duration"), QString::number(o.duration), QStringLiteral("--seed"),
        QString::number(o.seed),      QStringLiteral("--sim"),     o.sim};
    if (!o.rollover) args << QStringLiteral("--no-rollover");
    return args;
}

class QuietDialogs : public zelvar::UserDialogs {
public:
    QString openLogFile(QWidget*) override { return {}; }
    QString saveLogsAs(QWidget*, const QString&) override { return {}; }
    void showError(QWidget*, const QString& text) override {
        std::fprintf(stderr, "error: %s\n", qPrintable(text));
    }
};

// Times of the paint events of one widget.
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


// Datagrams the kernel dropped at the UDP sockets bound to these local
// ports (the last column of /proc/net/udp), summed.
long long kernelDrops(const std::vector<quint16>& ports) {
    QFile table(QStringLiteral("/proc/net/udp"));
    if (!table.open(QIODevice::ReadOnly)) return -1;
    long long drops = 0;
    for (const QByteArray& raw : table.readAll().split('\n')) {
        const QList<QByteArray> f = raw.simplified().split(' ');
        if (f.size() < 13 || !f[1].contains(':')) continue;
        bool ok = false;
        const auto port = static_cast<quint16>(f[1].split(':').last().toUInt(&ok, 16));
        if (ok && std::find(ports.begin(), ports.end(), port) != ports.end()) {
            drops += f.last().toLongLong();
        }
    }
    return drops;
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::vector<QByteArray> crlfLines(const QByteArray& bytes) {
    std::vector<QByteArray> lines;
    qsizetype from = 0;
    while (from < bytes.size()) {
        qsizetype end = bytes.indexOf("\r\n", from);
        if (end < 0) end = bytes.size();
        lines.push_back(bytes.mid(from, end - from));
        from = end + 2;
    }
    return lines;
}

// The longest stretch of [from, to] without one of the times.
qint64 longestGapNs(const std::vector<qint64>& times, qint64 from, qint64 to) {
    qint64 last = from;
    qint64 gap = 0;
    for (qint64 t : times) {
        if (t < from) continue;
        if (t > to) break;
        gap = std::max(gap, t - last);
        last = t;
    }
    return std::max(gap, to - last);
}

long stretchesOver(const std::vector<qint64>& times, qint64 from, qint64 to, qint64 limitNs) {
    qint64 last = from;
    long count = 0;
    for (qint64 t : times) {
        if (t < from) continue;
        if (t > to) break;
        if (t - last > limitNs) ++count;
        last = t;
    }
    return count + (to - last > limitNs ? 1 : 0);
}


// Runs the event loop as the program's own would, sleeping while nothing
// happens (a wake-up timer stands in for the condition's own events).
bool waitFor(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    QTimer wake;
    wake.start(5);
    while (!done()) {
        if (t.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

int fail(const char* what) {
    std::fprintf(stderr, "bench_live_intake: %s\n", what);
    return 1;
}

// One run: prints "key=value ..." on stdout for the parent.
int child(const Options& o) {
    QTemporaryDir dir;
    if (!dir.isValid()) return fail("no scratch folder");
    QDir::setCurrent(dir.path());
    const quint16 port = zelvar::test::FreeLoopbackPort();
    if (port == 0) return fail("no free UDP port on 127.0.0.1..4");
    {
        // The window must never talk to its default 192.168.x.x transceivers.
        QFile ini(dir.filePath(QStringLiteral("Zelvar.ini")));
        if (!ini.open(QIODevice::WriteOnly)) return fail("cannot write the settings");
        QByteArray text = "[General]\nEditor=0\nAutoSave=1\nHexLog=1\nTimeOut=60\n";
        text += o.rollover ? "65535=1\n" : "65535=0\n";
        for (int n = 1; n <= 4; ++n) {
            text += QStringLiteral("IP%1=127.0.0.%1\nPort%1=%2\n").arg(n).arg(port).toLatin1();
        }
        ini.write(text);
    }

    QuietDialogs dialogs;
    TMainForm form;
    TEditorForm editor(form.settings());
    TOptionsForm options(form.settings());
    form.attachWindows(&editor, &options);
    form.setSettingsStore(
        std::make_unique<zelvar::SettingsStore>(dir.filePath(QStringLiteral("Zelvar.ini"))));
    form.setDialogs(&dialogs);
    zelvar::MonitoringSession session(form);
    form.setMonitoringControl(&session);
    form.show();
    QCoreApplication::processEvents();
    for (int n = 1; n <= 4; ++n) {
        const std::string& ip = form.settings().IP[static_cast<std::size_t>(n - 1)];
        if (ip != "127.0.0." + std::to_string(n)) return fail("transceiver address not loopback");
    }

    const QString ready = dir.filePath(QStringLiteral("sim.ready"));
    const QString sentLog = dir.filePath(QStringLiteral("sent.hex"));
    QProcess sim;
    sim.setProcessChannelMode(QProcess::SeparateChannels);
    sim.start(o.sim,
              {QStringLiteral("--generate"), QStringLiteral("--seed"), QString::number(o.seed),
               QStringLiteral("--rate"), QString::number(o.rate), QStringLiteral("--duration"),
               QString::number(o.duration), QStringLiteral("--exit-when-done"),
               QStringLiteral("--port"), QString::number(port), QStringLiteral("--ready-file"),
               ready, QStringLiteral("--sent-log"), sentLog});
    if (!sim.waitForStarted()) return fail("zelvar-sim did not start");
    if (!waitFor([&] { return QFile::exists(ready); }, 5000)) return fail("zelvar-sim not ready");

    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> paints;
    std::vector<qint64> ticks;
    paints.reserve(100000);
    ticks.reserve(100000);
    PaintClock paintClock(clock, paints);
    form.Memo1->viewport()->installEventFilter(&paintClock);

    // Packages decoded so far; HexCount starts again at each rollover.
    zelvar::PackageDecoder& decoder = form.decoder();
    std::int64_t decoded = 0;
    std::int64_t lastHexCount = 0;
    qint64 lastChangeNs = 0;
    const auto account = [&] {
        const std::int64_t now = decoder.HexCount;
        if (now != lastHexCount) {
            decoded += now > lastHexCount ? now - lastHexCount : now + 65536 - lastHexCount;
            lastHexCount = now;
            lastChangeNs = clock.nsecsElapsed();
        }
    };
    // Where the stalls and the drops fall: the timer intervals in which a
    // rollover wrote its files, against all the others.
    std::vector<quint16> localPorts;
    qint64 rolloverGapNs = 0;
    qint64 otherGapNs = 0;
    long long dropsAtRollover = 0;
    long long dropsSampled = 0;
    bool rolloverSinceSample = false;
    int ticksSinceSample = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        const qint64 gap = ticks.empty() ? 0 : now - ticks.back();
        ticks.push_back(now);
        const bool rolledOver = decoder.HexCount < lastHexCount;
        account();
        qint64& longest = rolledOver ? rolloverGapNs : otherGapNs;
        longest = std::max(longest, gap);
        rolloverSinceSample = rolloverSinceSample || rolledOver;
        // /proc/net/udp about every 100 ms: often enough to tell which
        // stretch lost the datagrams, rarely enough to cost next to nothing.
        if (!localPorts.empty() && ++ticksSinceSample >= 10) {
            const long long drops = kernelDrops(localPorts);
            if (rolloverSinceSample) dropsAtRollover += drops - dropsSampled;
            dropsSampled = drops;
            ticksSinceSample = 0;
            rolloverSinceSample = false;
        }
    });
    probe.start(10);

    const double cpuBefore = zelvar::bench::CpuMs();
    const qint64 startNs = clock.nsecsElapsed();
    form.mnuStartUDP->trigger();
    if (!form.Monitoring) return fail("monitoring did not start");
    const qint64 endNs = startNs + qint64{o.duration} * 1000000000;
    for (int n = 1; n <= 4; ++n) localPorts.push_back(session.sockets().localPort(n));

    // Traffic, then the backlog left in the sockets.
    const bool settled = waitFor(
        [&] {
            return sim.state() == QProcess::NotRunning && clock.nsecsElapsed() > endNs &&
                   clock.nsecsElapsed() - lastChangeNs > kSettledMs * 1000000;
        },
        (o.duration + 60) * 1000);
    probe.stop();
    account();
    const double cpuShare =
        (zelvar::bench::CpuMs() - cpuBefore) / (static_cast<double>(clock.nsecsElapsed() - startNs) / 1e6);
    const long long drops = kernelDrops(localPorts);
    form.Memo1->viewport()->removeEventFilter(&paintClock);
    if (!settled) std::fprintf(stderr, "bench_live_intake: the backlog never settled\n");

    long long sent = -1;
    for (const QByteArray& line : sim.readAllStandardOutput().split('\n')) {
        if (line.startsWith("sent ")) sent = line.mid(5).toLongLong();
    }

    // The rollover files as they are now: the final save may land on the
    // name of one written in the same second.
    const QDir files(form.FilesDir);
    std::map<QString, QByteArray> rollovers;
    for (const QString& name : files.entryList({QStringLiteral("*.hex")}, QDir::Files)) {
        rollovers[name] = readFile(files.filePath(name));
    }
    // Each rollover wrote 65,536 packages and started HexCount again.
    const std::int64_t hexCount =
        static_cast<std::int64_t>(rollovers.size()) * 65536 + decoder.HexCount;
    form.mnuStartUDP->trigger();  // stop: the goodbye, then the last lines
    form.mnuClearClick();         // auto-saves, the packages began with 00

    std::vector<QByteArray> saved;
    const auto take = [&saved](const QByteArray& bytes) {
        for (QByteArray& line : crlfLines(bytes)) {
            const qsizetype tab = line.indexOf('\t');
            saved.push_back(tab >= 0 ? line.mid(tab + 1) : line);
        }
    };
    // Every file written counts, also a rollover file replaced meanwhile.
    long long overwrittenLines = 0;
    for (const QString& name : files.entryList({QStringLiteral("*.hex")}, QDir::Files)) {
        const QByteArray now = readFile(files.filePath(name));
        const auto earlier = rollovers.find(name);
        if (earlier == rollovers.end()) {
            take(now);
        } else if (earlier->second != now) {
            overwrittenLines += static_cast<long long>(crlfLines(earlier->second).size());
            take(now);
        }
    }
    for (const auto& [name, bytes] : rollovers) take(bytes);

    std::vector<QByteArray> sentLines = crlfLines(readFile(sentLog));
    const auto savedLines = static_cast<long long>(saved.size());
    std::sort(saved.begin(), saved.end());
    std::sort(sentLines.begin(), sentLines.end());
    std::vector<QByteArray> missing;
    std::set_difference(sentLines.begin(), sentLines.end(), saved.begin(), saved.end(),
                        std::back_inserter(missing));

    const qint64 limitNs = qint64{kRedrawTargetMs} * 1000000;
    std::printf(
        "sent=%lld sentlog=%lld hexcount=%lld hexlines=%lld missing=%lld drops=%lld "
        "overwritten=%lld paintgap=%.1f timergap=%.1f paints=%lld paintsover=%ld timerover=%ld "
        "drain=%.0f cpu=%.0f rollovers=%lld rollovergap=%.1f othergap=%.1f rolloverdrops=%lld\n",
        sent, static_cast<long long>(sentLines.size()), static_cast<long long>(hexCount),
        savedLines, static_cast<long long>(missing.size()), drops, overwrittenLines,
        static_cast<double>(longestGapNs(paints, startNs, endNs)) / 1e6,
        static_cast<double>(longestGapNs(ticks, startNs, endNs)) / 1e6,
        static_cast<long long>(std::count_if(paints.begin(), paints.end(),
                                             [&](qint64 t) { return t >= startNs && t <= endNs; })),
        stretchesOver(paints, startNs, endNs, limitNs),
        stretchesOver(ticks, startNs, endNs, limitNs),
        static_cast<double>(std::max<qint64>(0, lastChangeNs - endNs)) / 1e6, cpuShare * 100,
        static_cast<long long>(hexCount / 65536), static_cast<double>(rolloverGapNs) / 1e6,
        static_cast<double>(otherGapNs) / 1e6, dropsAtRollover);
    std::fflush(stdout);
    form.setMonitoringControl(nullptr);
    return 0;
}

std::map<QString, double> runChild(const Options& o) {
    QProcess run;
    run.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    run.start(QCoreApplication::applicationFilePath(), childArguments(o));
    run.waitForFinished(-1);
    std::map<QString, double> figures;
    const QByteArray out = run.readAllStandardOutput().trimmed();
    std::printf("  run: %s\n", out.constData());
    std::fflush(stdout);
    for (const QByteArray& pair : out.split(' ')) {
        const qsizetype eq = pair.indexOf('=');
        if (eq > 0) figures[QString::fromLatin1(pair.left(eq))] = pair.mid(eq + 1).toDouble();
    }
    return figures;
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const Options options = parseOptions(args);
    if (args.contains(QStringLiteral("--child"))) return child(options);

    std::printf(
        "live intake: %d datagrams/s over 4 transceivers for %d s, %d run(s), rollover %s\n",
        options.rate, options.duration, options.runs, options.rollover ? "on" : "off");
    std::fflush(stdout);
    const auto targetMet = [](const std::map<QString, double>& f) {
        const auto at = [&f](const char* key) {
            const auto found = f.find(QString::fromLatin1(key));
            return found == f.end() ? -1.0 : found->second;
        };
        return at("missing") == 0 && at("sent") == at("hexcount") &&
               at("paintgap") <= kRedrawTargetMs && at("timergap") <= kRedrawTargetMs;
    };
    std::map<QString, std::vector<double>> all;
    int runsMet = 0;
    for (int run = 0; run < options.runs; ++run) {
        const std::map<QString, double> figures = runChild(options);
        if (figures.empty()) return 1;
        for (const auto& [key, value] : figures) all[key].push_back(value);
        if (targetMet(figures)) ++runsMet;
    }
    const auto m = [&](const char* key) { return median(all[QString::fromLatin1(key)]); };
    std::printf(
        "median: sent %.0f, HexCount %.0f, saved hex lines %.0f, sent lines missing from the "
        "saved logs %.0f, kernel drops at the window's sockets %.0f\n",
        m("sent"), m("hexcount"), m("hexlines"), m("missing"), m("drops"));
    std::printf(
        "median: longest gap between paints of Memo1 %.1f ms (%.0f paints, %.0f gaps over "
        "%d ms), between 10 ms timer firings %.1f ms (%.0f over %d ms); backlog read %.0f ms "
        "after the traffic ended; CPU %.0f %% of one core\n",
        m("paintgap"), m("paints"), m("paintsover"), kRedrawTargetMs, m("timergap"), m("timerover"),
        kRedrawTargetMs, m("drain"), m("cpu"));
    if (options.rollover) {
        std::printf(
            "median: %.0f rollovers; in the timer intervals holding one the timer waited up to "
            "%.1f ms and %.0f datagrams were dropped, elsewhere it waited up to %.1f ms; "
            "saved hex lines later overwritten by a save in the same second %.0f\n",
            m("rollovers"), m("rollovergap"), m("rolloverdrops"), m("othergap"), m("overwritten"));
    }
    std::printf("target (no datagram lost, redraw at least every %d ms): met in %d of %d runs\n",
                kRedrawTargetMs, runsMet, options.runs);
    return 0;
}
