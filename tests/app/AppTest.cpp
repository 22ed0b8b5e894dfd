// The built program in a scratch working folder with a scratch settings
// store, all four transceivers on the loopback: how it starts without a
// display and how it ends when the desktop or `kill` asks it to.
#include <signal.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "HangGuard.h"

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

    void start(bool offscreen, const QString& program = QStringLiteral(ZELVAR_BIN),
               const QStringList& arguments = {}) {
        if (offscreen) {
            QProcessEnvironment env = process.processEnvironment();
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            process.setProcessEnvironment(env);
        }
        process.start(program, arguments);
    }
    void addToStore(const QByteArray& lines) const {
        QFile store(storePath());
        if (store.open(QIODevice::Append)) store.write(lines);
    }
    QString work(const QString& name) const { return dir_.filePath(QStringLiteral("work/") + name); }
    // Reads stdout until a line starting with `start` came; the line.
    QByteArray waitForLine(const QByteArray& start) {
        while (true) {
            while (process.canReadLine()) {
                const QByteArray line = process.readLine().trimmed();
                if (line.startsWith(start)) return line;
            }
            if (!process.waitForReadyRead(zelvar::test::kHangGuardMs)) return {};
        }
    }
    // How often each live package stands in the saved hex logs and journal
    // segments below the working folder.
    QMap<QByteArray, int> packagesKept() const {
        QMap<QByteArray, int> seen;
        QDirIterator files(dir_.filePath(QStringLiteral("work")),
                           {QStringLiteral("*.hex"), QStringLiteral("*.journal")}, QDir::Files,
                           QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile file(files.next());
            if (!file.open(QIODevice::ReadOnly)) continue;
            for (const QByteArray& line : file.readAll().split('\n')) {
                if (line.contains("$F4BEE070")) ++seen[line.trimmed()];
            }
        }
        return seen;
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

    // Nobody is there to answer a box when the desktop or `kill` ends the
    // program: each kind is dismissed with its safe answer (Cancel, No), the
    // close runs without asking, and every live package is in a saved log
    // or, when the logs cannot be written, in the journal the next start
    // recovers.
    void signalDismissesModalBoxes_data() {
        QTest::addColumn<int>("signal");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<bool>("unwritable");
        const struct {
            const char* name;
            QStringList arguments;  // the window, the command, fields to fill
            QByteArray stored;
            bool unwritable;
        } kinds[] = {
            {"decode file dialog", {"main", "mnuDecode"}, "Editor=0\n", false},
            {"save as dialog", {"main", "mnuSaveAs"}, "Editor=0\n", false},
            {"unsaved logs question", {"main", "mnuClear"}, "Editor=0\n", true},
            {"coverage export", {"main", "mnuExportCoverage"}, "Editor=0\n", false},
            {"publish dialog", {"main", "mnuPublish"}, "Editor=0\n", false},
            {"monitoring error box", {"main", "mnuStartUDP"}, "Editor=0\nPort1=x\n", false},
            {"editor open dialog", {"editor", "mnuOpenRtf"}, "", false},
            {"editor filter error box", {"editor", "mnuUserFilter", "EditPByte="}, "", false},
            {"editor open failure box", {"editor", "openMissing"}, "", false},
        };
        for (const auto& kind : kinds) {
            for (const int signal : {SIGTERM, SIGHUP}) {
                QTest::addRow("%s, %s", kind.name, signal == SIGTERM ? "SIGTERM" : "SIGHUP")
                    << signal << kind.arguments << kind.stored << kind.unwritable;
            }
        }
    }
    void signalDismissesModalBoxes() {
        QFETCH(int, signal);
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, stored);
        QFETCH(bool, unwritable);
        Run run;
        run.addToStore(stored);
        run.start(true, QStringLiteral(ZELVAR_BOX_RUN), arguments);
        QCOMPARE(run.waitForLine("ready"), QByteArray("ready"));
        if (unwritable) {
            // Once the journal stands, no log can be written: the journal
            // stays where it was opened.
            QTRY_VERIFY(!QDir(run.work(QStringLiteral("Files")))
                             .entryList({QStringLiteral("*.journal")})
                             .isEmpty());
            QVERIFY(QDir().rename(run.work(QStringLiteral("Files")),
                                  run.work(QStringLiteral("Files.old"))));
            QFile blocker(run.work(QStringLiteral("Files")));
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        }
        run.process.write("click\n");
        const QByteArray modal = run.waitForLine("modal ");
        QVERIFY2(!modal.isEmpty(), run.process.readAllStandardError().constData());
        run.send(signal);
        QVERIFY2(run.process.waitForFinished(zelvar::test::kHangGuardMs), modal.constData());
        const QByteArray said = run.process.readAllStandardError();
        QCOMPARE(run.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.process.exitCode(), 0);
        QVERIFY2(said.contains(signal == SIGTERM ? "SIGTERM" : "SIGHUP"), said.constData());
        QVERIFY2(run.store().contains("AutoSave="), run.store().constData());
        const QMap<QByteArray, int> kept = run.packagesKept();
        QVERIFY2(kept.size() == 3, said.constData());
        for (const int times : kept) QCOMPARE(times, 1);
        if (unwritable) {
            QVERIFY2(said.contains("journal"), said.constData());
            QVERIFY(!QDir(run.work(QStringLiteral("Files.old")))
                         .entryList({QStringLiteral("*.journal")})
                         .isEmpty());
        }
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
