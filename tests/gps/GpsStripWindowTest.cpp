// The GPS strip in the main window against zelvar-gps-sim: the port offered
// through ZELVAR_SERIAL_PORTS, the labels, the own position in RSSI-only
// lines, the copy and set-clock commands, the close, and an unplug.
#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QToolButton>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "../main/MainHarness.h"
#include "BCPort.h"
#include "DateTime.h"
#include "GpsClock.h"
#include "GpsStripWindow.h"
#include "HangGuard.h"
#include "LogFormat.h"
#include "OfflineDecoder.h"
#include "SerialPortList.h"
#include "TiedChild.h"

namespace {

// Sets nothing; answers at once as a system that accepted would.
class RecordingClock : public zelvar::SystemClock {
public:
    int BaseBiasMinutes() const override { return -180; }
    void SetUtc(const zelvar::ClockTime& utc,
                std::function<void(const zelvar::ClockResult&)> done) override {
        requests.push_back(utc);
        done(zelvar::ClockResult{true, {}});
    }
    std::vector<zelvar::ClockTime> requests;
};

// zelvar-gps-sim; its first output line is the terminal to open. Its
// seconds follow one another as fast as the line carries them, so that the
// tests wait for sentences, not for the clock.
class GpsSim {
public:
    explicit GpsSim(QStringList arguments) {
        process_.setChildProcessModifier(
            [parent = ::getpid()] { zelvar::test::DieWithParent(parent); });
        process_.start(QStringLiteral(ZELVAR_GPS_SIM_BIN),
                       QStringList{"--utc", "081226,123519", "--interval-ms", "0"} + arguments);
        if (!process_.waitForStarted()) return;
        QElapsedTimer waited;
        waited.start();
        while (!process_.canReadLine() && waited.elapsed() < zelvar::test::kHangGuardMs) {
            process_.waitForReadyRead(100);
        }
        path = QString::fromLocal8Bit(process_.readLine()).trimmed();
    }
    ~GpsSim() {
        process_.terminate();
        if (!process_.waitForFinished(3000)) process_.kill();
    }
    GpsSim(const GpsSim&) = delete;
    GpsSim& operator=(const GpsSim&) = delete;

    // Ends the emulator, which closes its terminal as a receiver pulled out.
    void unplug() {
        process_.terminate();
        process_.waitForFinished(zelvar::test::kHangGuardMs);
    }

    QString path;

private:
    QProcess process_;
};

// Reads the emulator's terminal until `count` GPRMC sentences have come: it
// has then been sending for count - 1 of its seconds at least. What is read here
// is what the port throws away when it opens.
bool sentencesSent(const QString& path, int count) {
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    const auto end = std::chrono::steady_clock::now() +
                     std::chrono::milliseconds(zelvar::test::kHangGuardMs);
    std::string seen;
    int found = 0;
    while (found < count && std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        char buffer[512];
        if (::poll(&p, 1, 100) <= 0) continue;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) continue;
        seen.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t at = seen.find("$GPRMC"); at != std::string::npos;
             at = seen.find("$GPRMC")) {
            ++found;
            seen.erase(0, at + 6);
        }
        if (seen.size() > 5) seen.erase(0, seen.size() - 5);
    }
    ::close(fd);
    return found >= count;
}

// The first signal report of the sample log, as a transceiver on port 1 sends it.
void receiveSignalReport(TMainForm& w) {
    const QStringList lines =
        QString::fromLatin1(MainHarness::readAll(QStringLiteral(ZELVAR_TEST_DATA "/reports.hex")))
            .split(QStringLiteral("\r\n"));
    const std::string line = lines.first().toStdString();
    std::array<std::uint8_t, zelvar::ReceiveBufferSize> package{};
    const std::size_t n =
        zelvar::ParseLogData(zelvar::SplitLogLine(line).data, package.data(), package.size());
    w.model().sessionParts().decoder.DecodePackage(std::span(package.data(), n), zelvar::NowStamp(),
                                                   zelvar::DecodeMode::Live, 1);
    w.flushLogViews();
}

QString q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

class GpsStripWindowTest : public QObject {
    Q_OBJECT

private slots:
    void stripFollowsTheEmulator() {
        GpsSim sim({"--seed", "3"});
        QVERIFY(!sim.path.isEmpty());
        qputenv(zelvar::kExtraPortsVariable, sim.path.toLocal8Bit());
        MainHarness h;
        h.store(QStringLiteral("numCom"), sim.path);
        h.store(QStringLiteral("OnlyRSSI"), QStringLiteral("1"));
        h.main->setSerialPortLister(zelvar::SystemSerialPortNames);
        RecordingClock clock;
        // The status texts of the commands stand a tenth of the program's second.
        zelvar::GpsStripWindow gps(h.main->model().gpsStripParts(), h.options.get(), clock, nullptr,
                                   zelvar::GpsStrip::kStatusFlash / 10);
        h.start();
        TMainForm& w = *h.main;

        // The remembered port is chosen, and its long name fits the box.
        QCOMPARE(portBox(w)->currentText(), sim.path);
        QVERIFY(portBox(w)->width() > portBox(w)->fontMetrics().horizontalAdvance(sim.path));
        QPushButton* setClock = h.options->timeFromGpsButton();
        QVERIFY(!setClock->isEnabled());

        // A monitoring session in RSSI-only mode; its header turns into the
        // GPS one when the GPS starts.
        action(w, "mnuStartUDP")->setChecked(true);
        w.RefreshDisplayMode();
        QCOMPARE(w.textLogLines().last(), q(zelvar::RssiHeader));
        // A receiver that has been sending for a while: every second's
        // sentences must still arrive as lines of their own.
        QVERIFY(sentencesSent(sim.path, 3));
        gpsToggle(w)->click();
        QVERIFY(gpsToggle(w)->isChecked());
        QVERIFY(w.model().gps().Connected);
        QCOMPARE(w.textLogLines(), QStringList{q(zelvar::GpsHeader)});
        QVERIFY(!portBox(w)->isEnabled());
        QVERIFY(action(w, "mnuCopyGPS")->isEnabled());
        QVERIFY(setClock->isEnabled());
        QVERIFY(label(w, "LabelGPSTime")->isVisible() && label(w, "LabelPDOP")->isVisible());

        QTRY_VERIFY(!w.model().gps().fix.PdopText.empty() && !w.model().gps().fix.LatText.empty());
        QVERIFY2(QRegularExpression(QStringLiteral("^08\\.12\\.2026 16:\\d\\d:\\d\\d$"))
                     .match(label(w, "LabelGPSTime")->text())
                     .hasMatch(),
                 qPrintable(label(w, "LabelGPSTime")->text()));
        const zelvar::OwnFix& fix = w.model().gps().fix;
        QCOMPARE(label(w, "LabelLat")->text(), QStringLiteral("Lat: ") + q(fix.LatText));
        QCOMPARE(label(w, "LabelLon")->text(), QStringLiteral("Lon: ") + q(fix.LonText));
        QVERIFY2(QRegularExpression(QStringLiteral("^PDOP: \\d\\.\\d$"))
                     .match(label(w, "LabelPDOP")->text())
                     .hasMatch(),
                 qPrintable(label(w, "LabelPDOP")->text()));

        // A signal report carries the own position.
        receiveSignalReport(w);
        const QString reportLine = w.textLogLines().last();
        const std::string dbm = reportLine.section(QLatin1Char('\t'), -1).toStdString();
        QCOMPARE(reportLine, q(zelvar::RssiOwnPositionLine("1", fix.DateTimeText, fix.LatText,
                                                           fix.LonText, fix.PdopText, dbm)));

        // Copy: the clipboard, and the coordinates in the status bar for a
        // second without holding up the window: the copy runs no event loop
        // of its own (a timer due at once has not fired when it returns),
        // and the panel comes back by itself afterwards.
        const QString panel = w.statusText(5);
        bool eventsRan = false;
        QTimer::singleShot(0, &w, [&eventsRan] { eventsRan = true; });
        action(w, "mnuCopyGPS")->trigger();
        QVERIFY(!eventsRan);
        QCOMPARE(QGuiApplication::clipboard()->text(), q(fix.LatText + "\t" + fix.LonText));
        QCOMPARE(w.statusText(5), q(" " + fix.LatText + "  " + fix.LonText));
        QTRY_COMPARE(w.statusText(5), panel);

        // The settings dialog's button sets the clock to the last GPRMC time.
        const std::optional<zelvar::ClockTime> target = zelvar::GpsClockTarget(
            fix.RmcDate, fix.RmcTime, h.settings.GMTCorrection, zelvar::ZoneHours(-180));
        QVERIFY(target);
        setClock->click();
        QCOMPARE(clock.requests, std::vector<zelvar::ClockTime>{*target});
        QVERIFY(w.statusText(5).startsWith(QLatin1Char(' ')));
        QVERIFY(!w.statusText(5).contains(QStringLiteral("not set")));
        QTRY_COMPARE(w.statusText(5), panel);

        // Closing the window closes the port.
        QVERIFY(w.close());
        QVERIFY(!w.model().gps().Connected);
        QVERIFY(!gps.strip().port().Connected());
        qunsetenv(zelvar::kExtraPortsVariable);
    }

    void withoutPortsStartReportsTheMissingPort() {
        MainHarness h;
        h.main->setSerialPortLister([] { return QStringList(); });
        RecordingClock clock;
        zelvar::GpsStripWindow gps(h.main->model().gpsStripParts(), h.options.get(), clock);
        h.start();
        TMainForm& w = *h.main;
        QCOMPARE(portBox(w)->count(), 0);
        gpsToggle(w)->click();
        QCOMPARE(h.dialogs.errors, QStringList{"Попытка открыть несуществующий COM-порт"});
        QVERIFY(gpsToggle(w)->isChecked());
        QVERIFY(!label(w, "LabelGPSTime")->isVisible());
        gpsToggle(w)->click();
        QVERIFY(!gpsToggle(w)->isChecked());
        QCOMPARE(h.dialogs.errors.size(), 1);
    }

    void unplugStopsTheStripAndLeavesItUsable() {
        GpsSim sim({});
        QVERIFY(!sim.path.isEmpty());
        MainHarness h;
        h.main->setSerialPortLister([&] { return QStringList{sim.path}; });
        RecordingClock clock;
        zelvar::GpsStripWindow gps(h.main->model().gpsStripParts(), h.options.get(), clock);
        h.start();
        TMainForm& w = *h.main;

        // Refused while a stop lets events run: the toggle springs back.
        {
            const zelvar::BusyRuns::Run stopping = w.model().busyRuns().begin(zelvar::RunKind::SessionStop);
            gpsToggle(w)->click();
            QVERIFY(!gpsToggle(w)->isChecked());
            QVERIFY(!gps.strip().port().Connected());
        }

        gpsToggle(w)->click();
        QTRY_VERIFY(!w.model().gps().fix.RmcTime.empty());
        // Pulled out once it has been read, however long that took.
        sim.unplug();
        QTRY_VERIFY(!gpsToggle(w)->isChecked());
        QVERIFY(!w.model().gps().Connected);
        QVERIFY(!gps.strip().port().Connected());
        QVERIFY(portBox(w)->isEnabled());
        QVERIFY(!action(w, "mnuCopyGPS")->isEnabled());
        QVERIFY(!h.options->timeFromGpsButton()->isEnabled());
        QVERIFY(!label(w, "LabelGPSTime")->isVisible());
        QCOMPARE(w.statusText(5), QStringLiteral(" GPS receiver disconnected"));
        QVERIFY(w.model().gps().fix.LatText.empty());

        // Starting again reports the missing receiver; a close asked for while
        // the error box stands waits for the box.
        bool closedDuringBox = false;
        h.dialogs.onError = [&] {
            w.close();
            closedDuringBox = !w.isVisible();
        };
        gpsToggle(w)->click();
        QCOMPARE(h.dialogs.errors, QStringList{"Попытка открыть несуществующий COM-порт"});
        QVERIFY(!closedDuringBox);
        QVERIFY(gpsToggle(w)->isChecked());
        QTRY_VERIFY(!w.isVisible());
    }
};

QTEST_MAIN(GpsStripWindowTest)
#include "GpsStripWindowTest.moc"
