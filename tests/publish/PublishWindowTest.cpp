// The window publishing live: zelvar-sim's transceivers on 127.0.0.1..4 feed
// the main window (offscreen), which publishes through a real Mosquitto to
// the collector and a real PostgreSQL, with the broker killed on the way.
#include <QProcess>
#include <libpq-fe.h>
#include <sys/stat.h>

#include "../main/MainHarness.h"
#include "LoopbackPort.h"
#include "MonitoringSession.h"
#include "MosquittoBroker.h"
#include "PublishControl.h"
#include "Publisher.h"

namespace {

constexpr int kPackages = 20000;
constexpr int kRate = 1000;  // twenty seconds of traffic over all four

std::string query(PGconn* conn, const std::string& sql) {
    std::unique_ptr<PGresult, decltype(&PQclear)> r(PQexec(conn, sql.c_str()), &PQclear);
    const ExecStatusType status = PQresultStatus(r.get());
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) return PQresultErrorMessage(r.get());
    return PQntuples(r.get()) > 0 ? PQgetvalue(r.get(), 0, 0) : "";
}

}  // namespace

class PublishWindowTest : public QObject {
    Q_OBJECT

private slots:
    void everyLivePackageIsStoredOnceAcrossABrokerFailure() {
        QVERIFY2(qEnvironmentVariableIsSet("PGHOST"), "run the tests under pg_virtualenv");
        MainHarness h;
        const std::string name = "w" + std::to_string(::getpid());
        std::unique_ptr<PGconn, decltype(&PQfinish)> conn(PQconnectdb(""), &PQfinish);
        QCOMPARE(PQstatus(conn.get()), CONNECTION_OK);
        PQsetNoticeProcessor(conn.get(), [](void*, const char*) {}, nullptr);
        query(conn.get(), "CREATE SCHEMA " + name);
        const struct Drop {
            PGconn* conn;
            std::string name;
            ~Drop() { query(conn, "DROP SCHEMA IF EXISTS " + name + " CASCADE"); }
        } drop{conn.get(), name};

        zelvar::test::MosquittoBroker broker(h.scratch(QStringLiteral("broker")).toStdString());
        QVERIFY(broker.running());
        zelvar::test::ChildProcess collector;
        collector.start({ZELVAR_COLLECT_BIN, "--database", "options='-c search_path=" + name + "'", "--init", "--broker",
                         "127.0.0.1:" + std::to_string(broker.port()), "--prefix", name, "--client-id", name},
                        h.scratch(QStringLiteral("collector.log")).toStdString());

        const quint16 port = zelvar::test::FreeLoopbackPort();
        QVERIFY(port != 0);
        for (int n = 1; n <= 4; ++n) {
            h.store(QStringLiteral("IP%1").arg(n), QStringLiteral("127.0.0.%1").arg(n));
            h.store(QStringLiteral("Port%1").arg(n), QString::number(port));
        }
        h.store(QStringLiteral("PublishOn"), QStringLiteral("1"));
        h.store(QStringLiteral("PublishHost"), QStringLiteral("127.0.0.1"));
        h.store(QStringLiteral("PublishPort"), QString::number(broker.port()));
        h.store(QStringLiteral("PublishStation"), QStringLiteral("window"));
        h.store(QStringLiteral("PublishPrefix"), QString::fromStdString(name));
        zelvar::MonitoringSession session(h.main->model().sessionParts());
        h.main->model().setMonitoringControl(&session);
        const struct Detach {
            MainHarness& harness;
            ~Detach() { harness.main->model().setMonitoringControl(nullptr); }
        } detach{h};
        h.start();
        zelvar::PublishControl* publishing = h.main->publishing();
        QVERIFY(publishing != nullptr);
        QTRY_VERIFY(publishing->publisher() != nullptr);
        QTRY_COMPARE(h.main->statusText(7), QStringLiteral(" MQTT: connected"));

        const QString ready = h.scratch(QStringLiteral("sim.ready"));
        QProcess sim;
        sim.setChildProcessModifier([parent = ::getpid()] { zelvar::test::DieWithParent(parent); });
        sim.start(QStringLiteral(ZELVAR_SIM_BIN),
                  {QStringLiteral("--generate"), QStringLiteral("--count"), QString::number(kPackages),
                   QStringLiteral("--rate"), QString::number(kRate), QStringLiteral("--port"),
                   QString::number(port), QStringLiteral("--ready-file"), ready, QStringLiteral("--exit-when-done")});
        QVERIFY(sim.waitForStarted());
        QTRY_VERIFY(QFile::exists(ready));
        action(*h.main, "mnuStartUDP")->trigger();
        QVERIFY(h.main->monitoring());

        // The broker dies a quarter of the way in and comes back ten seconds
        // of traffic later.
        QTRY_VERIFY_WITH_TIMEOUT(h.main->model().decoder().hexCount() >= kPackages / 4, 60000);
        broker.kill();
        QTRY_VERIFY_WITH_TIMEOUT(h.main->statusText(7).startsWith(QStringLiteral(" MQTT: offline, queued ")),
                                 60000);
        QTRY_VERIFY_WITH_TIMEOUT(h.main->model().decoder().hexCount() >= 3 * kPackages / 4, 60000);
        QVERIFY(broker.start());
        QTRY_VERIFY_WITH_TIMEOUT(sim.state() == QProcess::NotRunning, 60000);
        action(*h.main, "mnuStartUDP")->trigger();

        // Everything the window took is confirmed, then stored exactly once.
        const auto taken = static_cast<qint64>(publishing->publisher()->taken());
        QCOMPARE(taken, static_cast<qint64>(h.main->model().decoder().hexCount()));
        QTRY_COMPARE_WITH_TIMEOUT(h.main->statusText(7), QStringLiteral(" MQTT: connected"), 90000);
        const std::string all = std::to_string(taken);
        QCOMPARE(query(conn.get(), "SELECT count(*) || ' ' || count(DISTINCT (source, seq)) FROM " + name +
                                       ".packages WHERE station = 'window'"),
                 all + " " + all);

        // Off: nothing more is taken for publishing, and the panel goes.
        zelvar::PublishSettings off = publishing->settings();
        off.on = false;
        off.password = QStringLiteral("secret");
        off.savePassword = true;
        publishing->apply(off);
        QVERIFY(publishing->publisher() == nullptr);
        QVERIFY(!h.main->model().takesPackages());
        QCOMPARE(h.main->statusText(7), QString());
        // A saved password leaves the settings file to its owner.
        struct stat info {};
        QCOMPARE(::stat(h.main->settingsFileName().toLocal8Bit().constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, 0600u);
        QCOMPARE(h.stored(QStringLiteral("PublishPassword")), QStringLiteral("secret"));
    }
};

QTEST_MAIN(PublishWindowTest)
#include "PublishWindowTest.moc"
