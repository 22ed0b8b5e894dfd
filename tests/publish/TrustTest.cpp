// The collector against what any client of the broker may send: no message
// holds up the packages of other stations, and none makes the collector
// confirm what it did not store.
#include <ctime>

#include "MqttClient.h"
#include "PackageMessage.h"
#include "PackageStore.h"
#include "PublishFixture.h"

using namespace zelvar::test;

namespace {

constexpr const char* kRun = "0123456789abcdef0123456789abcdef";

// The start of the test (a package sent again is the same package), `days` on.
std::string nowIso(int days = 0) {
    static const std::time_t start = std::time(nullptr);
    const std::time_t now = start + days * 86400;
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S+00:00", &utc);
    return text;
}

// A valid package with a position; `change` replaces the text of one field
// ("\"seq\":7" by "\"seq\":...").
std::string package(const std::string& station, std::uint64_t seq, const std::string& from = {},
                    const std::string& to = {}) {
    std::string json =
        R"({"station":")" + station + R"(","source":")" + kRun + R"(","seq":)" +
        std::to_string(seq) + R"(,"port":1,"stamp":"1145A3B29","time":")" + nowIso() +
        R"(","type":"0F","dbm":-80,"lat":55.75,"lon":37.62,"pdop":1.5,"hex":"00 0F"})";
    if (!from.empty()) {
        const std::size_t at = json.find(from);
        if (at != std::string::npos) json.replace(at, from.size(), to);
    }
    return json;
}

class Trust : public PublishEndToEnd {
protected:
    // The collector with its subscription made: until then what is sent is
    // lost, so the first package of `good` goes until it is stored.
    void SetUp() override {
        PublishEndToEnd::SetUp();
        startCollector();
        client = std::make_unique<MqttClient>(broker->port(), name + "/+/ack");
        ASSERT_TRUE(WaitFor([&] {
            client->sendPackage(topic("good"), package("good", 1), 1);
            return storedOf("good") == 1;
        })) << ReadFile(scratch / "collector.log");
    }
    void TearDown() override {
        client.reset();
        PublishEndToEnd::TearDown();
    }
    std::unique_ptr<MqttClient> client;
    std::string topic(const std::string& station) { return name + "/" + station + "/packages"; }
    std::uint64_t storedOf(const std::string& station) {
        return std::strtoull(
            query("SELECT count(*) FROM " + name + ".packages WHERE station = '" + station + "'")
                .c_str(),
            nullptr, 10);
    }
};

TEST_F(Trust, APoisonedPackageIsRefusedAndTheNextOneOfAnotherStationStored) {
    std::string cjk;
    for (int i = 0; i < 3500; ++i) cjk += "\xE7\x94\xB5";  // 电
    struct Poison {
        std::string station, from, to;
    };
    const Poison poisons[] = {
        {"bad", "\"seq\":1,", "\"seq\":18446744073709551615,"},
        {"bad", "\"pdop\":1.5", "\"pdop\":1e300"},
        {"bad", "\"stamp\":\"1145A3B29\"", "\"stamp\":\"1145A\\u0000B2\""},
        {"bad", "\"time\":\"", "\"time\":\"0001-01-01T00:00:00+01:00\",\"x\":\""},
        {"bad", "\"time\":\"", "\"time\":\"2026-02-30T10:00:00+00:00\",\"x\":\""},
        {"bad", "+00:00", "+99:99"},
        {cjk, "", ""},
        {"bad", "\"source\":\"0123456789abcdef0123456789abcdef\"",
         "\"source\":\"run\\nwith\\tbreaks\""},
    };
    std::uint64_t goodSeq = 1;
    for (const Poison& poison : poisons) {
        SCOPED_TRACE(poison.to.empty() ? "a long station name" : poison.to);
        std::string json = package(poison.station, 1, poison.from, poison.to);
        // The time's own key comes once: the test's shape is replaced whole.
        const std::size_t extra = json.find(",\"x\":\"");
        if (extra != std::string::npos) json.erase(extra, json.find('"', extra + 6) - extra + 1);
        client->sendPackage(topic(poison.station), json, 1);
        ++goodSeq;
        client->sendPackage(topic("good"), package("good", goodSeq), 1);
        const auto sent = std::chrono::steady_clock::now();
        ASSERT_TRUE(WaitFor([&] { return storedOf("good") == goodSeq; }))
            << ReadFile(scratch / "collector.log");
        std::cerr << "stored after "
                  << std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::steady_clock::now() - sent)
                         .count()
                  << " ms\n";
    }
    EXPECT_EQ(storedOf("bad"), 0u);
    const std::string count = std::to_string(std::size(poisons));
    EXPECT_TRUE(WaitFor([&] {
        return query("SELECT count(*) FROM " + name + ".refused") == count;
    })) << ReadFile(scratch / "collector.log");
    // Each with its topic, payload and reason.
    EXPECT_EQ(query("SELECT count(*) FROM " + name + ".refused WHERE topic LIKE '" + name +
                    "/%/packages' AND length(payload) > 100 AND reason <> ''"),
              count);
    // The log names the station and reason once, however often it resends.
    for (int i = 0; i < 3; ++i)
        client->sendPackage(topic("bad"), package("bad", 2, "+00:00", "+99:99"), 1);
    client->sendPackage(topic("good"), package("good", ++goodSeq), 1);
    ASSERT_TRUE(WaitFor([&] { return storedOf("good") == goodSeq; }));
    const std::string log = ReadFile(scratch / "collector.log");
    const std::size_t first = log.find("bad");
    EXPECT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find("no valid time", log.find("no valid time") + 1), std::string::npos) << log;
}

// What the poisons above do not show: each value is checked against what
// its column takes, so that no row of a batch is refused by the server.
TEST(PackageMessages, ValuesAreCheckedAgainstWhatTheTableTakes) {
    auto error = [](const std::string& json, const std::string& station = "alpha") {
        zelvar::PackageMessage message;
        std::string row;
        std::string why;
        zelvar::PackageMessageRow(json, station, message, row, why);
        return why;
    };
    EXPECT_EQ(error(package("alpha", 9'223'372'036'854'775'807ULL)), "");
    EXPECT_EQ(error(package("alpha", 1, "+00:00", "-14:00")), "");
    EXPECT_EQ(error(package(std::string(64, 'n'), 1), std::string(64, 'n')), "");
    const std::pair<std::string, std::string> bad[] = {
        {package("alpha", 9'223'372'036'854'775'808ULL), "no valid source and seq"},
        {package("alpha", 1, "+00:00", "+14:30"), "no valid time"},
        {package("alpha", 1, "\"time\":\"" + nowIso(), "\"time\":\"2100-02-29T10:00:00+00:00"),
         "no valid time"},
        {package("alpha", 1, "\"pdop\":1.5", "\"pdop\":1e31"), "no valid position"},
        // Nought as a `real`: the server takes no such underflow.
        {package("alpha", 1, "\"pdop\":1.5", "\"pdop\":1e-50"), "no valid position"},
        {package("alpha", 1, "\"stamp\":\"1145A3B29\"",
                 "\"stamp\":\"1145A\xFF"
                 "B29\""),
         "not a JSON object"},
        {package("alpha", 1, "0123456789abcdef", "0123456789ABCDEF"), "no valid source and seq"},
        {package("alpha", 1, "\"hex\":\"00 0F\"", "\"hex\":\"00" + std::string(70'000, ' ') + "\""),
         "over 64 KiB"},
    };
    for (const auto& [json, why] : bad) EXPECT_EQ(error(json), why) << json.substr(0, 300);
    EXPECT_EQ(error(package(std::string(65, 'n'), 1), std::string(65, 'n')), "no valid station");
}

// A value the check lets through and the server still refuses (here one the
// table's owner forbade) costs only its own row, and the log tells it from a
// lost database.
TEST_F(Trust, ARowTheServerRefusesCostsOnlyItself) {
    query("ALTER TABLE " + name + ".packages ADD CONSTRAINT no_ee CHECK (type <> 'EE')");
    for (std::uint64_t seq = 2; seq <= 50; ++seq) {
        client->sendPackage(topic("good"),
                            package("good", seq, "\"type\":\"0F\"",
                                    seq == 20 ? "\"type\":\"EE\"" : "\"type\":\"0F\""),
                            1);
    }
    ASSERT_TRUE(WaitFor([&] { return storedOf("good") == 49; }))
        << ReadFile(scratch / "collector.log");
    EXPECT_TRUE(WaitFor([&] {
        return client->last(name + "/good/ack") == zelvar::AckMessage({kRun, 50});
    })) << client->last(name + "/good/ack");
    EXPECT_EQ(query("SELECT count(*) FROM " + name + ".refused WHERE payload LIKE '%EE%'"), "1");
    const std::string log = ReadFile(scratch / "collector.log");
    EXPECT_EQ(log.find("the database is back"), std::string::npos) << log;
}

// A package the collector refuses says nothing about what it stored: its
// floor moves no confirmation.
TEST_F(Trust, TheFloorOfARefusedPackageConfirmsNothing) {
    // Here the collector has never heard of the run.
    client->sendPackage(topic("victim"), package("victim", 5, "\"port\":1", "\"port\":9"),
                        1'000'000);
    client->sendPackage(topic("victim"), package("victim", 1), 1);
    ASSERT_TRUE(WaitFor([&] { return !client->last(name + "/victim/ack").empty(); }))
        << ReadFile(scratch / "collector.log");
    EXPECT_EQ(client->last(name + "/victim/ack"), zelvar::AckMessage({kRun, 1}));
    // Nor does a floor above the package's own seq.
    client->sendPackage(topic("victim"), package("victim", 2), 1'000'000);
    client->sendPackage(topic("victim"), package("victim", 3), 1);
    ASSERT_TRUE(WaitFor([&] {
        const std::string ack = client->last(name + "/victim/ack");
        return ack != zelvar::AckMessage({kRun, 1}) && ack != zelvar::AckMessage({kRun, 2});
    }));
    EXPECT_EQ(client->last(name + "/victim/ack"), zelvar::AckMessage({kRun, 3}));
}

// A confirmation waits retained for its station only while the station is
// offline: one that says it is online has subscribed to it before, and one
// online hears it live. Nothing of a station that holds nothing stays on the
// broker.
TEST_F(Trust, AConfirmationStaysRetainedOnlyWhileItsStationIsOffline) {
    const std::string status = name + "/good/status";
    const std::string ack = name + "/good/ack";
    client->say(name + "/marker", "here");
    auto retained = [&] {
        // Once the marker of the later subscription is here, so is any retained confirmation.
        MqttClient fresh(broker->port(), ack);
        fresh.subscribe(name + "/marker");
        if (!WaitFor([&] { return !fresh.last(name + "/marker").empty(); })) return std::string("no marker");
        return fresh.last(ack);
    };
    const std::string online = zelvar::StatusMessage({true, "", zelvar::StationState{}, {}, {}});
    client->say(status, online);
    client->sendPackage(topic("good"), package("good", 2), 1);
    ASSERT_TRUE(WaitFor([&] { return client->last(ack) == zelvar::AckMessage({kRun, 2}); }));
    EXPECT_EQ(retained(), "");

    client->say(status, "offline");  // as a station of an earlier version says it
    client->sendPackage(topic("good"), package("good", 3), 1);
    ASSERT_TRUE(WaitFor([&] { return client->last(ack) == zelvar::AckMessage({kRun, 3}); }));
    EXPECT_EQ(retained(), zelvar::AckMessage({kRun, 3}));
    client->say(status, online);
    EXPECT_TRUE(WaitFor([&] { return retained().empty(); })) << retained();
}

// Packages of times the collector does not trust wait in `refused` until an
// operator re-admits them: too old, over a day ahead, or of more new days
// than a station may open in an hour.
TEST_F(Trust, PackagesOfUntrustedTimesWaitUntilReadmitted) {
    const std::string now = "\"time\":\"" + nowIso();
    client->sendPackage(topic("old"), package("old", 1, now, "\"time\":\"" + nowIso(-40)), 1);
    client->sendPackage(topic("ahead"), package("ahead", 1, now, "\"time\":\"" + nowIso(2)), 1);
    for (int day = 1; day <= 20; ++day) {
        client->sendPackage(
            topic("many"),
            package("many", static_cast<std::uint64_t>(day), now, "\"time\":\"" + nowIso(-day)), 1);
    }
    client->sendPackage(topic("good"), package("good", 2), 1);
    ASSERT_TRUE(WaitFor([&] { return storedOf("good") == 2; }))
        << ReadFile(scratch / "collector.log");
    EXPECT_TRUE(WaitFor([&] { return query("SELECT count(*) FROM " + name + ".refused") == "12"; }))
        << ReadFile(scratch / "collector.log");
    EXPECT_EQ(storedOf("old") + storedOf("ahead"), 0u);
    EXPECT_EQ(storedOf("many"), 10u);
    // Today's partition, ten days of `many` and the DEFAULT one.
    EXPECT_EQ(query("SELECT count(*) FROM pg_inherits WHERE inhparent = '" + name +
                    ".packages'::regclass"),
              "12");

    const ToolRun readmit =
        RunInShell(ShellQuoted(ZELVAR_COLLECT_BIN) + " --database " +
                       ShellQuoted("options=-csearch_path=" + name) + " --readmit",
                   scratch);
    EXPECT_EQ(readmit.status, 0) << readmit.err;
    EXPECT_EQ(readmit.err, "12 re-admitted, 0 kept\n");
    EXPECT_EQ(storedOf("old") + storedOf("ahead") + storedOf("many"), 22u);
    EXPECT_EQ(query("SELECT count(*) FROM " + name + ".refused"), "0");
}

// In a database whose encoding lacks the characters of a station's name, the
// package is refused, and so would be its row of `refused`: it is kept there
// with the name's bytes written out, and the other stations' packages go on.
TEST_F(Trust, ARefusalTheDatabaseCannotWriteAsItIsHoldsUpNoOne) {
    const std::string database = name + "_latin1";
    query("CREATE DATABASE " + database + " ENCODING 'LATIN1' TEMPLATE template0 LC_COLLATE 'C' LC_CTYPE 'C'");
    const std::string prefix = name + "l";
    {
        ChildProcess latin1;
        latin1.start({ZELVAR_COLLECT_BIN, "--database", "dbname=" + database, "--init", "--broker",
                      "127.0.0.1:" + std::to_string(broker->port()), "--prefix", prefix, "--client-id", prefix},
                     scratch / "latin1.log");
        std::unique_ptr<PGconn, decltype(&PQfinish)> other(PQconnectdb(("dbname=" + database).c_str()), &PQfinish);
        auto value = [&](const std::string& sql) {
            std::unique_ptr<PGresult, decltype(&PQclear)> r(PQexec(other.get(), sql.c_str()), &PQclear);
            return PQntuples(r.get()) > 0 ? std::string(PQgetvalue(r.get(), 0, 0)) : "";
        };
        // What goes before the collector's subscription is lost: the highest seq
        // tells, and each package's floor is its own seq.
        auto stored = [&] { return value("SELECT coalesce(max(seq), 0) FROM packages"); };
        const std::string cjk = "\xE7\x94\xB5";  // 电
        std::uint64_t seq = 0;
        client->subscribe(prefix + "/good/ack");
        ASSERT_TRUE(WaitFor([&] {
            ++seq;
            client->sendPackage(prefix + "/good/packages", package("good", seq), seq);
            const std::string highest = stored();
            return highest != "" && highest != "0";
        })) << ReadFile(scratch / "latin1.log");
        client->sendPackage(prefix + "/" + cjk + "/packages", package(cjk, 1), 1);
        ++seq;
        client->sendPackage(prefix + "/good/packages", package("good", seq), seq);
        // Stored and confirmed: a collector held up by the refusal stores what comes, and confirms nothing.
        EXPECT_TRUE(WaitFor([&] { return client->last(prefix + "/good/ack") == zelvar::AckMessage({kRun, seq}); }))
            << ReadFile(scratch / "latin1.log");
        EXPECT_EQ(value("SELECT station FROM refused"), "\\xe7\\x94\\xb5");
        latin1.kill(SIGKILL);
    }
    query("DROP DATABASE " + database);
}

// Refusals for their data are bounded, the newest kept; packages waiting for
// their time are not among them: they stay until re-admitted or deleted.
TEST_F(Trust, TheBoundOfRefusedSparesThePackagesWaitingForTheirTime) {
    zelvar::PackageStore store("options='-c search_path=" + name + "'", 2);
    for (int i = 0; i < 8; ++i) {
        const std::string reason =
            i % 3 == 0 ? std::string(zelvar::kTimeReason) + "older than --max-age" : "no valid port";
        store.refuse("s\tt\t" + reason + "\t\\\\x00\n");
    }
    EXPECT_EQ(query("SELECT count(*) FILTER (WHERE reason LIKE 'time %') || ' ' || count(*) FROM " + name +
                    ".refused"),
              "3 5");
}

}  // namespace
