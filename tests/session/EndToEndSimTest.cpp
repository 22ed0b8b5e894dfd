// The whole live path against the transceiver emulator: the main window and
// its monitoring session register with four zelvar-sim transceivers on
// 127.0.0.1 to 127.0.0.4, take a generated stream of packages, and the
// auto-saved logs must hold exactly what was sent, each package under the
// transceiver that sent it, decoded as the offline decoder decodes it.
#include <QElapsedTimer>
#include <QHostAddress>
#include <QProcess>
#include <QRegularExpression>
#include <QUdpSocket>
#include <array>
#include <map>
#include <optional>
#include <vector>

#include "../main/MainHarness.h"
#include "DateTime.h"
#include "HangGuard.h"
#include "LoopbackPort.h"
#include "LogFormat.h"
#include "MonitoringSession.h"
#include "OfflineDecoder.h"
#include "PackageGenerator.h"
#include "TiedChild.h"
#include "UdpDrops.h"

namespace {

constexpr int kTransceivers = 4;
constexpr int kPackages = 2000;
constexpr int kRate = 1000;  // per second over all four: two seconds of traffic
constexpr std::uint64_t kSeed = 20240611;

using TransceiverLines = std::array<QStringList, kTransceivers + 1>;  // index 1..4


// A log file's lines; every line must end in CR LF and hold no other line break.
std::optional<QStringList> crlfLines(const QByteArray& bytes) {
    if (bytes.isEmpty() || !bytes.endsWith("\r\n")) return std::nullopt;
    QStringList lines = QString::fromLatin1(bytes).split(QStringLiteral("\r\n"));
    lines.removeLast();
    for (const QString& line : lines) {
        if (line.contains(QLatin1Char('\r')) || line.contains(QLatin1Char('\n'))) {
            return std::nullopt;
        }
    }
    return lines;
}

// What each transceiver of the emulator sends, in its order: the generator
// deals the packages out in turns, and --count ends the deal.
TransceiverLines generatedTraffic() {
    zelvar::sim::PackageGenerator generator(kSeed, kTransceivers);
    TransceiverLines lines;
    for (int i = 0; i < kPackages; ++i) {
        const zelvar::sim::Package p = generator.next();
        lines[static_cast<std::size_t>(p.transceiver)]
            << QString::fromStdString(zelvar::sim::hexText(p.bytes));
    }
    return lines;
}

// Splits the emulator's --sent-log (all transceivers, in send order) by the
// transceiver each line must have come from. Empty when a line fits none.
std::optional<TransceiverLines> splitSentLog(const QStringList& sent,
                                             const TransceiverLines& expected) {
    TransceiverLines split;
    std::array<qsizetype, kTransceivers + 1> next{};
    for (const QString& line : sent) {
        bool placed = false;
        for (std::size_t t = 1; t <= kTransceivers && !placed; ++t) {
            if (next[t] < expected[t].size() && expected[t][next[t]] == line) {
                split[t] << line;
                ++next[t];
                placed = true;
            }
        }
        if (!placed) return std::nullopt;
    }
    return split;
}

// True when every line of `saved` is one of `sent`, in the same order, each
// at most once: `sent` less what never arrived.
bool inSendOrder(const QStringList& saved, const QStringList& sent) {
    qsizetype next = 0;
    for (const QString& line : saved) {
        while (next < sent.size() && sent[next] != line) ++next;
        if (next == sent.size()) return false;
        ++next;
    }
    return true;
}

struct SimSummary {
    std::map<int, std::array<int, 3>> perTransceiver;  // registered, exited, sent
    int total = -1;
};

SimSummary parseSummary(const QString& out) {
    SimSummary s;
    static const QRegularExpression lineRe(
        QStringLiteral("^transceiver (\\d): registered (\\d+) exited (\\d+) sent (\\d+)$"));
    static const QRegularExpression totalRe(QStringLiteral("^sent (\\d+)$"));
    for (const QString& line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (const auto m = lineRe.match(line); m.hasMatch()) {
            s.perTransceiver[m.captured(1).toInt()] = {m.captured(2).toInt(), m.captured(3).toInt(),
                                                       m.captured(4).toInt()};
        } else if (const auto t = totalRe.match(line); t.hasMatch()) {
            s.total = t.captured(1).toInt();
        }
    }
    return s;
}

// Decodes saved hex lines again, the way File > Decode would, with the
// window's settings: the live text log must come out the same.
QStringList redecode(const QStringList& hexLines, const zelvar::Settings& settings) {
    zelvar::DisplayMirrors mirrors;
    zelvar::GpsState gps;
    zelvar::DecoderOutput silent;
    zelvar::PackageDecoder decoder(settings, mirrors, gps, silent);
    for (const QString& line : hexLines) {
        const std::string text = line.toStdString();
        const zelvar::LogLineParts parts = zelvar::SplitLogLine(text);
        std::array<std::uint8_t, zelvar::ReceiveBufferSize> package{};
        const std::size_t n = zelvar::ParseLogData(parts.data, package.data(), package.size());
        decoder.DecodePackage(std::span(package.data(), n), parts.stamp, zelvar::DecodeMode::Offline, parts.portDigit - '0');
    }
    QStringList decoded;
    const zelvar::LineList& lines = decoder.decodedTextLines();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        decoded << QString::fromLatin1(lines[i].data(), static_cast<qsizetype>(lines[i].size()));
    }
    return decoded;
}

}  // namespace

class EndToEndSimTest : public QObject {
    Q_OBJECT

private slots:
    void generatedTrafficIsSavedExactlyAsSent() {
        MainHarness h;
        const quint16 port = zelvar::test::FreeLoopbackPort();
        QVERIFY(port != 0);
        for (int n = 1; n <= kTransceivers; ++n) {
            h.store(QStringLiteral("IP%1").arg(n), QStringLiteral("127.0.0.%1").arg(n));
            h.store(QStringLiteral("Port%1").arg(n), QString::number(port));
        }
        h.store(QStringLiteral("AutoSave"), QStringLiteral("1"));
        h.store(QStringLiteral("HexLog"), QStringLiteral("1"));
        h.store(QStringLiteral("TimeOut"), QStringLiteral("60"));
        zelvar::MonitoringSession session(h.main->model().sessionParts());
        h.main->model().setMonitoringControl(&session);
        const struct Detach {
            MainHarness& harness;
            ~Detach() { harness.main->model().setMonitoringControl(nullptr); }
        } detach{h};
        h.start();
        for (int n = 1; n <= kTransceivers; ++n) {
            QCOMPARE(QString::fromStdString(h.settings.IP[static_cast<std::size_t>(n - 1)]),
                     QStringLiteral("127.0.0.%1").arg(n));
        }

        // Without --exit-when-done the emulator stays to hear the goodbye.
        const QString ready = h.scratch(QStringLiteral("sim.ready"));
        const QString sentLog = h.scratch(QStringLiteral("sent.hex"));
        QProcess sim;
        sim.setChildProcessModifier([parent = ::getpid()] { zelvar::test::DieWithParent(parent); });
        sim.start(QStringLiteral(ZELVAR_SIM_BIN),
                  {QStringLiteral("--generate"), QStringLiteral("--seed"), QString::number(kSeed),
                   QStringLiteral("--count"), QString::number(kPackages), QStringLiteral("--rate"),
                   QString::number(kRate), QStringLiteral("--port"), QString::number(port),
                   QStringLiteral("--ready-file"), ready, QStringLiteral("--sent-log"), sentLog,
                   QStringLiteral("--verbose")});
        QVERIFY(sim.waitForStarted());
        const struct Reap {
            QProcess& process;
            ~Reap() {
                if (process.state() != QProcess::NotRunning) {
                    process.kill();
                    process.waitForFinished();
                }
            }
        } reap{sim};
        QTRY_VERIFY(QFile::exists(ready));

        // A loaded machine may not read the sockets in time: what the kernel
        // dropped then is counted in this network namespace and told apart
        // from a loss of the program's own.
        const long long kernelBefore = zelvar::test::UdpRcvbufErrors();
        QVERIFY(kernelBefore >= 0);
        const auto kernelDrops = [&] { return zelvar::test::UdpRcvbufErrors() - kernelBefore; };
        const qint64 stampBefore = zelvar::HexToInt64(zelvar::NowStamp());
        action(*h.main, "mnuStartUDP")->trigger();
        QVERIFY(h.main->monitoring());

        QString simErr;
        const auto readErr = [&] {
            simErr += QString::fromLocal8Bit(sim.readAllStandardError());
            return simErr;
        };
        QTRY_VERIFY(readErr().contains(QStringLiteral("all packages done")));
        QTRY_VERIFY(h.main->model().decoder().hexCount() + kernelDrops() >= kPackages);
        const qint64 stampAfter = zelvar::HexToInt64(zelvar::NowStamp());

        action(*h.main, "mnuStartUDP")->trigger();
        QVERIFY(!h.main->monitoring());
        // The stop decodes what was still read: nothing more, nothing twice.
        const long long kernel = kernelDrops();
        QCOMPARE(h.main->model().decoder().hexCount() + kernel, std::int64_t{kPackages});
        QCOMPARE(session.lost(), std::uint64_t{0});
        QTRY_COMPARE(readErr().count(QStringLiteral(": EXIT_ZELVAR from ")), kTransceivers);
        sim.terminate();
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), 0);
        const SimSummary summary =
            parseSummary(QString::fromLocal8Bit(sim.readAllStandardOutput()));
        QCOMPARE(summary.total, kPackages);
        for (int n = 1; n <= kTransceivers; ++n) {
            QVERIFY(summary.perTransceiver.count(n) == 1);
            const auto counts = summary.perTransceiver.at(n);
            QCOMPARE(counts[0], 1);  // one registration, no repeats
            QCOMPARE(counts[1], 1);  // one goodbye
            QCOMPARE(counts[2], kPackages / kTransceivers);
        }

        const auto textCount = static_cast<qsizetype>(h.main->model().decoder().textCount());
        const auto hexCount = static_cast<qsizetype>(h.main->model().decoder().hexCount());
        QVERIFY(textCount > 0);
        QVERIFY(!h.main->logsSaved());  // the generator's packages begin with 00
        action(*h.main, "mnuClear")->trigger();
        QVERIFY(h.main->logsSaved());
        QVERIFY(h.main->textLogLines().isEmpty());
        QVERIFY(h.main->hexLogLines().isEmpty());

        const QStringList files = h.savedFiles();
        QCOMPARE(files.size(), 2);
        const QString base = files[0].chopped(4);
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d{14}$")).match(base).hasMatch(),
                 qPrintable(base));
        QCOMPARE(files,
                 (QStringList{base + QStringLiteral(".hex"), base + QStringLiteral(".txt")}));
        const QDir filesDir(h.filesDir());

        // The hex log: every package once, under its transceiver, in the
        // order that transceiver sent them, stamped within the run.
        const std::optional<QStringList> hexLines =
            crlfLines(MainHarness::readAll(filesDir.filePath(base + QStringLiteral(".hex"))));
        QVERIFY2(hexLines, "hex log lines must each end in CR LF");
        QCOMPARE(hexLines->size(), hexCount);
        const std::optional<QStringList> sent = crlfLines(MainHarness::readAll(sentLog));
        QVERIFY(sent);
        QCOMPARE(sent->size(), qsizetype{kPackages});
        const TransceiverLines expected = generatedTraffic();
        const std::optional<TransceiverLines> sentBy = splitSentLog(*sent, expected);
        QVERIFY2(sentBy, "the sent log holds a package the generator did not make");
        static const QRegularExpression stamped(
            QStringLiteral("^([1-4])\\$([0-9A-F]{8,9})\\t([0-9A-F]{2}(?: [0-9A-F]{2})*)$"));
        TransceiverLines saved;
        for (const QString& line : *hexLines) {
            const QRegularExpressionMatch m = stamped.match(line);
            QVERIFY2(m.hasMatch(), qPrintable(line));
            const qint64 stamp = zelvar::HexToInt64(m.captured(2).toStdString());
            QVERIFY2(stamp >= stampBefore && stamp <= stampAfter, qPrintable(line));
            saved[static_cast<std::size_t>(m.captured(1).toInt())] << m.captured(3);
        }
        long long missing = 0;
        for (std::size_t t = 1; t <= kTransceivers; ++t) {
            if (kernel == 0) {
                QCOMPARE(saved[t], (*sentBy)[t]);
            } else {
                QVERIFY2(inSendOrder(saved[t], (*sentBy)[t]), "a package is out of order or twice");
            }
            missing += (*sentBy)[t].size() - saved[t].size();
        }
        QCOMPARE(missing, kernel);

        // The text log: the header, one decoded line per counted line, and
        // "Stop"; the same lines as the saved hex log decoded again.
        const std::optional<QStringList> textLines =
            crlfLines(MainHarness::readAll(filesDir.filePath(base + QStringLiteral(".txt"))));
        QVERIFY2(textLines, "text log lines must each end in CR LF");
        QCOMPARE(textLines->size(), textCount + 2);
        QCOMPARE(textLines->first(),
                 QString::fromLatin1(zelvar::TextHeader.data(), zelvar::TextHeader.size()));
        QCOMPARE(textLines->last(), QStringLiteral("Stop"));
        const QStringList decoded = textLines->mid(1, textLines->size() - 2);
        std::array<int, kTransceivers + 1> perPort{};
        for (const QString& line : decoded) {
            QCOMPARE(line.count(QLatin1Char('\t')), 9);
            const int linePort = line.section(QLatin1Char('\t'), 1, 1).toInt();
            QVERIFY2(linePort >= 1 && linePort <= kTransceivers, qPrintable(line));
            ++perPort[static_cast<std::size_t>(linePort)];
        }
        for (std::size_t t = 1; t <= kTransceivers; ++t) QVERIFY(perPort[t] > 0);
        QCOMPARE(decoded, redecode(*hexLines, h.settings));
    }
};

QTEST_MAIN(EndToEndSimTest)
#include "EndToEndSimTest.moc"
