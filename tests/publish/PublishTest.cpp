#include <fcntl.h>

#include "CollectService.h"
#include "PackageMessage.h"
#include "PublishFixture.h"
#include "TestCertificates.h"

using namespace zelvar::test;

namespace {

TEST_F(PublishEndToEnd, EveryPackageIsStoredOnceThroughBrokerAndCollectorFailures) {
    startCollector();
    zelvar::Publisher publisher(config("north"));
    const std::string source = publisher.source();
    auto takenReaches = [&](std::uint64_t n) { return WaitFor([&] { return publisher.taken() >= n; }); };
    auto storedCount = [&] { return std::strtoull(stored(source).c_str(), nullptr, 10); };
    SteadyStation station(publisher);
    ASSERT_TRUE(WaitFor([&] { return storedCount() > 1000; }))
        << zelvar::test::ReadFile(scratch / "collector.log");
    ASSERT_TRUE(takenReaches(SteadyStation::kRate * 3));

    // The broker goes without a word for ten seconds of packages, and takes
    // what it held with it.
    broker->kill();
    ASSERT_TRUE(takenReaches(publisher.taken() + SteadyStation::kRate * 10));
    EXPECT_FALSE(publisher.status().connected);
    ASSERT_TRUE(broker->start());
    const std::uint64_t before = storedCount();
    ASSERT_TRUE(WaitFor([&] { return storedCount() > before + 1000; }));

    // The collector dies with packages that the broker counted as delivered.
    collector.kill(SIGKILL);
    ASSERT_TRUE(takenReaches(publisher.taken() + SteadyStation::kRate * 2));
    startCollector();
    // Twenty seconds of packages in all.
    ASSERT_TRUE(takenReaches(std::max<std::uint64_t>(publisher.taken() + SteadyStation::kRate,
                                                     SteadyStation::kRate * 20)));
    station.stop();

    const std::string all = std::to_string(publisher.taken());
    EXPECT_TRUE(allConfirmed(publisher)) << publisher.status().queued << " still queued";
    EXPECT_EQ(stored(source), all + " " + all + " " + all);
    EXPECT_TRUE(publisher.status().connected);
    EXPECT_EQ(publisher.status().dropped, 0u);
}

TEST_F(PublishEndToEnd, PackagesOfARunThatEndedUnconfirmedGoOutWithTheNextRun) {
    std::string first;
    {
        // No collector: nothing is confirmed.
        zelvar::Publisher publisher(config("south"));
        first = publisher.source();
        publish(publisher, 300);
        ASSERT_TRUE(WaitFor([&] { return publisher.status().queued == 300; }));
    }
    startCollector();
    zelvar::Publisher next(config("south"));
    EXPECT_NE(next.source(), first);
    publish(next, 200);
    EXPECT_TRUE(allConfirmed(next));
    EXPECT_EQ(stored(first), "300 300 300");
    EXPECT_EQ(stored(next.source()), "200 200 200");
}

// While the database cannot be used, the collector holds packages up to its
// limit and leaves the rest with the broker; none is lost when it comes back.
TEST_F(PublishEndToEnd, TheCollectorStopsReadingAtItsLimitAndLosesNothing) {
    // Not yet there: storing fails until the test makes it.
    const std::string late = name + "_late";
    zelvar::ServiceOptions options;
    options.conninfo = "options='-c search_path=" + late + "'";
    options.port = broker->port();
    options.prefix = name;
    options.clientId = name;
    options.pendingLimit = 20'000;
    // Its log: this process's stderr, for the while.
    const fs::path log = scratch / "service.log";
    const int saved = ::dup(2);
    const int file = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(file, 2);
    ::close(file);
    std::atomic<bool> stop{false};
    zelvar::ServiceCounts counts;
    std::thread service([&] { counts = zelvar::RunCollectService(options, stop); });
    const struct Restore {
        int saved;
        std::atomic<bool>& stop;
        std::thread& service;
        ~Restore() {
            stop = true;
            if (service.joinable()) service.join();
            ::dup2(saved, 2);
            ::close(saved);
        }
    } restore{saved, stop, service};

    zelvar::Publisher publisher(config("late"));
    publish(publisher, 2000);
    ASSERT_TRUE(WaitFor([&] { return ReadFile(log).find("reading from the broker paused") != std::string::npos; }))
        << ReadFile(log);
    const std::string said = ReadFile(log);
    const std::size_t holding = said.rfind("holding ", said.find("reading from the broker paused"));
    ASSERT_NE(holding, std::string::npos) << said;
    EXPECT_LT(std::strtoull(said.c_str() + holding + 8, nullptr, 10), 1000u) << said;

    query("CREATE SCHEMA " + late);
    const ToolRun init = RunInShell(ShellQuoted(ZELVAR_COLLECT_BIN) + " --database " +
                                        ShellQuoted("options=-csearch_path=" + late) + " --init",
                                    scratch);
    ASSERT_EQ(init.status, 0) << init.err;
    EXPECT_TRUE(allConfirmed(publisher)) << ReadFile(log);
    stop = true;
    service.join();
    EXPECT_EQ(counts.stored, 2000u);
    EXPECT_EQ(query("SELECT count(DISTINCT seq) || ' ' || max(seq) FROM " + late + ".packages"), "2000 2000");
    query("DROP SCHEMA " + late + " CASCADE");
}

// The station reaches the broker over TLS, trusting a CA that the test makes
// with openssl; the collector stays on the plain listener.
class PublishOverTls : public PublishEndToEnd {
protected:
    std::string brokerExtra() override {
        EXPECT_TRUE(MakeTestCertificates(scratch / "tls", {})) << ReadFile(scratch / "tls" / "openssl.log");
        tlsPort = FreeTcpPort();
        return TlsListener(scratch / "tls", tlsPort);
    }
    int tlsPort = 0;
};

TEST_F(PublishOverTls, PackagesArriveOverTlsAndARefusedOneDoesNotHoldUpTheStation) {
    startCollector();
    zelvar::PublishConfig tls = config("east");
    tls.port = tlsPort;
    tls.login.tls = true;
    tls.login.caFile = (scratch / "tls" / "ca.crt").string();
    zelvar::Publisher publisher(tls);
    // Twenty seconds of packages, a refused one among them.
    auto sendFor = [&](int seconds) {
        SteadyStation station(publisher);
        const std::uint64_t until = publisher.taken() + SteadyStation::kRate * static_cast<std::uint64_t>(seconds);
        return WaitFor([&] { return publisher.taken() >= until; });
    };
    ASSERT_TRUE(sendFor(10));
    // Another station's name in this station's topic: refused, yet confirmed.
    const std::uint64_t seq = publisher.nextSeq();
    publisher.publishJson(R"({"station":"west","source":")" + publisher.source() +
                                   R"(","seq":)" + std::to_string(seq) +
                                   R"(,"port":1,"stamp":null,"time":null,"type":null,"hex":"00"})");
    ASSERT_TRUE(sendFor(10));
    EXPECT_TRUE(allConfirmed(publisher)) << ReadFile(scratch / "collector.log");
    const std::string all = std::to_string(publisher.taken());
    const std::string stored = std::to_string(publisher.taken() - 1);
    EXPECT_EQ(this->stored(publisher.source()), stored + " " + stored + " " + all);
    EXPECT_NE(ReadFile(scratch / "collector.log").find("station differs from the topic's"),
              std::string::npos);
}

}  // namespace

// The collector's check of a message against the JSON form, here for the
// time's shape and the station of the topic.
TEST(PackageMessages, TimeAndStationAreChecked) {
    const auto check = [](const std::string& time, std::string_view topicStation = "alpha") {
        const std::string json = R"({"station":"alpha","source":"0123456789abcdef0123456789abcdef","seq":1,"port":1,)"
                                 R"("stamp":"1145A3B29","time":")" +
                                 time + R"(","type":"0F","hex":"00 0F"})";
        zelvar::PackageMessage message;
        std::string row;
        std::string error;
        return zelvar::PackageMessageRow(json, topicStation, message, row, error);
    };
    for (const char* good : {"2026-12-08T06:00:00+01:00", "2026-12-08T06:00:00.123-03:30",
                             "2026-12-08T06:00:00+01:00:30"}) {
        EXPECT_TRUE(check(good)) << good;
    }
    for (const char* bad : {"2026-12-08 06:00:00+01:00", "2026-12-08T06:00:00Z",
                            "2026-12-08T06:00:00.12+01:00", "2026-12-08T06:00:00+1:00",
                            "2026-12-08T06:00:00+01:00:3", "2026-1X-08T06:00:00+01:00", ""}) {
        EXPECT_FALSE(check(bad)) << bad;
    }
    EXPECT_FALSE(check("2026-12-08T06:00:00+01:00", "beta"));
}
