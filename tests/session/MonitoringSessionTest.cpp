// The monitoring session against four transceivers played by this test on
// 127.0.0.1 to 127.0.0.4: registration, datagram intake, the session timer
// and stopping, as a user drives them through the menu.
#include <QDir>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QProgressBar>
#include <QThread>
#include <QTimer>
#include <QUdpSocket>
#include <QFile>
#include <QLabel>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

#include "../main/MainHarness.h"
#include "DateTime.h"
#include "LogFormat.h"
#include "HangGuard.h"
#include "MonitoringSession.h"

namespace {

using zelvar::test::kHangGuardMs;
// One transceiver: a UDP socket on its own loopback address that records the
// commands it receives and answers to where they came from.
class FakeTransceiver {
public:
    explicit FakeTransceiver(const QString& address) {
        QVERIFY(socket.bind(QHostAddress(address), 0));
        QObject::connect(&socket, &QUdpSocket::readyRead, [this] { readPending(); });
    }
    // Takes in what has arrived, also while no events run.
    void readPending() {
        while (socket.hasPendingDatagrams()) {
            const QNetworkDatagram d = socket.receiveDatagram();
            commands << QString::fromLatin1(d.data());
            peer = d.senderAddress();
            peerPort = static_cast<quint16>(d.senderPort());
        }
    }
    bool send(const QByteArray& bytes) {
        return socket.writeDatagram(bytes, peer, peerPort) == bytes.size();
    }
    int count(const QString& command) const { return static_cast<int>(commands.count(command)); }

    QUdpSocket socket;
    QStringList commands;
    QHostAddress peer;
    quint16 peerPort = 0;
};

QByteArray rssiPackage(quint16 raw) {
    QByteArray p(13, '\0');
    p[4] = '\x0F';
    p[11] = static_cast<char>(raw >> 8);
    p[12] = static_cast<char>(raw & 0xFF);
    return p;
}

// The receive buffer a socket asks for, capped by net.core.rmem_max.
int receiveBufferAllowed() {
    QFile limit(QStringLiteral("/proc/sys/net/core/rmem_max"));
    const int max = limit.open(QIODevice::ReadOnly) ? limit.readAll().trimmed().toInt() : 0;
    return std::min(4 << 20, max);
}

QString statusHint(TMainForm& w, int panel) {
    return w.findChild<QLabel*>(QStringLiteral("StatusPanel%1").arg(panel))->toolTip();
}

QString systemText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

int plainUdpSocket() {
    return ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
}

}  // namespace

class MonitoringSessionTest : public QObject {
    Q_OBJECT

private:
    // A harness whose four transceivers are this test's own, on loopback.
    struct Rig {
        MainHarness h;
        std::array<std::unique_ptr<FakeTransceiver>, 4> t;
        std::unique_ptr<zelvar::MonitoringSession> session;

        explicit Rig(const QStringList& ips = {"127.0.0.1", "127.0.0.2", "127.0.0.3",
                                                "127.0.0.4"},
                     int timeOut = 60) {
            for (int n = 0; n < 4; ++n) {
                t[static_cast<std::size_t>(n)] =
                    std::make_unique<FakeTransceiver>(QStringLiteral("127.0.0.%1").arg(n + 1));
            }
            for (int n = 0; n < 4; ++n) {
                h.store(QStringLiteral("IP%1").arg(n + 1), ips[n]);
                h.store(QStringLiteral("Port%1").arg(n + 1),
                        QString::number(t[static_cast<std::size_t>(n)]->socket.localPort()));
            }
            h.store(QStringLiteral("TimeOut"), QString::number(timeOut));
            session = std::make_unique<zelvar::MonitoringSession>(h.main->model().sessionParts());
            h.main->model().setMonitoringControl(session.get());
            h.start();
        }
        ~Rig() {
            h.main->model().setMonitoringControl(nullptr);
        }
        FakeTransceiver& at(int n) { return *t[static_cast<std::size_t>(n - 1)]; }
        void toggle() { action(*h.main, "mnuStartUDP")->trigger(); }
        bool allRegistered() {
            for (auto& x : t) {
                if (x->count(QStringLiteral("AT_ZELVAR")) == 0) return false;
            }
            return true;
        }
        QStringList text() { return h.main->textLogLines(); }
        QStringList hex() { return h.main->hexLogLines(); }
    };

private slots:
    void startRegistersWithEachTransceiverFromItsOwnSocket() {
        Rig rig;
        rig.toggle();
        QVERIFY(rig.h.main->monitoring());
        QTRY_VERIFY(rig.allRegistered());
        QSet<quint16> sources;
        for (int n = 1; n <= 4; ++n) {
            QCOMPARE(rig.at(n).commands, QStringList{QStringLiteral("AT_ZELVAR")});
            QCOMPARE(rig.at(n).peerPort, rig.session->sockets().localPort(n));
            sources << rig.at(n).peerPort;
            // Room for a burst: 4 MiB, or as much as the system lets anyone have.
            QVERIFY(rig.session->sockets().receiveBufferBytes(n) >= 2 * receiveBufferAllowed());
        }
        QCOMPARE(sources.size(), 4);
        QCOMPARE(rig.h.main->statusText(4), QStringLiteral(" Ready"));
        QCOMPARE(rig.text(), QStringList{QString::fromLatin1(zelvar::TextHeader.data())});
        QVERIFY(!action(*rig.h.main, "mnuDecode")->isEnabled());
        QVERIFY(!action(*rig.h.main, "mnuEditor")->isEnabled());
        QVERIFY(!logView(*rig.h.main, "Memo2")->isEnabled());
        QVERIFY(!rig.h.options->findChild<QWidget*>(QStringLiteral("EditIP1"))->isEnabled());
        QVERIFY(rig.session->Timer.isActive());
    }

    void datagramsAreDecodedByTheirSourceAddress() {
        Rig rig;
        rig.toggle();
        QTRY_VERIFY(rig.allRegistered());
        rig.at(3).send(rssiPackage(23040));
        QTRY_COMPARE(rig.hex().size(), 1);
        QVERIFY(rig.hex()[0].startsWith(QStringLiteral("3$")));
        QCOMPARE(rig.hex()[0].section('\t', 1), QStringLiteral("00 00 00 00 0F 00 00 00 00 00 00 5A 00"));
        QTRY_COMPARE(sMeter(*rig.h.main, 3)->value(), 5);
        QCOMPARE(rig.h.main->model().decoder().portState(3).LastRSSI, std::string("-90"));
        QCOMPARE(rig.h.main->statusText(2), QStringLiteral(" T 0 / H 1"));
        // The stamp is now's.
        const QString stamp = rig.hex()[0].section('\t', 0, 0).mid(2);
        QVERIFY(qAbs(zelvar::HexToInt64(stamp.toStdString()) -
                     zelvar::HexToInt64(zelvar::NowStamp())) <= 2);
    }

    void sharedAndUnknownAddressesAreAttributedByRule() {
        Rig rig({"127.0.0.1", "127.0.0.2", "127.0.0.3", "127.0.0.2"});
        rig.toggle();
        QTRY_COMPARE(rig.at(2).count(QStringLiteral("AT_ZELVAR")), 1);
        QTRY_VERIFY(rig.at(1).count(QStringLiteral("AT_ZELVAR")) == 1);
        // Transceiver 4's address is taken by slot 2 as well: the higher slot wins.
        rig.at(2).send(QByteArray("\x01\x02", 2));
        QTRY_COMPARE(rig.hex().size(), 1);
        QVERIFY(rig.hex()[0].startsWith(QStringLiteral("4$")));
        // A sender that is no transceiver counts as port 1.
        QUdpSocket stranger;
        QVERIFY(stranger.bind(QHostAddress(QStringLiteral("127.0.0.9")), 0));
        stranger.writeDatagram(QByteArray("\x05", 1), QHostAddress(QStringLiteral("127.0.0.1")),
                               rig.session->sockets().localPort(3));
        QTRY_COMPARE(rig.hex().size(), 2);
        QVERIFY(rig.hex()[1].startsWith(QStringLiteral("1$")));
        QVERIFY(rig.hex()[1].endsWith(QStringLiteral("\t05")));
    }

    // The datagrams a full queue dropped (its rules: session_thread_tests)
    // have a panel of their own, shown only while there is something to count.
    void lostDatagramsShowInTheirOwnPanel() {
        Rig rig;
        rig.session->setBacklogLimit(1);
        rig.toggle();
        QTRY_VERIFY(rig.allRegistered());
        auto* lostPanel = rig.h.main->findChild<QLabel*>(QStringLiteral("StatusPanel6"));
        QVERIFY(lostPanel && lostPanel->isHidden());
        // No events run until the reading thread has taken in all three: one
        // waits for the window, two are dropped.
        for (int i = 0; i < 3; ++i) QVERIFY(rig.at(1).send(QByteArray(5, '\x01')));
        zelvar::TransceiverSockets& sockets = rig.session->sockets();
        QElapsedTimer guard;
        guard.start();
        while (sockets.queued() + sockets.dropped() < 3) {
            QVERIFY2(guard.elapsed() < kHangGuardMs, "the reading thread stopped reading");
            QThread::msleep(1);
        }
        QTRY_COMPARE(rig.h.main->statusText(6), QStringLiteral(" Lost 2"));
        QVERIFY(!lostPanel->isHidden());
        // A new session starts counting afresh.
        rig.toggle();
        rig.toggle();
        QVERIFY(rig.h.main->monitoring());
        QCOMPARE(rig.h.main->statusText(6), QString());
        QVERIFY(lostPanel->isHidden());
    }

    void intakeRulesForLengthAndFirstByte() {
        Rig rig;
        rig.toggle();
        QTRY_VERIFY(rig.allRegistered());
        QVERIFY(rig.h.main->logsSaved());
        rig.at(1).send(QByteArray("\x01\xFF\xFF\xFF\xFF\xFF", 6));
        QTRY_COMPARE(rig.hex().size(), 1);
        QVERIFY(rig.h.main->logsSaved());
        // Too long for the buffer: dropped, not cut short and decoded.
        rig.at(1).send(QByteArray(129, '\x00'));
        // Empty datagrams carry nothing.
        rig.at(1).send(QByteArray());
        // The bytes after a short datagram are zero, not left over.
        rig.at(1).send(QByteArray("\x00", 1));
        // One socket's datagrams are read in order: once the last is decoded,
        // the ones before it have been dealt with.
        QTRY_VERIFY(!rig.hex().isEmpty() && rig.hex().last().endsWith(QStringLiteral("\t00")));
        QCOMPARE(rig.hex().size(), 2);
        QVERIFY(rig.hex()[1].endsWith(QStringLiteral("\t00")));
        QCOMPARE(rig.h.main->model().decoder().receiveBuffer()[1], std::uint8_t{0});
        QCOMPARE(rig.h.main->model().decoder().hexCount(), 2);
        QVERIFY(!rig.h.main->logsSaved());
        rig.at(1).send(QByteArray(128, '\x01'));
        QTRY_COMPARE(rig.hex().size(), 3);
    }

    void stopSendsExitAndKeepsLinesAndCounts() {
        Rig rig;
        rig.toggle();
        QTRY_VERIFY(rig.allRegistered());
        rig.at(2).send(rssiPackage(0));
        QTRY_COMPARE(sMeter(*rig.h.main, 2)->value(), 9);
        rig.toggle();
        QVERIFY(!rig.h.main->monitoring());
        for (int n = 1; n <= 4; ++n) {
            QTRY_COMPARE(rig.at(n).commands,
                         (QStringList{QStringLiteral("AT_ZELVAR"), QStringLiteral("EXIT_ZELVAR")}));
        }
        QCOMPARE(rig.text().last(), QStringLiteral("Stop"));
        QCOMPARE(sMeter(*rig.h.main, 2)->value(), 0);
        QCOMPARE(rig.h.main->model().decoder().hexCount(), 1);
        QCOMPARE(rig.h.main->statusText(4), QStringLiteral(" Stopped"));
        QVERIFY(action(*rig.h.main, "mnuDecode")->isEnabled());
        QVERIFY(logView(*rig.h.main, "Memo2")->isEnabled());
        QVERIFY(rig.h.options->findChild<QWidget*>(QStringLiteral("EditIP1"))->isEnabled());
        QVERIFY(!rig.session->Timer.isActive());
        // Starting again clears the counts and follows "Stop" with a new header.
        rig.toggle();
        QCOMPARE(rig.h.main->model().decoder().hexCount(), 0);
        QCOMPARE(rig.h.main->statusText(2), QString());
        QCOMPARE(rig.text().last(), QString::fromLatin1(zelvar::TextHeader.data()));
        QCOMPARE(rig.text()[rig.text().size() - 2], QStringLiteral("Stop"));
    }

    // Counted in ticks of the 500 ms timer, which the test gives itself: a
    // loaded machine may fire the timer late, which is no fault.
    void silentTransceiverIsRegisteredAgainAndMeterFallsBack() {
        Rig rig({"127.0.0.1", "127.0.0.2", "127.0.0.3", "127.0.0.4"}, 1);
        QCOMPARE(rig.session->Timer.interval(), 500);
        rig.toggle();
        QVERIFY(rig.session->Timer.isActive());
        rig.session->Timer.stop();
        QTRY_VERIFY(rig.allRegistered());
        QVERIFY(rig.at(4).send(rssiPackage(0)));
        QTRY_COMPARE(sMeter(*rig.h.main, 4)->value(), 9);
        // The meter falls back within two ticks (at most a second).
        rig.session->TimerTick();
        rig.session->TimerTick();
        QCOMPARE(sMeter(*rig.h.main, 4)->value(), 0);
        // With a time-out of 1 s the command comes again every third tick
        // (1.5 s). A command is sent before TimerTick returns; the datagram
        // of each tick is waited for before the next.
        std::vector<int> commandTicks;
        for (int tick = 1; commandTicks.size() < 3 && tick <= 20; ++tick) {
            const int before = rig.at(1).count(QStringLiteral("AT_ZELVAR"));
            const std::int64_t decoded = rig.h.main->model().decoder().hexCount();
            rig.session->TimerTick();
            // A datagram from transceiver 2 after the tick marks its end.
            QVERIFY(rig.at(2).send(QByteArray("\x05", 1)));
            QTRY_COMPARE(rig.h.main->model().decoder().hexCount(), decoded + 1);
            rig.at(1).readPending();
            if (rig.at(1).count(QStringLiteral("AT_ZELVAR")) > before) commandTicks.push_back(tick);
        }
        QCOMPARE(commandTicks.size(), std::size_t{3});
        QCOMPARE(commandTicks[1] - commandTicks[0], 3);
        QCOMPARE(commandTicks[2] - commandTicks[1], 3);
    }

    void failedSocketCreationEndsInSocketError() {
        Rig rig;
        rig.session->sockets().setSocketCreator([] {
            errno = EACCES;
            return -1;
        });
        rig.toggle();
        QVERIFY(action(*rig.h.main, "mnuStartUDP")->isChecked());
        QVERIFY(!rig.h.main->monitoring());
        QCOMPARE(rig.h.main->statusText(4), QStringLiteral(" Socket Error"));
        QVERIFY2(statusHint(*rig.h.main, 4).contains(systemText(EACCES)),
                 qPrintable(statusHint(*rig.h.main, 4)));
        QCOMPARE(rig.text(), (QStringList{QString::fromLatin1(zelvar::TextHeader.data()),
                                          QStringLiteral("Stop")}));
        QVERIFY(!rig.session->Timer.isActive());
        // The editor stays closed while the check mark is set.
        rig.h.main->mnuEditorClick();
        QVERIFY(!rig.h.editor->isVisible());
        // Choosing it again only removes the check mark.
        rig.toggle();
        QVERIFY(!action(*rig.h.main, "mnuStartUDP")->isChecked());
        QCOMPARE(rig.h.main->statusText(4), QStringLiteral(" Socket Error"));
        QCOMPARE(rig.text().size(), 2);
    }

    // No descriptor left once the four sockets are made: the reading thread
    // cannot be given its stop signal, so the start fails as a socket error
    // rather than leaving a session that Stop or close could never end.
    void startWithoutADescriptorLeftIsASocketError() {
        Rig rig;
        rlimit before{};
        QVERIFY(::getrlimit(RLIMIT_NOFILE, &before) == 0);
        std::vector<int> filler;
        const auto release = [&] {
            (void)::setrlimit(RLIMIT_NOFILE, &before);
            for (const int fd : filler) ::close(fd);
            filler.clear();
        };
        int made = 0;
        rig.session->sockets().setSocketCreator([&] {
            const int fd = plainUdpSocket();
            if (++made == 4 && fd >= 0) {
                rlimit tight = before;
                tight.rlim_cur = static_cast<rlim_t>(fd) + 1;
                (void)::setrlimit(RLIMIT_NOFILE, &tight);
                for (int spare = ::dup(fd); spare >= 0; spare = ::dup(fd)) filler.push_back(spare);
            }
            return fd;
        });
        rig.toggle();
        release();
        if (rig.h.main->monitoring()) {
            // Stopping this session would wait forever for its thread.
            rig.h.main->model().setMonitoringControl(nullptr);
            (void)rig.session.release();
            QFAIL("the session started without a way to stop its reading thread");
        }
        QCOMPARE(rig.h.main->statusText(4), QStringLiteral(" Socket Error"));
        QVERIFY2(statusHint(*rig.h.main, 4).contains(systemText(EMFILE)),
                 qPrintable(statusHint(*rig.h.main, 4)));
        QVERIFY(!rig.session->sockets().isOpen());
    }

    void portTextThatIsNoNumberChangesNothing() {
        Rig rig;
        rig.h.settings.Port[2] = "40X4";
        rig.toggle();
        QCOMPARE(rig.h.dialogs.errors, QStringList{QStringLiteral("'40X4' is not a valid integer value")});
        QVERIFY(!action(*rig.h.main, "mnuStartUDP")->isChecked());
        QVERIFY(!rig.h.main->monitoring());
        QVERIFY(!rig.session->sockets().isOpen());
        QVERIFY(rig.text().isEmpty());
        QVERIFY(action(*rig.h.main, "mnuDecode")->isEnabled());
        QVERIFY(logView(*rig.h.main, "Memo2")->isEnabled());
        // No socket was made, so nothing can have been sent.
        rig.at(1).readPending();
        QCOMPARE(rig.at(1).commands.size(), 0);
    }

    void closingDuringMonitoringSaysGoodbyeFirst() {
        Rig rig;
        rig.toggle();
        QTRY_VERIFY(rig.allRegistered());
        rig.at(1).send(QByteArray("\x00\x01", 2));
        QTRY_COMPARE(rig.hex().size(), 1);
        rig.h.main->close();
        for (int n = 1; n <= 4; ++n) {
            QTRY_COMPARE(rig.at(n).count(QStringLiteral("EXIT_ZELVAR")), 1);
        }
        // The datagram with first byte 00 made the views worth saving.
        QCOMPARE(rig.h.savedFiles().size(), 2);
        const QByteArray text = MainHarness::readAll(
            QDir(rig.h.filesDir()).filePath(rig.h.savedFiles().last()));
        QVERIFY(text.endsWith("Stop\r\n"));
    }

    // Ctrl+M pressed twice quickly: the second press arrives while the stop
    // lets events run, and is refused rather than starting a session that
    // the stop then strips of its sockets.
    void choiceArrivingWhileStoppingIsRefused() {
        Rig rig;
        rig.toggle();
        QTRY_VERIFY(rig.allRegistered());
        QTimer::singleShot(0, rig.h.main.get(), [&] { rig.toggle(); });
        rig.toggle();
        QVERIFY(!action(*rig.h.main, "mnuStartUDP")->isChecked());
        QVERIFY(!rig.h.main->monitoring());
        QVERIFY(!rig.session->Timer.isActive());
        QVERIFY(!rig.session->sockets().isOpen());
        QCOMPARE(rig.h.main->statusText(4), QStringLiteral(" Stopped"));
        QVERIFY(action(*rig.h.main, "mnuDecode")->isEnabled());
        // The sockets are closed: a second registration could only have
        // been sent before the refusal returned.
        rig.at(1).readPending();
        QCOMPARE(rig.at(1).count(QStringLiteral("AT_ZELVAR")), 1);
    }

    // A close asked for while the stop runs waits for it, so the saved log
    // ends with the stop.
    void closeArrivingWhileStoppingFollowsTheStop() {
        Rig rig;
        rig.toggle();
        QTRY_VERIFY(rig.allRegistered());
        rig.at(1).send(QByteArray("\x00\x01", 2));
        QTRY_COMPARE(rig.hex().size(), 1);
        bool refused = false;
        QTimer::singleShot(0, rig.h.main.get(), [&] { refused = !rig.h.main->close(); });
        rig.toggle();
        QVERIFY(refused);
        QTRY_VERIFY(!rig.h.main->isVisible());
        QCOMPARE(rig.h.savedFiles().size(), 2);
        const QByteArray text = MainHarness::readAll(
            QDir(rig.h.filesDir()).filePath(rig.h.savedFiles().last()));
        QVERIFY(text.endsWith("Stop\r\n"));
    }

    // The close sequence lets events run before it saves: a start or an
    // editor opened then would run beside the close or keep the log unsaved.
    void commandsArrivingWhileClosingAreRefused() {
        for (const char* command : {"mnuStartUDP", "mnuEditor"}) {
            Rig rig;
            rig.h.main->model().appendTextLine("unsaved");
            rig.h.main->model().liveDataReceived();
            QAction* chosen = action(*rig.h.main, command);
            QTimer::singleShot(0, rig.h.main.get(), [chosen] { chosen->trigger(); });
            QVERIFY(rig.h.main->close());
            QVERIFY2(rig.h.savedFiles().size() == 1, command);
            QVERIFY(!rig.h.editor->isVisible());
            QVERIFY(!action(*rig.h.main, "mnuStartUDP")->isChecked());
            rig.at(1).readPending();
            QCOMPARE(rig.at(1).commands.size(), 0);
        }
    }

    void creatingAgainClosesTheOpenSockets() {
        const auto openFiles = [] {
            return QDir(QStringLiteral("/proc/self/fd"))
                .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                .size();
        };
        zelvar::TransceiverSockets sockets;
        QVERIFY(sockets.create());
        const qsizetype once = openFiles();
        QVERIFY(sockets.create());
        QCOMPARE(openFiles(), once);
    }
};

QTEST_MAIN(MonitoringSessionTest)
#include "MonitoringSessionTest.moc"
