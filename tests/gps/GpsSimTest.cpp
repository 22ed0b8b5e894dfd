#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "BCPort.h"
#include "GpsSimOptions.h"
#include "GpsWalk.h"
#include "NmeaReader.h"
#include "ReadWholeFile.h"
#include "SentenceFile.h"
#include "TiedChild.h"
#include "ToolRun.h"

extern char** environ;

using namespace zelvar;
using namespace zelvar::gpssim;
using namespace std::chrono_literals;

namespace {

TEST(GpsSimSentences, ChecksumAndReceiverFormats) {
    EXPECT_EQ(NmeaSentence("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"),
              "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47");
    GpsWalk walk(7, -33.8688, -151.2093, 1796733319);  // 08.12.2026 12:35:19 UTC
    const GpsEpoch first = walk.next();
    EXPECT_EQ(RmcBody(first, false), "GPRMC,123519.000,A,3352.1280,S,15112.5580,W,0.4,87.6,081226,,,A");
    EXPECT_EQ(RmcBody(first, true, "000000.000").substr(0, 20), "GPRMC,000000.000,V,3");
    EXPECT_EQ(GsaBody(first), "GPGSA,A,3,04,05,09,12,17,24,,,,,,,2.2,1.2,1.8");
    const GpsEpoch second = walk.next();
    EXPECT_EQ(second.utcSeconds, first.utcSeconds + 1);
    GpsWalk again(7, -33.8688, -151.2093, 1796733319);
    again.next();
    EXPECT_EQ(RmcBody(again.next(), false), RmcBody(second, false));
}

// A file of sentences is held whole: one beyond the program's limit for a
// whole file is refused rather than read.
TEST(GpsSimSentences, FileBeyondTheWholeFileLimitIsRefused) {
    const std::filesystem::path dir = test::TestScratchDir("gps-sim");
    const std::filesystem::path big = dir / "big.nmea";
    std::ofstream(big).close();
    std::filesystem::resize_file(big, kWholeFileLimit + 1);
    EXPECT_THROW(ReadSentenceSeconds(big.string()), WholeFileError);
    std::filesystem::remove_all(dir);
}

// Each GPRMC starts a second of a file; line ends of either kind, blank
// lines left out.
TEST(GpsSimSentences, FileSecondsStartAtEachGprmc) {
    const std::filesystem::path dir = test::TestScratchDir("gps-sim");
    std::ofstream(dir / "s.nmea", std::ios::binary)
        << "$GPGSA,0\r\n$GPRMC,1\r\n\r\nGPGSA,1\nGPRMC,2";
    const std::vector<std::vector<std::string>> seconds{
        {"$GPGSA,0"}, {"$GPRMC,1", "GPGSA,1"}, {"GPRMC,2"}};
    EXPECT_EQ(ReadSentenceSeconds((dir / "s.nmea").string()), seconds);
    std::filesystem::remove_all(dir);
}

TEST(GpsSimOptions, RefusesWhatItCannotUse) {
    EXPECT_TRUE(parseGpsSimArguments({"--utc", "081226,123519", "--split", "--unplug-after=2",
                                      "--wait-for-usr1", "--interval-ms=0"})
                    .error.empty());
    EXPECT_EQ(parseGpsSimArguments({"--interval-ms", "-5"}).error, "--interval-ms wants milliseconds");
    EXPECT_FALSE(parseGpsSimArguments({"--utc", "0812,123519"}).error.empty());
    // A date and time that no clock shows.
    for (const char* utc : {"321226,123519", "081226,246000", "001226,123519", "081326,123519",
                            "290226,123519", "310426,123519", "081226,125960"}) {
        EXPECT_EQ(parseGpsSimArguments({"--utc", utc}).error, "--utc wants DDMMYY,HHMMSS") << utc;
    }
    for (const char* utc : {"290228,000000", "311226,235959"}) {
        EXPECT_TRUE(parseGpsSimArguments({"--utc", utc}).error.empty()) << utc;
    }
    EXPECT_FALSE(parseGpsSimArguments({"--start", "95,10"}).error.empty());
    EXPECT_FALSE(parseGpsSimArguments({"--void=yes"}).error.empty());
    EXPECT_FALSE(parseGpsSimArguments({"--bogus"}).error.empty());
}

// The emulator as a child process; its first output line is the terminal.
class SimProcess {
public:
    explicit SimProcess(const std::vector<std::string>& arguments) {
        static char program[] = ZELVAR_GPS_SIM_BIN;
        std::vector<std::string> copies = arguments;
        std::vector<char*> argv{program};
        for (std::string& a : copies) argv.push_back(a.data());
        argv.push_back(nullptr);
        int out[2];
        if (::pipe(out) != 0) return;
        const pid_t parent = ::getpid();
        pid_ = ::fork();
        if (pid_ == 0) {
            zelvar::test::DieWithParent(parent);
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            ::execve(argv[0], argv.data(), environ);
            ::_exit(127);
        }
        ::close(out[1]);
        if (pid_ < 0) {
            ::close(out[0]);
            return;
        }
        if (std::FILE* stream = ::fdopen(out[0], "r")) {
            char line[256] = {};
            if (std::fgets(line, sizeof line, stream) != nullptr) path = line;
            if (!path.empty() && path.back() == '\n') path.pop_back();
            std::fclose(stream);
        }
    }
    ~SimProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    pid_t pid() const { return pid_; }
    // Lets an emulator started with --wait-for-usr1 begin.
    void start() const {
        if (pid_ > 0) ::kill(pid_, SIGUSR1);
    }
    // Pulls the receiver out now.
    void unplug() const {
        if (pid_ > 0) ::kill(pid_, SIGUSR2);
    }

    std::string path;

private:
    pid_t pid_ = -1;
};

// A test that dies (here: a child process that ends without running its
// destructors) takes its emulator with it, rather than leaving it running.
TEST(GpsSimProcess, EndsWithTheTestThatStartedIt) {
    // Orphans are handed to this process, so the emulator can be reaped here.
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    const pid_t dying = ::fork();
    ASSERT_GE(dying, 0);
    if (dying == 0) {
        ::close(report[0]);
        const auto* sim = new SimProcess({"--utc", "081226,123519"});
        const pid_t pid = sim->path.empty() ? -1 : sim->pid();
        (void)!::write(report[1], &pid, sizeof pid);
        ::_exit(0);
    }
    ::close(report[1]);
    pid_t simPid = -1;
    const ssize_t got = ::read(report[0], &simPid, sizeof simPid);
    ::close(report[0]);
    ASSERT_EQ(::waitpid(dying, nullptr, 0), dying);
    ASSERT_EQ(got, static_cast<ssize_t>(sizeof simPid));
    ASSERT_GT(simPid, 0);
    // The bound only keeps a fault from hanging the test.
    const auto end = std::chrono::steady_clock::now() + 60s;
    pid_t reaped = 0;
    while ((reaped = ::waitpid(simPid, nullptr, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(10ms);
    }
    if (reaped == 0) {
        ::kill(simPid, SIGKILL);
        ::waitpid(simPid, nullptr, 0);
    }
    ::prctl(PR_SET_CHILD_SUBREAPER, 0);
    EXPECT_EQ(reaped, simPid) << "the emulator outlived the test that started it";
}

// What the strip shows when the emulator has run until it unplugs: it is
// pulled out once the test has seen what it waits for, however slowly a
// loaded machine delivers the seconds.
struct SimRun {
    std::vector<std::string> times;  // every time label shown, in order
    std::vector<std::string> pdops;  // every PDOP label shown, in order
    int lost = 0;
    // A read took in more than one sentence: this reader fell behind the
    // line (a loaded machine), and the reader shows only the first of them.
    bool fellBehind = false;
};

SimRun runSim(const std::vector<std::string>& options, bool (*seenEnough)(const SimRun&)) {
    static int argc = 1;
    static char name[] = "gps_sim_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);

    // The emulator waits until the port is open, however long a loaded
    // machine takes to open it.
    // Paced as a real receiver's 4800 bit/s line: a reader held up for less
    // than a sentence's time still gets each sentence in a read of its own.
    // Each second's sentences follow the last ones as soon as the line has
    // carried them, so that the test waits for sentences, not for the clock.
    std::vector<std::string> arguments{"--utc", "081226,123519", "--wait-for-usr1",
                                       "--interval-ms", "0"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    SimProcess sim(arguments);
    SimRun run;
    if (sim.path.empty()) return run;

    Settings settings;
    OwnFix fix;
    NmeaReader reader(settings, fix);
    TBComPort port;
    port.SetPort(sim.path);
    port.SetBaudRate(TBaudRate::br4800);
    port.OnRxChar = [&](TBComPort& sender, int count) {
        const std::string bytes = sender.ReadString(count);
        if (std::count(bytes.begin(), bytes.end(), '$') > 1) run.fellBehind = true;
        if (reader.Receive(bytes)) {
            if (run.times.empty() || run.times.back() != reader.labels().time) {
                run.times.push_back(reader.labels().time);
            }
            const std::string& pdop = reader.labels().pdop;
            if (!pdop.empty() && (run.pdops.empty() || run.pdops.back() != pdop)) {
                run.pdops.push_back(pdop);
            }
        }
    };
    port.OnDeviceLost = [&](TBComPort& sender) {
        ++run.lost;
        sender.Close();
    };
    port.Open();
    sim.start();
    const auto end = std::chrono::steady_clock::now() + 60s;
    bool unplugged = false;
    while (port.Connected() && std::chrono::steady_clock::now() < end) {
        if (!unplugged && seenEnough(run)) {
            sim.unplug();
            unplugged = true;
        }
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(2ms);
    }
    return run;
}

TEST(GpsSimEndToEnd, FixEverySecondThenUnplug) {
    // Only a run in which the test kept up with the line tells whether the
    // emulator sends each sentence on its own.
    SimRun run;
    for (int attempt = 0; attempt < 5 && (attempt == 0 || run.fellBehind); ++attempt) {
        run = runSim({}, [](const SimRun& r) { return r.times.size() >= 2 && r.pdops.size() >= 2; });
    }
    ASSERT_FALSE(run.fellBehind) << "the machine was too busy to read each sentence in time";
    ASSERT_GE(run.times.size(), 2u);
    EXPECT_EQ(run.times[0], "08.12.2026 16:35:19");
    EXPECT_EQ(run.times[1], "08.12.2026 16:35:20");
    // Each second's GPGSA is a line of its own, not swallowed by the GPRMC
    // (a slow test may see a third second before the unplug).
    ASSERT_GE(run.pdops.size(), 2u);
    EXPECT_EQ(run.pdops[0], "PDOP: 2.2");
    EXPECT_EQ(run.pdops[1], "PDOP: 2.1");
    EXPECT_EQ(run.lost, 1);
}

TEST(GpsSimEndToEnd, SplitSentencesStillParse) {
    const SimRun run =
        runSim({"--split"}, [](const SimRun& r) { return !r.times.empty() && !r.pdops.empty(); });
    ASSERT_FALSE(run.times.empty());
    EXPECT_EQ(run.times[0], "08.12.2026 16:35:19");
    ASSERT_FALSE(run.pdops.empty());
    EXPECT_EQ(run.pdops[0], "PDOP: 2.2");
}

TEST(GpsSimEndToEnd, SentencesRunTogetherHideTheSecond) {
    // The second second's burst shows that the first one's GPGSA is gone.
    const SimRun run = runSim({"--together"}, [](const SimRun& r) { return r.times.size() >= 2; });
    ASSERT_FALSE(run.times.empty());
    EXPECT_EQ(run.times[0], "08.12.2026 16:35:19");
    EXPECT_TRUE(run.pdops.empty());
}

TEST(GpsSimEndToEnd, RepeatedTimeAndVoidFixShowNoTime) {
    const SimRun repeated =
        runSim({"--repeat-time"}, [](const SimRun& r) { return r.times.size() >= 2; });
    ASSERT_GE(repeated.times.size(), 2u);
    EXPECT_EQ(repeated.times[0], "08.12.2026 16:35:19");
    EXPECT_EQ(repeated.times[1], "GPS");
    const SimRun voidFix = runSim({"--void"}, [](const SimRun& r) { return !r.times.empty(); });
    EXPECT_EQ(voidFix.times, std::vector<std::string>{"GPS"});
}

}  // namespace
