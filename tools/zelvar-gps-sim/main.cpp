// zelvar-gps-sim: an NMEA receiver on a pseudo-terminal (see --help).

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <ctime>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "DateTime.h"
#include "GpsSimOptions.h"
#include "GpsWalk.h"
#include "ReadWholeFile.h"
#include "SentenceFile.h"

namespace {

using namespace zelvar::gpssim;
using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t stopRequested = 0;
volatile std::sig_atomic_t startRequested = 0;
volatile std::sig_atomic_t unplugRequested = 0;

void requestStop(int) {
    stopRequested = 1;
}

void requestStart(int) {
    startRequested = 1;
}

void requestUnplug(int) {
    unplugRequested = 1;
}

// Writes to the terminal no faster than the line would carry the bytes, and
// unplugs at its hour.
class Line {
public:
    Line(int master, int slave, const GpsSimOptions& options)
        : master_(master), slave_(slave), bytesPerSecond_(options.bytesPerSecond), due_(Clock::now()) {
        if (options.unplugAfter) {
            unplugAt_ = due_ + std::chrono::duration_cast<Clock::duration>(
                                   std::chrono::duration<double>(*options.unplugAfter));
        }
    }

    // False once the run is over (stopped or unplugged).
    bool send(const std::string& bytes) {
        if (!waitUntil(due_)) return false;
        std::size_t at = 0;
        while (at < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.data() + at, bytes.size() - at);
            if (n > 0) {
                at += static_cast<std::size_t>(n);
            } else if (n < 0 && errno == EAGAIN) {
                // Nobody reads: drop what is waiting, as a line drops what no
                // UART takes, rather than hold up the receiver.
                ::tcflush(slave_, TCIFLUSH);
                if (!waitUntil(Clock::now() + std::chrono::milliseconds(10))) return false;
            } else if (n < 0 && errno != EINTR) {
                std::cerr << "zelvar-gps-sim: write: " << std::strerror(errno) << std::endl;
                return false;
            }
        }
        // The next write waits until the line has carried this one. Credit
        // for time the line stood idle would let a second's sentences out in
        // one burst, and a reader would take them as one line.
        due_ = std::max(due_, Clock::now()) +
               std::chrono::duration_cast<Clock::duration>(
                   std::chrono::duration<double>(static_cast<double>(bytes.size()) / bytesPerSecond_));
        return true;
    }

    bool waitUntil(Clock::time_point when) {
        for (;;) {
            if (stopRequested != 0) return false;
            const Clock::time_point now = Clock::now();
            if (unplugRequested != 0 || (unplugAt_ && now >= *unplugAt_)) {
                std::cerr << "zelvar-gps-sim: unplugged" << std::endl;
                return false;
            }
            if (now >= when) return true;
            Clock::time_point wake = std::min(when, now + std::chrono::milliseconds(50));
            if (unplugAt_) wake = std::min(wake, *unplugAt_);
            std::this_thread::sleep_until(wake);
        }
    }

private:
    int master_;
    int slave_;
    double bytesPerSecond_;
    Clock::time_point due_;
    std::optional<Clock::time_point> unplugAt_;
};

// One second's sentences, each "\n$...*hh\r": the line feed that ends a
// sentence goes out with the next one, so every write ends on the carriage
// return, as a receiver's bursts arrive.
bool sendSecond(Line& line, const std::vector<std::string>& sentences, const GpsSimOptions& options) {
    std::string together;
    for (const std::string& sentence : sentences) {
        const std::string bytes = "\n" + sentence + "\r";
        if (options.together) {
            together += bytes;
        } else if (options.split) {
            const std::size_t third = bytes.size() / 3;
            if (!line.send(bytes.substr(0, third)) || !line.send(bytes.substr(third, third)) ||
                !line.send(bytes.substr(2 * third))) {
                return false;
            }
        } else if (!line.send(bytes)) {
            return false;
        }
    }
    return together.empty() || line.send(together);
}

std::int64_t firstUtc(const GpsSimOptions& options) {
    if (!options.utcDate) return static_cast<std::int64_t>(std::time(nullptr));
    const std::string& d = *options.utcDate;
    const std::string& t = *options.utcTime;
    const auto two = [](const std::string& digits, std::size_t at) {
        return static_cast<unsigned>(std::stoi(digits.substr(at, 2)));
    };
    return zelvar::DaysFromCivil(2000 + two(d, 4), two(d, 2), two(d, 0)) * 86400 +
           two(t, 0) * 3600 + two(t, 2) * 60 + two(t, 4);
}

}  // namespace

int main(int argc, char* argv[]) {
    const GpsSimParse parsed = parseGpsSimArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty()) {
        std::cerr << "zelvar-gps-sim: " << parsed.error << std::endl;
        return 2;
    }
    const GpsSimOptions& options = parsed.options;
    if (options.help) {
        std::cout << gpsSimHelp();
        return 0;
    }
    std::optional<std::vector<std::vector<std::string>>> file;
    if (!options.file.empty()) {
        try {
            file = ReadSentenceSeconds(options.file);
        } catch (const zelvar::WholeFileError& error) {
            std::cerr << "zelvar-gps-sim: cannot read " << options.file << ": " << error.what()
                      << std::endl;
            return 1;
        }
        if (file->empty()) {
            std::cerr << "zelvar-gps-sim: no sentences in " << options.file << std::endl;
            return 1;
        }
    }

    termios raw{};
    cfmakeraw(&raw);
    cfsetispeed(&raw, B4800);
    cfsetospeed(&raw, B4800);
    int master = -1;
    int slave = -1;
    if (openpty(&master, &slave, nullptr, &raw, nullptr) != 0) {
        std::cerr << "zelvar-gps-sim: openpty: " << std::strerror(errno) << std::endl;
        return 1;
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);

    struct sigaction action{};
    action.sa_handler = requestStop;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    struct sigaction startAction{};
    startAction.sa_handler = requestStart;
    sigaction(SIGUSR1, &startAction, nullptr);
    struct sigaction unplugAction{};
    unplugAction.sa_handler = requestUnplug;
    sigaction(SIGUSR2, &unplugAction, nullptr);

    // Our own end of the slave stays open, so the terminal keeps its raw
    // settings and a program may close and open it again.
    std::cout << ttyname(slave) << std::endl;

    // A caller that needs the first second whole, however long it takes to
    // open its port, says when.
    while (options.waitForStart && startRequested == 0 && stopRequested == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    Line line(master, slave, options);
    const Clock::time_point start = Clock::now();
    GpsWalk walk(options.seed, options.startLat, options.startLon, firstUtc(options));
    std::string firstTime;
    for (std::size_t second = 0;; ++second) {
        std::vector<std::string> sentences;
        if (file) {
            if (second >= file->size() && !options.loop) break;
            sentences = (*file)[second % file->size()];
        } else {
            const GpsEpoch epoch = walk.next();
            if (firstTime.empty()) firstTime = NmeaTime(epoch.utcSeconds);
            sentences.push_back(NmeaSentence(RmcBody(epoch, options.voidFix,
                                                     options.repeatTime ? firstTime : std::string())));
            sentences.push_back(NmeaSentence(GsaBody(epoch)));
        }
        if (!sendSecond(line, sentences, options)) break;
        if (!line.waitUntil(start + std::chrono::milliseconds(options.intervalMs) *
                                        static_cast<std::int64_t>(second + 1))) {
            break;
        }
    }
    // Closing the master is what pulling the receiver out looks like to the
    // program: its side of the terminal hangs up.
    ::close(master);
    ::close(slave);
    return 0;
}
