// Many stations live into one broker and one collector: N publisher
// processes (Zelvar's publishing core), each decoding a generated hex log and
// publishing its packages at a steady rate with the receive time, into one
// Mosquitto and one zelvar-collect writing to the PostgreSQL of the
// environment (run it under pg_virtualenv -o fsync=on, as run-bench.sh does).
// Per run: packages sent and rows stored, the end-to-end lag from the receive
// time to the row being visible (polled every 100 ms, so up to 0.1 s high),
// and the collector's CPU share and peak memory. The figures at the end are
// medians of the runs. With --auth on (the default) the broker is closed as
// docs/mosquitto shows, every station and the collector log in with a
// password, and the collector stores under a role of its own with only the
// rights --init --collector-role gives; --auth off: an open broker and the
// tables' owner.
//
//   bench_publish_collect [--publishers N] [--rate R] [--duration S] [--runs N] [--auth on|off]
#include <libpq-fe.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "DateTime.h"
#include "DecoderOutput.h"
#include "ClosedBroker.h"
#include "GeneratedLog.h"
#include "LogLineReader.h"
#include "MosquittoBroker.h"
#include "OfflineDecoder.h"
#include "PackageDecoder.h"
#include "PackageFields.h"
#include "Publisher.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// Hands every package the decoder takes to the publisher, paced to `rate`
// a second, each with the moment it is handed over as its receive time.
class PacedOutput : public zelvar::DecoderOutput {
    static constexpr std::chrono::milliseconds kTick{10};

public:
    PacedOutput(zelvar::Publisher& publisher, int rate, std::uint64_t limit)
        : publisher_(publisher), rate_(rate), limit_(limit), start_(Clock::now()) {
        setTakesPackages(true);
    }
    void packageDecoded(const zelvar::PackageFields& fields) override {
        if (sent >= limit_) return;
        // In ticks of 10 ms, as datagrams from the transceivers come in
        // bursts: a sleep for each package would cost the ten publishers
        // more processor time than their publishing.
        const auto due = start_ + std::chrono::microseconds(sent * 1'000'000 / static_cast<std::uint64_t>(rate_));
        if (due > tickEnd_) {
            std::this_thread::sleep_until(due);
            tickEnd_ = due + kTick;
        }
        time_.clear();
        zelvar::AppendIsoLocalTime(time_, zelvar::LocalNow(), true);
        publisher_.publish(fields, time_);
        ++sent;
    }
    std::uint64_t sent = 0;

private:
    zelvar::Publisher& publisher_;
    const int rate_;
    const std::uint64_t limit_;
    const Clock::time_point start_;
    Clock::time_point tickEnd_;  // packages due before it go without a pause
    std::string time_;
};

int publisherMain(int port, const std::string& station, const std::string& prefix, const std::string& folder,
                  int rate, int duration, bool auth) {
    const std::uint64_t count = static_cast<std::uint64_t>(rate) * static_cast<std::uint64_t>(duration);
    const std::string logPath = folder + "/" + station + ".hex";
    std::ofstream(logPath) << zelvar::bench::GenerateHexLog(count, static_cast<std::uint32_t>(::getpid()));
    zelvar::PublishConfig config;
    config.port = port;
    config.station = station;
    config.prefix = prefix;
    config.outboxPath = folder + "/" + station + ".sqlite";
    if (auth) {
        config.login.user = station;
        config.login.password = station + "-pw";  // as ClosedBrokerConfig makes it
    }
    zelvar::Publisher publisher(config);
    zelvar::Settings settings;
    zelvar::DisplayMirrors mirrors;
    const zelvar::GpsState gps;
    PacedOutput output(publisher, rate, count);
    zelvar::PackageDecoder decoder(settings, mirrors, gps, output);
    zelvar::OfflineDecoder offline(decoder, mirrors);
    const int fd = ::open(logPath.c_str(), O_RDONLY);
    zelvar::LogLineReader lines(fd, zelvar::kLogReadBlock, zelvar::kLongestLogLine);
    decoder.ResetPortState();
    offline.DecodeLogStream("", lines);
    ::close(fd);
    // Until the collector has confirmed every one.
    const auto end = Clock::now() + std::chrono::seconds(300);
    while (publisher.status().queued > 0 && Clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::printf("%llu %llu\n", static_cast<unsigned long long>(output.sent),
                static_cast<unsigned long long>(publisher.status().queued));
    return 0;
}

// Processor time (user + system) of a process so far, in seconds.
double processCpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(stat, text);
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::vector<std::string> fields;
    std::size_t at = close + 2;
    while (at < text.size()) {
        const std::size_t space = text.find(' ', at);
        fields.push_back(text.substr(at, space - at));
        if (space == std::string::npos) break;
        at = space + 1;
    }
    if (fields.size() < 13) return 0;
    return (std::stod(fields[11]) + std::stod(fields[12])) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

long peakRssKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    long kb = 0;
    while (status >> key) {
        if (key == "VmHWM:") {
            status >> kb;
            break;
        }
    }
    return kb;
}

std::string value(PGconn* conn, const std::string& sql) {
    std::unique_ptr<PGresult, decltype(&PQclear)> r(PQexec(conn, sql.c_str()), &PQclear);
    return PQntuples(r.get()) > 0 ? PQgetvalue(r.get(), 0, 0) : "";
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(p * static_cast<double>(values.size())))];
}

double median(std::vector<double> values) { return percentile(std::move(values), 0.5); }

struct RunFigures {
    double sent = 0, rows = 0, unconfirmed = 0, lagP50 = 0, lagP99 = 0, lagMax = 0, collectorCpu = 0,
           collectorRssMb = 0, brokerCpu = 0;
};

RunFigures runOnce(const std::string& self, int publishers, int rate, int duration, int run, bool auth) {
    RunFigures f;
    const fs::path scratch = fs::temp_directory_path() / ("bench-publish-" + std::to_string(::getpid()) + "-" +
                                                          std::to_string(run));
    fs::create_directories(scratch);
    const std::string schema = "bench_publish_" + std::to_string(::getpid()) + "_" + std::to_string(run);
    std::unique_ptr<PGconn, decltype(&PQfinish)> conn(PQconnectdb(""), &PQfinish);
    PQsetNoticeProcessor(conn.get(), [](void*, const char*) {}, nullptr);
    value(conn.get(), "CREATE SCHEMA " + schema);
    const std::string owner = "options='-c search_path=" + schema + "'";
    const std::string role = schema + "_collector";
    std::string database = owner;
    std::vector<std::string> login;
    std::string brokerExtra;
    if (auth) {
        std::vector<std::string> users = {"zelvar-collect"};
        for (int i = 0; i < publishers; ++i) users.push_back("station" + std::to_string(i));
        brokerExtra = zelvar::test::ClosedBrokerConfig(scratch / "closed", schema, users);
        value(conn.get(), "CREATE ROLE " + role + " LOGIN PASSWORD 'role-pw'");
        const std::string init = std::string(ZELVAR_COLLECT_BIN) + " --database \"" + owner +
                                 "\" --init --collector-role " + role + " 2>/dev/null";
        if (brokerExtra.empty() || std::system(init.c_str()) != 0) {
            std::fprintf(stderr, "cannot set up the broker's users or the collector's role\n");
            std::exit(2);
        }
        database = "user=" + role + " password=role-pw " + owner;
        const fs::path credentials = scratch / "collector.login";
        std::ofstream(credentials) << "zelvar-collect\nzelvar-collect-pw\n";
        fs::permissions(credentials, fs::perms::owner_read | fs::perms::owner_write);
        login = {"--credentials", credentials.string()};
    } else {
        login = {"--init"};
    }
    zelvar::test::MosquittoBroker broker(scratch / "broker", brokerExtra);
    zelvar::test::ChildProcess collector;
    std::vector<std::string> argv = {ZELVAR_COLLECT_BIN, "--database", database, "--broker",
                                     "127.0.0.1:" + std::to_string(broker.port()), "--prefix", schema, "--client-id",
                                     schema};
    argv.insert(argv.end(), login.begin(), login.end());
    collector.start(argv, scratch / "collector.log");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // subscribed before the first package
    const pid_t collectorPid = collector.pid();
    const pid_t brokerPid = broker.pid();
    const double collectorCpu0 = processCpuSeconds(collectorPid);
    const double brokerCpu0 = processCpuSeconds(brokerPid);
    const auto start = Clock::now();

    std::vector<pid_t> children;
    std::vector<std::string> outputs;
    for (int i = 0; i < publishers; ++i) {
        const std::string out = (scratch / ("publisher" + std::to_string(i) + ".out")).string();
        outputs.push_back(out);
        const pid_t pid = ::fork();
        if (pid == 0) {
            std::freopen(out.c_str(), "w", stdout);
            ::execl(self.c_str(), self.c_str(), "--publisher", std::to_string(broker.port()).c_str(),
                    ("station" + std::to_string(i)).c_str(), schema.c_str(), scratch.c_str(),
                    std::to_string(rate).c_str(), std::to_string(duration).c_str(), auth ? "1" : "0",
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        children.push_back(pid);
    }

    // Each row's lag: when it was first seen minus its receive time.
    std::vector<double> lags;
    std::map<int, long long> seen;  // the highest seq seen per station
    std::size_t running = children.size();
    auto poll = [&] {
        for (int i = 0; i < publishers; ++i) {
            // With the station's one run id the unique key's index finds just
            // the new rows: by station alone the server would read all of the
            // station's rows on every poll, a growing share of the processor
            // that the stations and the collector need.
            const std::string station = "'station" + std::to_string(i) + "'";
            const std::string sql = "SELECT seq, extract(epoch FROM clock_timestamp() - time) FROM " + schema +
                                    ".packages WHERE station = " + station + " AND source = (SELECT source FROM " +
                                    schema + ".packages WHERE station = " + station + " LIMIT 1) AND seq > " +
                                    std::to_string(seen[i]);
            std::unique_ptr<PGresult, decltype(&PQclear)> r(PQexec(conn.get(), sql.c_str()), &PQclear);
            for (int row = 0; row < PQntuples(r.get()); ++row) {
                seen[i] = std::max(seen[i], std::stoll(PQgetvalue(r.get(), row, 0)));
                lags.push_back(std::stod(PQgetvalue(r.get(), row, 1)));
            }
        }
    };
    while (running > 0) {
        poll();
        for (pid_t& pid : children) {
            if (pid > 0 && ::waitpid(pid, nullptr, WNOHANG) == pid) {
                pid = -1;
                --running;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    poll();
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    f.collectorCpu = (processCpuSeconds(collectorPid) - collectorCpu0) / wall * 100;
    f.brokerCpu = (processCpuSeconds(brokerPid) - brokerCpu0) / wall * 100;
    f.collectorRssMb = static_cast<double>(peakRssKb(collectorPid)) / 1024;
    for (const std::string& out : outputs) {
        unsigned long long sent = 0, queued = 0;
        if (FILE* file = std::fopen(out.c_str(), "r")) {
            if (std::fscanf(file, "%llu %llu", &sent, &queued) != 2) sent = queued = 0;
            std::fclose(file);
        }
        f.sent += static_cast<double>(sent);
        f.unconfirmed += static_cast<double>(queued);
    }
    f.rows = std::stod(value(conn.get(), "SELECT count(*) FROM " + schema + ".packages"));
    f.lagP50 = percentile(lags, 0.5);
    f.lagP99 = percentile(lags, 0.99);
    f.lagMax = percentile(lags, 1.0);
    collector.kill(SIGTERM);
    value(conn.get(), "DROP SCHEMA " + schema + " CASCADE");
    if (auth) {
        value(conn.get(), "DROP OWNED BY " + role);
        value(conn.get(), "DROP ROLE " + role);
    }
    fs::remove_all(scratch);
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 9 && std::strcmp(argv[1], "--publisher") == 0) {
        return publisherMain(std::atoi(argv[2]), argv[3], argv[4], argv[5], std::atoi(argv[6]), std::atoi(argv[7]),
                             std::strcmp(argv[8], "1") == 0);
    }
    int publishers = 10, rate = 2000, duration = 60, runs = 3;
    bool auth = true;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const int n = std::atoi(argv[i + 1]);
        if (option == "--auth") auth = std::strcmp(argv[i + 1], "off") != 0;
        if (option == "--publishers") publishers = n;
        if (option == "--rate") rate = n;
        if (option == "--duration") duration = n;
        if (option == "--runs") runs = n;
    }
    if (std::getenv("PGHOST") == nullptr) {
        std::fprintf(stderr, "no PostgreSQL in the environment: run under pg_virtualenv\n");
        return 2;
    }
    std::unique_ptr<PGconn, decltype(&PQfinish)> conn(PQconnectdb(""), &PQfinish);
    std::printf("%d publishers x %d packages/s for %d s into one Mosquitto and one zelvar-collect; "
                "PostgreSQL fsync=%s; %s\n",
                publishers, rate, duration, value(conn.get(), "SHOW fsync").c_str(),
                auth ? "passwords, the shipped ACL and the collector's own role" : "open broker, the tables' owner");
    std::fflush(stdout);
    std::vector<RunFigures> all;
    for (int run = 0; run < runs; ++run) {
        const RunFigures f = runOnce(fs::canonical("/proc/self/exe").string(), publishers, rate, duration, run, auth);
        std::printf("  run %d: sent %.0f, rows %.0f, unconfirmed %.0f; lag p50 %.3f s, p99 %.3f s, max %.3f s; "
                    "collector CPU %.1f %% of one core, peak RSS %.1f MB; broker CPU %.1f %%\n",
                    run + 1, f.sent, f.rows, f.unconfirmed, f.lagP50, f.lagP99, f.lagMax, f.collectorCpu,
                    f.collectorRssMb, f.brokerCpu);
        std::fflush(stdout);
        all.push_back(f);
    }
    auto m = [&](double RunFigures::*field) {
        std::vector<double> values;
        for (const RunFigures& f : all) values.push_back(f.*field);
        return median(values);
    };
    std::printf("median: sent %.0f, rows %.0f; lag p99 %.3f s (p50 %.3f s); collector CPU %.1f %% of one core, "
                "peak RSS %.1f MB; broker CPU %.1f %%\n",
                m(&RunFigures::sent), m(&RunFigures::rows), m(&RunFigures::lagP99), m(&RunFigures::lagP50),
                m(&RunFigures::collectorCpu), m(&RunFigures::collectorRssMb), m(&RunFigures::brokerCpu));
    std::printf("target: rows = packages sent, lag p99 <= 2 s\n");
    return 0;
}
