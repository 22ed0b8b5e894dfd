// Runs the built zelvar-sim on 127.0.0.1..4 and plays the program's side of
// the wire from a test socket. Runs inside the test command's private network
// namespace.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Package.h"
#include "PackageGenerator.h"
#include "UdpSocket.h"

extern char** environ;

namespace zelvar::sim {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

std::string readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

class ScratchDir {
public:
    ScratchDir() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base && *base ? base : "/tmp") + "/zelvar-sim-test-XXXXXX";
        path_ = mkdtemp(pattern.data());
    }
    ~ScratchDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// The simulator as a child process, its stdout and stderr in files.
class SimProcess {
public:
    SimProcess(const std::vector<std::string>& arguments, const fs::path& dir)
        : stdout_(dir / "stdout.txt"), stderr_(dir / "stderr.txt") {
        std::vector<std::string> all{ZELVAR_SIM_BINARY};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (auto& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, stdout_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addopen(&actions, 2, stderr_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~SimProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool started() const { return pid_ > 0; }
    void terminate() const { kill(pid_, SIGTERM); }

    // The exit status, or -1 if it is still running after timeout.
    int waitForExit(std::chrono::milliseconds timeout) {
        const auto deadline = Clock::now() + timeout;
        while (Clock::now() < deadline) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(10ms);
        }
        return -1;
    }
    std::string out() const { return readFile(stdout_); }
    std::string err() const { return readFile(stderr_); }

private:
    pid_t pid_ = -1;
    fs::path stdout_;
    fs::path stderr_;
};

// Four loopback endpoints with ports the system has just found free.
std::array<Endpoint, 4> freeEndpoints() {
    std::array<Endpoint, 4> endpoints{};
    for (int n = 1; n <= 4; ++n) {
        UdpSocket probe;
        std::string error;
        EXPECT_TRUE(probe.bindLoopback(Endpoint{transceiverAddress(n), 0}, error)) << error;
        endpoints[static_cast<std::size_t>(n - 1)] = probe.localEndpoint();
    }
    return endpoints;
}

std::vector<std::string> listenArguments(const std::array<Endpoint, 4>& endpoints) {
    std::vector<std::string> arguments;
    for (int n = 1; n <= 4; ++n) {
        arguments.push_back("--listen");
        arguments.push_back(std::to_string(n) + "=" +
                            formatEndpoint(endpoints[static_cast<std::size_t>(n - 1)]));
    }
    return arguments;
}

bool waitForFile(const fs::path& path) {
    for (int i = 0; i < 500 && !fs::exists(path); ++i) std::this_thread::sleep_for(10ms);
    return fs::exists(path);
}

struct Received {
    int transceiver;
    Bytes bytes;
};

// The program's side: one socket that registers with the transceivers.
class Client {
public:
    explicit Client(const std::array<Endpoint, 4>& transceivers) : transceivers_(transceivers) {
        std::string error;
        EXPECT_TRUE(socket_.bindLoopback(Endpoint{transceiverAddress(1), 0}, error)) << error;
        // Room for a few seconds of traffic, as the program's own sockets
        // have: on a loaded machine this process may not be scheduled for a
        // while, and what the kernel drops then is no fault of the emulator.
        int size = 4 << 20;
        if (::setsockopt(socket_.fd(), SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0) {
            (void)::setsockopt(socket_.fd(), SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        }
    }
    void command(int transceiver, std::string_view word) {
        const Bytes payload(word.begin(), word.end());
        EXPECT_EQ(socket_.sendTo(transceivers_[static_cast<std::size_t>(transceiver - 1)], payload),
                  UdpSocket::SendStatus::Sent);
    }
    // Collects datagrams until `until` holds or timeout passes; false on timeout.
    template <typename Predicate>
    bool receiveUntil(Predicate until, std::chrono::milliseconds timeout) {
        const auto deadline = Clock::now() + timeout;
        while (!until()) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left <= 0ms) return false;
            pollfd fd{socket_.fd(), POLLIN, 0};
            if (poll(&fd, 1, static_cast<int>(left.count())) > 0) drain();
        }
        return true;
    }
    // Collects until the transceivers have been quiet for `quiet`.
    void receiveUntilQuiet(std::chrono::milliseconds quiet, std::chrono::milliseconds timeout) {
        const auto deadline = Clock::now() + timeout;
        while (Clock::now() < deadline) {
            pollfd fd{socket_.fd(), POLLIN, 0};
            if (poll(&fd, 1, static_cast<int>(quiet.count())) <= 0) return;
            drain();
        }
    }
    std::size_t countFrom(int transceiver) const {
        std::size_t count = 0;
        for (const auto& r : received) count += r.transceiver == transceiver ? 1 : 0;
        return count;
    }
    std::vector<Bytes> bytesFrom(int transceiver) const {
        std::vector<Bytes> out;
        for (const auto& r : received) {
            if (r.transceiver == transceiver) out.push_back(r.bytes);
        }
        return out;
    }

    std::vector<Received> received;
    std::vector<Clock::time_point> arrivals;

private:
    void drain() {
        std::array<std::uint8_t, 256> buffer{};
        Endpoint from;
        for (long length; (length = socket_.receiveFrom(buffer, from)) >= 0;) {
            int transceiver = 0;
            for (int n = 1; n <= 4; ++n) {
                if (transceivers_[static_cast<std::size_t>(n - 1)] == from) transceiver = n;
            }
            EXPECT_NE(transceiver, 0) << "datagram from " << formatEndpoint(from);
            received.push_back({transceiver, Bytes(buffer.begin(), buffer.begin() + length)});
            arrivals.push_back(Clock::now());
        }
    }

    std::array<Endpoint, 4> transceivers_;
    UdpSocket socket_;
};

std::string expectedSummary(const std::array<std::size_t, 4>& sent, int registered, int exited) {
    std::string text;
    std::size_t total = 0;
    for (int n = 1; n <= 4; ++n) {
        const auto count = sent[static_cast<std::size_t>(n - 1)];
        text += "transceiver " + std::to_string(n) + ": registered " + std::to_string(registered) +
                " exited " + std::to_string(exited) + " sent " + std::to_string(count) + "\n";
        total += count;
    }
    return text + "sent " + std::to_string(total) + "\n";
}

TEST(ZelvarSimEndToEnd, SendsAfterRegistrationAndStopsAfterExit) {
    ScratchDir dir;
    const auto endpoints = freeEndpoints();
    auto arguments = listenArguments(endpoints);
    arguments.insert(arguments.end(), {"--generate", "--rate", "2000", "--seed", "5", "--sent-log",
                                       (dir.path() / "sent.hex").string(), "--ready-file",
                                       (dir.path() / "ready").string()});
    SimProcess sim(arguments, dir.path());
    ASSERT_TRUE(sim.started());
    ASSERT_TRUE(waitForFile(dir.path() / "ready")) << sim.err();

    Client client(endpoints);
    client.receiveUntilQuiet(100ms, 200ms);
    EXPECT_TRUE(client.received.empty()) << "packages before any registration";
    for (int n = 1; n <= 4; ++n) client.command(n, "AT_ZELVAR");
    ASSERT_TRUE(client.receiveUntil(
        [&] {
            for (int n = 1; n <= 4; ++n) {
                if (client.countFrom(n) < 100) return false;
            }
            return true;
        },
        5000ms));

    for (int n = 1; n <= 4; ++n) client.command(n, "EXIT_ZELVAR");
    client.receiveUntilQuiet(300ms, 3000ms);
    const std::size_t afterExit = client.received.size();
    client.receiveUntilQuiet(500ms, 500ms);
    EXPECT_EQ(client.received.size(), afterExit) << "packages kept coming after EXIT_ZELVAR";

    sim.terminate();
    ASSERT_EQ(sim.waitForExit(5000ms), 0) << sim.err();

    std::array<std::size_t, 4> counts{};
    for (int n = 1; n <= 4; ++n) counts[static_cast<std::size_t>(n - 1)] = client.countFrom(n);
    EXPECT_EQ(sim.out(), expectedSummary(counts, 1, 1));

    // Each transceiver sends its own stream of the seeded traffic, in order.
    PackageGenerator generator(5, 4);
    std::array<std::vector<Bytes>, 4> expected;
    for (std::size_t k = 0; k < 4 * client.received.size(); ++k) {
        Package p = generator.next();
        expected[static_cast<std::size_t>(p.transceiver - 1)].push_back(std::move(p.bytes));
    }
    for (int n = 1; n <= 4; ++n) {
        const auto got = client.bytesFrom(n);
        const auto& want = expected[static_cast<std::size_t>(n - 1)];
        ASSERT_TRUE(std::equal(got.begin(), got.end(), want.begin())) << "transceiver " << n;
    }

    std::string sentLog;
    for (const auto& r : client.received) sentLog += hexText(r.bytes) + "\r\n";
    EXPECT_EQ(readFile(dir.path() / "sent.hex"), sentLog);
}

TEST(ZelvarSimEndToEnd, ReplaysALogAndKeepsPackagesForLateRegistrations) {
    ScratchDir dir;
    const auto endpoints = freeEndpoints();
    std::string log;
    std::array<std::vector<Bytes>, 4> expected;
    for (int i = 0; i < 40; ++i) {
        const int port = i % 4 + 1;
        const Bytes bytes{0x00, 0x00, static_cast<std::uint8_t>(i), 0x00, 0x0F, 0x5A, 0x00};
        std::ostringstream stamp;
        stamp << std::uppercase << std::hex << 0xF4BEE070LL + i / 4;
        log += std::to_string(port) + "$" + stamp.str() + "\t" + hexText(bytes) + "\r\n";
        expected[static_cast<std::size_t>(port - 1)].push_back(bytes);
        if (i == 20) {
            log += "00 AA 0F\r\n5$F4BEE075\t00 BB\r\n";  // bare: transceiver 1; port 5: skipped
            expected[0].push_back(Bytes{0x00, 0xAA, 0x0F});
        }
    }
    std::ofstream(dir.path() / "in.hex", std::ios::binary) << log;

    auto arguments = listenArguments(endpoints);
    arguments.insert(arguments.end(),
                     {"--log", (dir.path() / "in.hex").string(), "--speed", "40",
                      "--exit-when-done", "--ready-file", (dir.path() / "ready").string()});
    SimProcess sim(arguments, dir.path());
    ASSERT_TRUE(sim.started());
    ASSERT_TRUE(waitForFile(dir.path() / "ready")) << sim.err();

    Client client(endpoints);
    client.command(1, "AT_ZELVAR");
    client.command(3, "AT_ZELVAR");
    // Ten stamp units at 40 times speed: about 0.2 s.
    ASSERT_TRUE(client.receiveUntil(
        [&] { return client.countFrom(1) == 11 && client.countFrom(3) == 10; }, 3000ms));
    const auto spread = client.arrivals.back() - client.arrivals.front();
    EXPECT_GT(spread, 150ms) << "the stamps did not pace the replay";
    EXPECT_EQ(client.countFrom(2) + client.countFrom(4), 0U);

    client.command(2, "AT_ZELVAR");
    client.command(4, "AT_ZELVAR");
    ASSERT_EQ(sim.waitForExit(5000ms), 0) << sim.err();
    client.receiveUntilQuiet(200ms, 1000ms);
    for (int n = 1; n <= 4; ++n) {
        EXPECT_EQ(client.bytesFrom(n), expected[static_cast<std::size_t>(n - 1)])
            << "transceiver " << n;
    }
    EXPECT_EQ(sim.out(), expectedSummary({11, 10, 10, 10}, 1, 0));
    EXPECT_NE(sim.err().find(": 1 line(s) without a package"), std::string::npos) << sim.err();
}

TEST(ZelvarSimEndToEnd, DropsPackagesOfUnregisteredTransceiversWhenAsked) {
    ScratchDir dir;
    const auto endpoints = freeEndpoints();
    auto arguments = listenArguments(endpoints);
    arguments.insert(arguments.end(),
                     {"--generate", "--rate", "1000", "--count", "40", "--drop-unregistered",
                      "--exit-when-done", "--ready-file", (dir.path() / "ready").string()});
    SimProcess sim(arguments, dir.path());
    ASSERT_TRUE(sim.started());
    ASSERT_TRUE(waitForFile(dir.path() / "ready")) << sim.err();
    Client client(endpoints);
    client.command(1, "AT_ZELVAR");
    ASSERT_EQ(sim.waitForExit(5000ms), 0) << sim.err();
    client.receiveUntilQuiet(200ms, 1000ms);
    EXPECT_EQ(client.countFrom(1), 10U);
    EXPECT_EQ(client.received.size(), 10U);
    EXPECT_EQ(sim.out(),
              "transceiver 1: registered 1 exited 0 sent 10\n"
              "transceiver 2: registered 0 exited 0 sent 0\n"
              "transceiver 3: registered 0 exited 0 sent 0\n"
              "transceiver 4: registered 0 exited 0 sent 0\n"
              "sent 10\n");
}

TEST(ZelvarSimEndToEnd, RefusesAnAddressOutsideLoopback) {
    ScratchDir dir;
    for (const char* listen : {"2=192.168.11.1:4064", "1=10.1.2.3:40000"}) {
        SimProcess sim({"--generate", "--start-now", "--listen", listen}, dir.path());
        ASSERT_TRUE(sim.started());
        EXPECT_EQ(sim.waitForExit(5000ms), 2);
        const std::string err = sim.err();
        EXPECT_NE(err.find("refused"), std::string::npos) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_EQ(sim.out(), "");
    }
}

}  // namespace
}  // namespace zelvar::sim
