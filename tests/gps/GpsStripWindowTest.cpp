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
#include <QToolButton>
#include <functional>
#include <vector>

#include "../main/MainHarness.h"
#include "BCPort.h"
#include "DateTime.h"
#include "GpsClock.h"
#include "GpsStripWindow.h"
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

// zelvar-gps-sim; its first output line is the terminal to open.
class GpsSim {
public:
    explicit GpsSim(QStringList arguments) {
        process_.setChildProcessModifier(
            [parent = ::getpid()] { zelvar::test::DieWithParent(parent); });
        process_.start(QStringLiteral(ZELVAR_GPS_SIM_BIN),
                       QStringList{"--utc", "081226,123519"} + arguments);
        if (!process_.waitForStarted()) return;
        for (int i = 0; i < 50 && !process_.canReadLine(); ++i) process_.waitForReadyRead(100);
        path = QString::fromLocal8Bit(process_.readLine()).trimmed();
    }
    ~GpsSim() {
        process_.terminate();
        if (!process_.waitForFinished(3000)) process_.kill();
    }
    GpsSim(const GpsSim&) = delete;
    GpsSim& operator=(const GpsSim&) = delete;

    QString path;

private:
    QProcess process_;
};

// The first signal report of the sample log, as a transceiver on port 1 sends it.
void receiveSignalReport(TMainForm& w) {
    const QStringList lines =
        QString::fromLatin1(MainHarness::readAll(QStringLiteral(ZELVAR_TEST_DATA "/reports.hex")))
            .split(QStringLiteral("\r\n"));
    const std::string line = lines.first().toStdString();
    zelvar::PackageDecoder& decoder = w.decoder();
    decoder.ReceiveBuffer.fill(0);
    const std::size_t n = zelvar::ParseLogData(zelvar::SplitLogLine(line).data,
                                               decoder.ReceiveBuffer.data(),
                                               decoder.ReceiveBuffer.size());
    decoder.DecodePackage(n, zelvar::NowStamp(), zelvar::DecodeMode::Live, 1);
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
        zelvar::GpsStripWindow gps(*h.main, h.options.get(), clock);
        h.start();
        TMainForm& w = *h.main;

        // The remembered port is chosen, and its long name fits the box.
        QCOMPARE(w.cbPort->currentText(), sim.path);
        QVERIFY(w.cbPort->width() > w.cbPort->fontMetrics().horizontalAdvance(sim.path));
        QPushButton* setClock = h.options->timeFromGpsButton();
        QVERIFY(!setClock->isEnabled());

        // A monitoring session in RSSI-only mode; its header turns into the
        // GPS one when the GPS starts.
        w.mnuStartUDP->setChecked(true);
        w.RefreshDisplayMode();
        QCOMPARE(w.textLogLines().last(), q(zelvar::RssiHeader));
        // A receiver that has been sending for a while: every second's
        // sentences must still arrive as lines of their own.
        QTest::qWait(2500);
        w.sbCOMM->click();
        QVERIFY(w.sbCOMM->isChecked());
        QVERIFY(w.gps().Connected);
        QCOMPARE(w.textLogLines(), QStringList{q(zelvar::GpsHeader)});
        QVERIFY(!w.cbPort->isEnabled());
        QVERIFY(w.mnuCopyGPS->isEnabled());
        QVERIFY(setClock->isEnabled());
        QVERIFY(w.LabelGPSTime->isVisible() && w.LabelPDOP->isVisible());

        QTRY_VERIFY_WITH_TIMEOUT(
            !w.gps().fix.PdopText.empty() && !w.gps().fix.LatText.empty(), 5000);
        QVERIFY2(QRegularExpression(QStringLiteral("^08\\.12\\.2026 16:35:\\d\\d$"))
                     .match(w.LabelGPSTime->text())
                     .hasMatch(),
                 qPrintable(w.LabelGPSTime->text()));
        const zelvar::OwnFix& fix = w.gps().fix;
        QCOMPARE(w.LabelLat->text(), QStringLiteral("Lat: ") + q(fix.LatText));
        QCOMPARE(w.LabelLon->text(), QStringLiteral("Lon: ") + q(fix.LonText));
        QVERIFY2(QRegularExpression(QStringLiteral("^PDOP: \\d\\.\\d$"))
                     .match(w.LabelPDOP->text())
                     .hasMatch(),
                 qPrintable(w.LabelPDOP->text()));

        // A signal report carries the own position.
        receiveSignalReport(w);
        const QString reportLine = w.textLogLines().last();
        const std::string dbm = reportLine.section(QLatin1Char('\t'), -1).toStdString();
        QCOMPARE(reportLine, q(zelvar::RssiOwnPositionLine("1", fix.DateTimeText, fix.LatText,
                                                           fix.LonText, fix.PdopText, dbm)));

        // Copy: the clipboard, and the coordinates in the status bar for a
        // second without holding up the window.
        const QString panel = w.statusText(5);
        QElapsedTimer copyTime;
        copyTime.start();
        w.mnuCopyGPS->trigger();
        QVERIFY(copyTime.elapsed() < 500);
        QCOMPARE(QGuiApplication::clipboard()->text(), q(fix.LatText + "\t" + fix.LonText));
        QCOMPARE(w.statusText(5), q(" " + fix.LatText + "  " + fix.LonText));
        QTRY_COMPARE_WITH_TIMEOUT(w.statusText(5), panel, 3000);

        // The settings dialog's button sets the clock to the last GPRMC time.
        const std::optional<zelvar::ClockTime> target = zelvar::GpsClockTarget(
            fix.RmcDate, fix.RmcTime, w.settings().GMTCorrection, zelvar::ZoneHours(-180));
        QVERIFY(target);
        setClock->click();
        QCOMPARE(clock.requests, std::vector<zelvar::ClockTime>{*target});
        QVERIFY(w.statusText(5).startsWith(QLatin1Char(' ')));
        QVERIFY(!w.statusText(5).contains(QStringLiteral("not set")));
        QTRY_COMPARE_WITH_TIMEOUT(w.statusText(5), panel, 3000);

        // Closing the window closes the port.
        QVERIFY(w.close());
        QVERIFY(!w.gps().Connected);
        QVERIFY(!gps.strip().port().Connected());
        qunsetenv(zelvar::kExtraPortsVariable);
    }

    void withoutPortsStartReportsTheMissingPort() {
        MainHarness h;
        h.main->setSerialPortLister([] { return QStringList(); });
        RecordingClock clock;
        zelvar::GpsStripWindow gps(*h.main, h.options.get(), clock);
        h.start();
        TMainForm& w = *h.main;
        QCOMPARE(w.cbPort->count(), 0);
        w.sbCOMM->click();
        QCOMPARE(h.dialogs.errors, QStringList{"Попытка открыть несуществующий COM-порт"});
        QVERIFY(w.sbCOMM->isChecked());
        QVERIFY(!w.LabelGPSTime->isVisible());
        w.sbCOMM->click();
        QVERIFY(!w.sbCOMM->isChecked());
        QCOMPARE(h.dialogs.errors.size(), 1);
    }

    void unplugStopsTheStripAndLeavesItUsable() {
        GpsSim sim({"--unplug-after", "1.5"});
        QVERIFY(!sim.path.isEmpty());
        MainHarness h;
        h.main->setSerialPortLister([&] { return QStringList{sim.path}; });
        RecordingClock clock;
        zelvar::GpsStripWindow gps(*h.main, h.options.get(), clock);
        h.start();
        TMainForm& w = *h.main;

        // Refused while a stop lets events run: the toggle springs back.
        {
            const zelvar::CommandHold::Scope held = w.commandHold().hold();
            w.sbCOMM->click();
            QVERIFY(!w.sbCOMM->isChecked());
            QVERIFY(!gps.strip().port().Connected());
        }

        w.sbCOMM->click();
        QTRY_VERIFY_WITH_TIMEOUT(!w.gps().fix.RmcTime.empty(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!w.sbCOMM->isChecked(), 5000);
        QVERIFY(!w.gps().Connected);
        QVERIFY(!gps.strip().port().Connected());
        QVERIFY(w.cbPort->isEnabled());
        QVERIFY(!w.mnuCopyGPS->isEnabled());
        QVERIFY(!h.options->timeFromGpsButton()->isEnabled());
        QVERIFY(!w.LabelGPSTime->isVisible());
        QCOMPARE(w.statusText(5), QStringLiteral(" GPS receiver disconnected"));
        QVERIFY(w.gps().fix.LatText.empty());

        // Starting again reports the missing receiver; a close asked for while
        // the error box stands waits for the box.
        bool closedDuringBox = false;
        h.dialogs.onError = [&] {
            w.close();
            closedDuringBox = !w.isVisible();
        };
        w.sbCOMM->click();
        QCOMPARE(h.dialogs.errors, QStringList{"Попытка открыть несуществующий COM-порт"});
        QVERIFY(!closedDuringBox);
        QVERIFY(w.sbCOMM->isChecked());
        QTRY_VERIFY(!w.isVisible());
    }
};

QTEST_MAIN(GpsStripWindowTest)
#include "GpsStripWindowTest.moc"
