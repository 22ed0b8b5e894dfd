#include <gtest/gtest.h>
#include <sys/resource.h>
#include <termios.h>

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "BCPort.h"
#include "EventLoopTest.h"
#include "PtyPair.h"

using namespace zelvar;
using namespace std::chrono_literals;

namespace {

// Counts the jobs the event thread posts, so a test can catch it waiting on
// a hand-off the window thread has not run yet.
class CountingPost : public MainThreadPost {
public:
    CountingPost() : inner_(MakeMainThreadPost()) {}
    void post(std::function<void()> job) override {
        ++posted;
        inner_->post(std::move(job));
    }
    std::atomic<int> posted{0};

private:
    std::unique_ptr<MainThreadPost> inner_;
};

std::size_t threadCount() {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++n;
    return n;
}

double cpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

std::string comText(const std::function<void()>& action) {
    try {
        action();
    } catch (const EComPort& e) {
        return e.what();
    }
    return "no failure";
}

class ComPort : public zelvar::test::EventLoopTest {
protected:
    PtyPair pty;
};

TEST_F(ComPort, DefaultsAndEvenQueueSizes) {
    TBComPort port;
    EXPECT_EQ(port.BaudRate(), TBaudRate::br9600);
    EXPECT_EQ(port.ByteSize(), TByteSize::bs8);
    EXPECT_EQ(port.Parity(), TParity::paNone);
    EXPECT_EQ(port.StopBits(), TStopBits::sb1);
    EXPECT_EQ(port.Port(), "COM2");
    EXPECT_EQ(port.SyncMethod(), TSyncMethod::smThreadSync);
    EXPECT_EQ(port.Timeouts(), (TComTimeouts{-1, 0, 0, 100, 1000}));
    EXPECT_FALSE(port.Connected());
    port.SetInBufSize(2049);
    port.SetOutBufSize(7);
    EXPECT_EQ(port.InBufSize(), 2048);
    EXPECT_EQ(port.OutBufSize(), 6);
}

TEST_F(ComPort, MissingDeviceThenTheSamePortOpensOnceItExists) {
    TBComPort port;
    port.SetPort("ttyZELVARMISSING0");
    EXPECT_EQ(comText([&] { port.Open(); }), "Попытка открыть несуществующий COM-порт");
    EXPECT_FALSE(port.Connected());
    // A device that is no terminal opens, then fails to take line settings.
    port.SetPort("/dev/null");
    EXPECT_EQ(comText([&] { port.Open(); }), "Ошибка функции SetCommState");
    EXPECT_FALSE(port.Connected());
    port.SetPort(pty.path);
    port.Open();
    EXPECT_TRUE(port.Connected());
}

TEST_F(ComPort, OpenTwiceOneThreadCloseTwiceNothing) {
    const std::size_t before = threadCount();
    TBComPort port;
    port.SetPort(pty.path);
    port.Open();
    port.Open();
    EXPECT_EQ(threadCount(), before + 1);
    port.Close();
    port.Close();
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(threadCount(), before);
    // And again, on the same component.
    port.Open();
    EXPECT_TRUE(port.Connected());
    port.Close();
}

TEST_F(ComPort, HeldPortIsBusyEvenForRoot) {
    TBComPort first;
    TBComPort second;
    first.SetPort(pty.path);
    second.SetPort(pty.path);
    first.Open();
    EXPECT_EQ(comText([&] { second.Open(); }), "Порт занят другой программой");
    EXPECT_FALSE(second.Connected());
    first.Close();
    second.Open();
    EXPECT_TRUE(second.Connected());
}

TEST_F(ComPort, SettingsChangedWhileOpenApplyAtOnce) {
    TBComPort port;
    port.SetPort(pty.path);
    port.SetBaudRate(TBaudRate::br4800);
    port.Open();
    termios tio{};
    ASSERT_EQ(tcgetattr(pty.slave, &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B4800));
    EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);

    // (A pseudo-terminal keeps 8 bits without parity whatever it is told;
    // its speed is what shows a change.)
    port.SetBaudRate(TBaudRate::br9600);
    ASSERT_EQ(tcgetattr(pty.slave, &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B9600));

    EXPECT_EQ(comText([&] { port.SetPort(pty.path); }), "Нельзя менять свойство, пока порт открыт");
    EXPECT_EQ(comText([&] { port.SetSyncMethod(TSyncMethod::smNone); }), "Нельзя менять свойство, пока порт открыт");
    port.SetSyncMethod(TSyncMethod::smThreadSync);  // the same value is no change
    // A rate the terminal has no constant for is refused, and said so.
    EXPECT_EQ(comText([&] { port.SetBaudRate(TBaudRate::br14400); }), "Ошибка функции SetCommState");
}

std::string syncName(const testing::TestParamInfo<TSyncMethod>& p) {
    static const char* const names[] = {"ThreadSync", "WindowSync", "None"};
    return names[static_cast<int>(p.param)];
}

// Every hand-off method announces bytes, and ReadString gives exactly them.
class ComPortSync : public ComPort, public testing::WithParamInterface<TSyncMethod> {};

TEST_P(ComPortSync, AnnouncesArrivalsAndReadsThemAtOnce) {
    TBComPort port;
    port.SetPort(pty.path);
    port.SetSyncMethod(GetParam());
    std::mutex mutex;
    std::string received;
    std::atomic<bool> onWindowThread{true};
    const Qt::HANDLE windowThread = QThread::currentThreadId();
    port.OnRxChar = [&](TBComPort& sender, int count) {
        if (QThread::currentThreadId() != windowThread) onWindowThread = false;
        const auto start = std::chrono::steady_clock::now();
        const std::string bytes = sender.ReadString(count + 100);  // more than is there
        EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
        EXPECT_EQ(bytes.size(), static_cast<std::size_t>(count));
        const std::lock_guard lock(mutex);
        received += bytes;
    };
    port.Open();
    ASSERT_TRUE(pty.send("$GPRMC,1\r"));
    ASSERT_TRUE(spinUntil([&] {
        const std::lock_guard lock(mutex);
        return received == "$GPRMC,1\r";
    }));
    EXPECT_EQ(onWindowThread, GetParam() != TSyncMethod::smNone);
    EXPECT_EQ(port.ReadString(10), "");
    EXPECT_EQ(port.ReadString(0), "");
    port.Close();
    EXPECT_EQ(comText([&] { port.ReadString(1); }), "Ошибка чтения из порта");
}

INSTANTIATE_TEST_SUITE_P(Methods, ComPortSync,
                         testing::Values(TSyncMethod::smThreadSync, TSyncMethod::smWindowSync,
                                         TSyncMethod::smNone),
                         syncName);

TEST_F(ComPort, BytesArrivingDuringAHandOffRaiseAFurtherEvent) {
    TBComPort port;
    port.SetPort(pty.path);
    int events = 0;
    std::string received;
    port.OnRxChar = [&](TBComPort& sender, int count) {
        if (++events == 1) {
            // The receiver goes on sending while the window is busy.
            pty.send("second");
            std::this_thread::sleep_for(50ms);
        }
        received += sender.ReadString(count);
    };
    port.Open();
    pty.send("first");
    ASSERT_TRUE(spinUntil([&] { return received == "firstsecond"; }));
    EXPECT_EQ(events, 2);
}

TEST_F(ComPort, CloseGivesUpAPendingHandOff) {
    auto post = std::make_unique<CountingPost>();
    CountingPost& counter = *post;
    TBComPort port(std::move(post));
    port.SetPort(pty.path);
    int events = 0;
    port.OnRxChar = [&](TBComPort&, int) { ++events; };
    port.Open();
    pty.send("bytes nobody will read");
    // The event thread now waits for the window thread, which is here, not
    // in its event loop.
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (counter.posted == 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
    ASSERT_EQ(counter.posted, 1);
    const auto start = std::chrono::steady_clock::now();
    port.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    // The job given up on finds the port closed and calls nobody.
    spinFor(50ms);
    EXPECT_EQ(events, 0);
}

TEST_F(ComPort, HandlerMayCloseThePort) {
    TBComPort port;
    port.SetPort(pty.path);
    port.OnRxChar = [&](TBComPort& sender, int) { sender.Close(); };
    port.Open();
    pty.send("x");
    ASSERT_TRUE(spinUntil([&] { return !port.Connected(); }));
    port.Open();
    EXPECT_TRUE(port.Connected());
}

TEST_F(ComPort, FullQueueWaitsForTheReader) {
    TBComPort port;
    port.SetPort(pty.path);
    port.SetInBufSize(16);
    int full = 0;
    int count = 0;
    port.OnRx80Full = [&](TBComPort&) { ++full; };
    port.OnRxChar = [&](TBComPort&, int n) { count = n; };  // reads nothing
    port.Open();
    pty.send(std::string(40, 'a'));
    ASSERT_TRUE(spinUntil([&] { return count == 16; }));
    EXPECT_EQ(full, 1);
    // Nothing is lost: the rest waits in the terminal until there is room.
    EXPECT_EQ(port.ReadString(100), std::string(40, 'a'));
}

TEST_F(ComPort, UnplugIsToldOnceWithoutSpinning) {
    TBComPort port;
    port.SetPort(pty.path);
    int lost = 0;
    std::string received;
    port.OnRxChar = [&](TBComPort& sender, int count) { received += sender.ReadString(count); };
    port.OnDeviceLost = [&](TBComPort&) { ++lost; };
    port.Open();
    pty.send("last words\r");
    ASSERT_TRUE(spinUntil([&] { return !received.empty(); }));
    pty.closeMaster();
    ASSERT_TRUE(spinUntil([&] { return lost == 1; }));
    const double cpuBefore = cpuMs();
    spinFor(500ms);
    EXPECT_LT(cpuMs() - cpuBefore, 150.0);
    EXPECT_EQ(lost, 1);
    EXPECT_EQ(received, "last words\r");
    EXPECT_TRUE(port.Connected());
    EXPECT_NO_THROW(port.Close());
    EXPECT_FALSE(port.Connected());
}

}  // namespace
