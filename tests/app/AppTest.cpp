// The built program in a scratch working folder with a scratch settings
// store, all four transceivers on the loopback: how it starts without a
// display and how it ends when the desktop or `kill` asks it to.
#include <signal.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

class Run {
public:
    Run() {
        QDir(dir_.path()).mkpath(QStringLiteral("config/Kavren"));
        QDir(dir_.path()).mkpath(QStringLiteral("work"));
        QFile store(storePath());
        if (store.open(QIODevice::WriteOnly)) {
            store.write("[General]\nIP1=127.0.0.1\nIP2=127.0.0.2\nIP3=127.0.0.3\nIP4=127.0.0.4\n");
        }
        QProcessEnvironment env;
        env.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
        env.insert(QStringLiteral("HOME"), dir_.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir_.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir_.path());
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(dir_.filePath(QStringLiteral("work")));
    }
    ~Run() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    void start(bool offscreen) {
        if (offscreen) {
            QProcessEnvironment env = process.processEnvironment();
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            process.setProcessEnvironment(env);
        }
        process.start(QStringLiteral(ZELVAR_BIN), {});
    }
    // Start-up has made the folder of auto-saved logs: the window is up.
    bool startedUp() const { return QDir(dir_.filePath(QStringLiteral("work/Files"))).exists(); }
    void send(int signal) const { ::kill(static_cast<pid_t>(process.processId()), signal); }
    QString storePath() const { return dir_.filePath(QStringLiteral("config/Kavren/Zelvar.conf")); }
    QByteArray store() const {
        QFile file(storePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QProcess process;

private:
    QTemporaryDir dir_;
};

}  // namespace

class AppTest : public QObject {
    Q_OBJECT

private slots:
    void withoutADisplaySaysWhatIsMissing() {
        Run run;
        run.start(false);
        QVERIFY(run.process.waitForFinished(30000));
        const QByteArray said = run.process.readAllStandardError();
        QCOMPARE(run.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.process.exitCode(), 1);
        QCOMPARE(said.count('\n'), 1);
        QVERIFY2(said.contains("QT_QPA_PLATFORM=offscreen"), said.constData());
        QVERIFY(!run.startedUp());
    }

    // A log-out, a shutdown or `kill` closes the window as its close box
    // does: the settings are written on the way out.
    void terminationRunsTheCloseSequence_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGHUP") << SIGHUP;
    }
    void terminationRunsTheCloseSequence() {
        QFETCH(int, signal);
        Run run;
        run.start(true);
        QTRY_VERIFY_WITH_TIMEOUT(run.startedUp(), 30000);
        QVERIFY(!run.store().contains("AutoSave="));
        run.send(signal);
        QVERIFY(run.process.waitForFinished(30000));
        QCOMPARE(run.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.process.exitCode(), 0);
        QVERIFY2(run.store().contains("AutoSave="), run.store().constData());
        QVERIFY(run.store().contains("IP4=127.0.0.4"));
    }

    // Two signals that arrive together: the second ends the program at once,
    // before any of the close sequence.
    void secondSignalEndsAtOnce() {
        Run run;
        run.start(true);
        QTRY_VERIFY_WITH_TIMEOUT(run.startedUp(), 30000);
        run.send(SIGSTOP);
        run.send(SIGTERM);
        run.send(SIGHUP);
        run.send(SIGCONT);
        QVERIFY(run.process.waitForFinished(30000));
        QCOMPARE(run.process.exitStatus(), QProcess::CrashExit);
        QVERIFY(!run.store().contains("AutoSave="));
    }
};

QTEST_GUILESS_MAIN(AppTest)
#include "AppTest.moc"
