// The monitoring session's threads without a window: its sockets are read on
// a thread of their own, and what was read is handed over to the window's
// thread and decoded there. Four transceivers played by this test on
// 127.0.0.1 to 127.0.0.4. The test command runs it under ThreadSanitizer.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "EventLoopTest.h"
#include "MonitoringSession.h"
#include "PackageDecoder.h"
#include "UdpDrops.h"

using namespace zelvar;
using namespace std::chrono_literals;

namespace {

// The window as the session sees it: a decoder whose hex lines are kept, and
// the status panels' texts.
class FakeWindow : public SessionHost, public DecoderOutput {
public:
    const Settings& sessionSettings() const override { return settings; }
    bool startMonitoringChecked() const override { return checked; }
    void setStartMonitoringChecked(bool c) override { checked = c; }
    bool monitoring() const override { return monitoring_; }
    void setMonitoring(bool running) override { monitoring_ = running; }
    bool closing() const override { return false; }
    bool offlineDecodingRuns() const override { return false; }
    void liveDataReceived() override {}
    void sessionStarting() override {}
    void sessionEnding() override {}
    void sessionEnded() override {}
    void setAddressFieldsEnabled(bool) override {}
    void setStatusText(int panel, const QString& text) override { status[panel] = text; }
    void setSessionStatusText(const QString& text, const QString& hint) override {
        status[4] = text;
        sessionHint = hint;
    }
    bool ownPositionInReports() const override { return false; }
    void showError(const QString&) override {}
    void appendTextLine(std::string_view) override {}
    void resetSMeters() override {}
    void UpdateSMeterHints() override {}
    void zeroSMeter(int) override {}
    void liveHexLine(std::string_view line) override { hex.emplace_back(line); }

    Settings settings;
    bool checked = false;
    std::map<int, QString> status;
    QString sessionHint;
    std::vector<std::string> hex;

private:
    bool monitoring_ = false;
    DisplayMirrors mirrors_;
    GpsState gps_;

public:
    BusyRuns runs;
    PackageDecoder decoder{settings, mirrors_, gps_, *this};
};

// One transceiver: a UDP socket on its own loopback address.
class Transceiver {
public:
    explicit Transceiver(int n) : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        const sockaddr_in at = loopback(n, 0);
        if (::bind(fd_, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0) {
            ADD_FAILURE() << "cannot bind 127.0.0." << n << ": " << std::strerror(errno);
        }
    }
    ~Transceiver() { ::close(fd_); }
    Transceiver(const Transceiver&) = delete;
    Transceiver& operator=(const Transceiver&) = delete;

    static sockaddr_in loopback(int n, std::uint16_t port) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK + static_cast<std::uint32_t>(n - 1));
        return a;
    }
    std::uint16_t port() const {
        sockaddr_in a{};
        socklen_t length = sizeof a;
        return ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length) == 0 ? ntohs(a.sin_port) : 0;
    }
    // Sends to the session's socket bound to `port`.
    bool send(const std::string& bytes, std::uint16_t port) const {
        const sockaddr_in to = loopback(1, port);
        return ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                        sizeof to) == static_cast<ssize_t>(bytes.size());
    }

private:
    int fd_;
};

// A package numbered `i` in its bytes 1..3.
std::string numbered(int i) {
    return {'\x01', static_cast<char>(i >> 16), static_cast<char>(i >> 8), static_cast<char>(i), '\x01'};
}

class SessionThreads : public test::EventLoopTest {
protected:
    void SetUp() override {
        for (std::size_t i = 0; i < t.size(); ++i) {
            window.settings.IP[i] = "127.0.0." + std::to_string(i + 1);
            window.settings.Port[i] = std::to_string(t[i].port());
        }
    }
    void start() {
        window.checked = true;
        session.startMonitoringChosen();
        ASSERT_TRUE(window.monitoring());
    }
    void stop() {
        window.checked = false;
        session.startMonitoringChosen();
    }
    bool sendFrom(int n, const std::string& bytes) {
        return t[static_cast<std::size_t>(n - 1)].send(bytes, session.sockets().localPort(n));
    }
    std::int64_t decoded() { return window.decoder.hexCount(); }

    FakeWindow window;
    std::array<Transceiver, 4> t{Transceiver(1), Transceiver(2), Transceiver(3), Transceiver(4)};
    MonitoringSession session{{window, window.decoder, window.runs}};
};

// While the window's thread is busy (here: sending) the sockets are read all
// the same: a burst bigger than their buffers is decoded whole, in order. A
// loaded machine may not run the reading thread in time, and the kernel then
// drops datagrams before the program sees them: those it counts
// (UdpRcvbufErrors of this network namespace) are told apart; the program
// itself must lose none.
TEST_F(SessionThreads, ABurstWhileTheWindowIsBusyIsDecodedWholeInOrder) {
    start();
    constexpr int kBurst = 48000;
    const long long kernelBefore = test::UdpRcvbufErrors();
    ASSERT_GE(kernelBefore, 0);
    for (int i = 0; i < kBurst; ++i) ASSERT_TRUE(sendFrom(1 + i % 4, numbered(i)));
    const auto kernelDrops = [&] { return test::UdpRcvbufErrors() - kernelBefore; };
    ASSERT_TRUE(spinUntil([&] { return decoded() + kernelDrops() >= kBurst; }));
    EXPECT_EQ(decoded() + kernelDrops(), kBurst);
    EXPECT_EQ(session.lost(), 0u);
    // "N$stamp\t01 XX XX XX 01": the numbers of each port only grow.
    std::array<long, 5> last{-1, -1, -1, -1, -1};
    for (const std::string& line : window.hex) {
        const auto port = static_cast<std::size_t>(line[0] - '0');
        std::string digits = line.substr(line.find('\t') + 4, 8);
        digits.erase(std::remove(digits.begin(), digits.end(), ' '), digits.end());
        const long i = std::stol(digits, nullptr, 16);
        ASSERT_GT(i, last[port]) << line;
        last[port] = i;
    }
}

// A window that cannot keep up: what the bounded queue cannot hold is
// dropped and counted, never held without limit, and the window is told how
// many. What the kernel dropped on a loaded machine is told apart.
TEST_F(SessionThreads, AFloodBeyondTheQueueIsCountedAsLost) {
    constexpr std::size_t kLimit = 1000;
    constexpr int kFlood = 3000;
    session.setBacklogLimit(kLimit);
    start();
    const long long kernelBefore = test::UdpRcvbufErrors();
    ASSERT_GE(kernelBefore, 0);
    for (int i = 0; i < kFlood; ++i) ASSERT_TRUE(sendFrom(1 + i % 4, numbered(i)));
    // The window's thread runs no events until the reading thread has taken
    // in, or the kernel dropped, every datagram.
    TransceiverSockets& sockets = session.sockets();
    const auto kernelDrops = [&] { return test::UdpRcvbufErrors() - kernelBefore; };
    const auto guard = std::chrono::steady_clock::now() + 60s;
    while (static_cast<long long>(sockets.queued() + sockets.dropped()) + kernelDrops() < kFlood) {
        ASSERT_LT(std::chrono::steady_clock::now(), guard) << "the reading thread stopped reading";
        std::this_thread::sleep_for(1ms);
    }
    const auto arrived = static_cast<std::size_t>(kFlood - kernelDrops());
    const std::size_t kept = std::min(kLimit, arrived);
    EXPECT_EQ(sockets.queued(), kept);
    EXPECT_EQ(sockets.dropped(), arrived - kept);

    std::size_t held = 0;
    ASSERT_TRUE(spinUntil([&] {
        held = std::max(held, session.held());
        return decoded() == static_cast<std::int64_t>(kept);
    }));
    EXPECT_LE(held, kLimit);
    EXPECT_EQ(session.lost(), arrived - kept);
    if (session.lost() > 0) {
        EXPECT_EQ(window.status[6], QStringLiteral(" Lost %1").arg(session.lost()));
    }
    // A new session starts counting afresh.
    stop();
    start();
    EXPECT_EQ(window.status[6], QString());
    EXPECT_EQ(session.lost(), 0u);
}

// A socket that reports an error when read (here: transceiver 1's port is
// closed, and its connected socket hears of it) is named to the window with
// the system's text; the other transceivers are read on.
TEST_F(SessionThreads, AReadErrorIsHandedOverWithItsReason) {
    std::uint16_t closedPort = 0;
    {
        const Transceiver probe(1);
        closedPort = probe.port();
    }
    window.settings.Port[0] = std::to_string(closedPort);
    int made = 0;
    session.sockets().setSocketCreator([&] {
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        // Only a connected socket is told that nobody listens.
        if (++made == 1 && fd >= 0) {
            const sockaddr_in to = Transceiver::loopback(1, closedPort);
            (void)::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        }
        return fd;
    });
    start();
    ASSERT_TRUE(spinUntil([&] { return window.status[4] == QStringLiteral(" Socket Error"); }));
    EXPECT_EQ(window.sessionHint,
              QStringLiteral("Port 1: ") + QString::fromLocal8Bit(std::strerror(ECONNREFUSED)));
    ASSERT_TRUE(sendFrom(2, numbered(7)));
    ASSERT_TRUE(spinUntil([&] { return decoded() == 1; }));
    EXPECT_EQ(window.hex.front()[0], '2');
    stop();
    EXPECT_EQ(window.status[4], QStringLiteral(" Stopped"));
}

// Sessions started and stopped while a transceiver sends without pause: the
// stop waits for the reading thread, and what it read before the sockets
// closed is decoded, none left waiting.
TEST_F(SessionThreads, StoppingWhileDatagramsPourInDecodesWhatWasRead) {
    std::atomic<std::uint16_t> port{0};
    std::atomic<bool> done{false};
    std::thread sender([&] {
        for (int i = 0; !done; ++i) {
            if (const std::uint16_t p = port) (void)t[1].send(numbered(i), p);
            if (i % 64 == 0) std::this_thread::sleep_for(100us);
        }
    });
    for (int round = 0; round < 5; ++round) {
        start();
        port = session.sockets().localPort(2);
        const std::int64_t before = decoded();
        ASSERT_TRUE(spinUntil([&] { return decoded() > before + 100; }));
        stop();
        EXPECT_EQ(session.sockets().queued(), 0u);
        EXPECT_EQ(session.held(), 0u);
    }
    done = true;
    sender.join();
}

}  // namespace
