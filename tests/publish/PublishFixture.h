#pragma once

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "MosquittoBroker.h"
#include "PackageFields.h"
#include "Publisher.h"
#include "ToolRun.h"

namespace zelvar::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Stations publish through a real Mosquitto into a real PostgreSQL through
// the collector, started by the test; each test in a schema of its own.
class PublishEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("PGHOST"), nullptr)
            << "no PostgreSQL: run the tests under pg_virtualenv, as scripts/run-tests.sh does";
        scratch = zelvar::test::TestScratchDir("zelvar-publish");
        // Also the topic prefix and the collector's session.
        static int tests = 0;
        name = "p" + std::to_string(::getpid()) + "_" + std::to_string(++tests);
        conn.reset(PQconnectdb(""));
        ASSERT_EQ(PQstatus(conn.get()), CONNECTION_OK) << PQerrorMessage(conn.get());
        PQsetNoticeProcessor(conn.get(), [](void*, const char*) {}, nullptr);
        query("CREATE SCHEMA " + name);
        broker = std::make_unique<MosquittoBroker>(scratch / "broker", brokerExtra());
        ASSERT_TRUE(broker->running());
    }
    void TearDown() override {
        collector.kill(SIGKILL);
        broker.reset();
        reconnect();
        if (conn) query("DROP SCHEMA IF EXISTS " + name + " CASCADE");
        if (!HasFailure()) fs::remove_all(scratch);
    }
    virtual std::string brokerExtra() { return {}; }

    void reconnect() {
        if (PQstatus(conn.get()) != CONNECTION_OK) PQreset(conn.get());
    }
    // The first value of the first row, or "error"; once more on a new
    // connection when the database restarted meanwhile.
    std::string query(const std::string& sql) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            std::unique_ptr<PGresult, decltype(&PQclear)> r(PQexec(conn.get(), sql.c_str()), &PQclear);
            const ExecStatusType status = PQresultStatus(r.get());
            if (status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK) {
                return PQntuples(r.get()) > 0 ? PQgetvalue(r.get(), 0, 0) : "";
            }
            reconnect();
        }
        return "error";
    }
    // Rows of `source`, then distinct seqs, then the highest seq.
    std::string stored(const std::string& source) {
        reconnect();
        return query("SELECT count(*) || ' ' || count(DISTINCT seq) || ' ' || coalesce(max(seq), 0) "
                     "FROM " + name + ".packages WHERE source = '" + source + "'");
    }

    void startCollector() {
        collector.start({ZELVAR_COLLECT_BIN, "--database", "options='-c search_path=" + name + "'", "--init",
                         "--broker", "127.0.0.1:" + std::to_string(broker->port()), "--prefix", name,
                         "--client-id", name},
                        scratch / "collector.log");
    }

    zelvar::PublishConfig config(const std::string& station) {
        zelvar::PublishConfig c;
        c.port = broker->port();
        c.station = station;
        c.prefix = name;
        c.outboxPath = (scratch / (station + ".sqlite")).string();
        c.window = 50;
        // The collector loses what it held when it is killed: the station
        // notices the missing confirmation this soon.
        c.stallResend = 2s;
        return c;
    }

public:
    static void publish(zelvar::Publisher& publisher, int count) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        for (int i = 0; i < count; ++i) {
            // A package of its own for each call: port, type and bytes vary.
            std::string hex = "00 11 22 33 ";
            const unsigned n = static_cast<unsigned>(publisher.taken());
            hex += kHex[(n >> 4) & 15];
            hex += kHex[n & 15];
            zelvar::PackageFields fields;
            fields.port = 1 + static_cast<int>(n % 4);
            fields.stamp = "0000B09D";
            fields.hex = hex;
            fields.type = static_cast<int>(n & 0xFF);
            publisher.publish(fields, "2026-12-09T18:00:00.123+01:00");
            if (i % 20 == 19) std::this_thread::sleep_for(1ms);
        }
    }

protected:
    bool allConfirmed(zelvar::Publisher& publisher) {
        return WaitFor([&] { return publisher.status().queued == 0; });
    }

    fs::path scratch;
    std::string name;
    std::unique_ptr<PGconn, decltype(&PQfinish)> conn{nullptr, &PQfinish};
    std::unique_ptr<MosquittoBroker> broker;
    ChildProcess collector;
};

// A station that keeps taking packages, about 2,000 a second, on a thread
// of its own, as the decoder hands them over.
class SteadyStation {
public:
    // Packages a second; a loaded machine makes it fewer, and the tests
    // count packages rather than seconds.
    static constexpr std::uint64_t kRate = 2000;

    SteadyStation(zelvar::Publisher& publisher)
        : thread_([this, &publisher] {
              while (!stop_) {
                  PublishEndToEnd::publish(publisher, 20);
                  std::this_thread::sleep_for(9ms);
              }
          }) {}
    ~SteadyStation() { stop(); }
    void stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace zelvar::test
