#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <poll.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "PackageStore.h"
#include "ToolRun.h"

namespace fs = std::filesystem;
using zelvar::test::ShellQuoted;
using zelvar::test::ToolRun;

namespace {

fs::path dataDir() { return fs::path(ZELVAR_TEST_DATA); }

// A log of `lines` stamped packages, all different, whose stamps run over
// some twenty days from 1 June 2012 on; `salt` makes two such logs differ.
std::string generatedLog(int lines, int salt) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string log;
    for (int i = 0; i < lines; ++i) {
        const long stamp = 0xF4BEE070L + i * 100L;
        std::string hex;
        for (int b = 0; b < 30; ++b) {
            int value = b == 4 ? 0x03 : (b == 28 ? 0x11 : 0);
            if (b == 0) value = salt & 0xFF;
            if (b == 1) value = (i >> 8) & 0xFF;
            if (b == 2) value = i & 0xFF;
            if (b > 0) hex += ' ';
            hex += kDigits[value >> 4];
            hex += kDigits[value & 15];
        }
        char prefix[16];
        std::snprintf(prefix, sizeof prefix, "%d$%lX\t", 1 + i % 4, stamp);
        log.append(prefix).append(hex).append("\r\n");
    }
    return log;
}

class Collector : public ::testing::Test {
protected:
    void SetUp() override {
        // The test command provides the database; without it these tests fail.
        ASSERT_NE(std::getenv("PGHOST"), nullptr)
            << "no PostgreSQL: run the tests under pg_virtualenv, as scripts/run-tests.sh does";
        scratch = zelvar::test::TestScratchDir("zelvar-collect");
        std::ofstream(scratch / "empty.ini") << "";
        schema = "t" + std::to_string(::getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : schema) c = static_cast<char>(std::tolower(c));
        conn.reset(PQconnectdb(""));
        ASSERT_EQ(PQstatus(conn.get()), CONNECTION_OK) << PQerrorMessage(conn.get());
        PQsetNoticeProcessor(conn.get(), [](void*, const char*) {}, nullptr);
        query("CREATE SCHEMA " + schema);
        query("SET search_path = " + schema);
        if (made()) {
            const ToolRun r = zelvar::test::RunInShell(database() + " --init", scratch);
            ASSERT_EQ(r.status, 0) << r.err;
        }
    }
    // The tables are made before the test.
    virtual bool made() const { return true; }
    // The collector with the database in the test's own schema.
    std::string database() const {
        return ShellQuoted(ZELVAR_COLLECT_BIN) + " --database " + ShellQuoted("options=-csearch_path=" + schema);
    }
    void TearDown() override {
        if (conn) query("DROP SCHEMA IF EXISTS " + schema + " CASCADE");
        fs::remove_all(scratch);
    }

    // The first value of the first row, or the error.
    std::string query(const std::string& sql) {
        std::unique_ptr<PGresult, decltype(&PQclear)> r(PQexec(conn.get(), sql.c_str()), &PQclear);
        const ExecStatusType status = PQresultStatus(r.get());
        if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
            ADD_FAILURE() << sql << ": " << PQresultErrorMessage(r.get());
            return "error";
        }
        return PQntuples(r.get()) > 0 ? PQgetvalue(r.get(), 0, 0) : "";
    }

    // The collector with the database in the test's own schema, reading
    // the stamps in a zone of summer time.
    std::string collectCommand(const fs::path& log, const std::string& station,
                               const std::string& settings = "") {
        const std::string settingsFile =
            settings.empty() ? (scratch / "empty.ini").string() : settings;
        return database() + " --import " + ShellQuoted(log.string()) + " --station " + ShellQuoted(station) +
               " --settings " + ShellQuoted(settingsFile) + " --zone Europe/Berlin";
    }
    ToolRun collect(const fs::path& log, const std::string& station = "alpha",
                    const std::string& settings = "") {
        return zelvar::test::RunInShell(collectCommand(log, station, settings), scratch);
    }
    // What zelvar-decode counts as packages in the same log: " T x / H <count>".
    std::string hCount(const fs::path& log, const std::string& settings) {
        const ToolRun r = zelvar::test::RunInShell(
            ShellQuoted(ZELVAR_DECODE_BIN) + " --settings " + ShellQuoted(settings) + " " +
                ShellQuoted(log.string()),
            scratch);
        return r.err.substr(r.err.rfind("/ H ") + 4, r.err.find_last_not_of('\n') - r.err.rfind("/ H ") - 3);
    }
    fs::path write(const std::string& name, const std::string& text) {
        std::ofstream(scratch / name, std::ios::binary) << text;
        return scratch / name;
    }

    fs::path scratch;
    std::string schema;
    std::unique_ptr<PGconn, decltype(&PQfinish)> conn{nullptr, &PQfinish};
};

}  // namespace

// One row for every package zelvar-decode counts, each once however often
// the log is imported; stamped rows in their UTC day's partition, bare lines
// in the DEFAULT one.
TEST_F(Collector, SampleLogsStoreEachPackageOnce) {
    struct Sample {
        const char* log;
        const char* settings;
    };
    const Sample samples[] = {{"traffic.hex", nullptr}, {"reports.hex", "only-rssi.ini"}};
    long total = 0;
    for (const Sample& s : samples) {
        SCOPED_TRACE(s.log);
        const std::string settings =
            s.settings != nullptr ? (dataDir() / s.settings).string() : (scratch / "empty.ini").string();
        const std::string packages = hCount(dataDir() / s.log, settings);
        total += std::stol(packages);
        for (const char* fresh : {" new\n", " 0 new\n"}) {
            const ToolRun r = collect(dataDir() / s.log, "alpha", settings);
            EXPECT_EQ(r.status, 0) << r.err;
            const std::string stored = fresh[1] == '0' ? "0" : packages;
            EXPECT_EQ(r.err, packages + " packages, " + stored + " new\n");
            EXPECT_EQ(query("SELECT count(*) FROM packages"), std::to_string(total));
        }
    }
    EXPECT_EQ(query("SELECT count(*) FROM packages_default"), "3");
    EXPECT_EQ(query("SELECT count(*) FROM packages_default WHERE time IS NOT NULL"), "0");
    EXPECT_EQ(query("SELECT to_char(time AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI:SS') || ' ' || "
                    "tableoid::regclass::text FROM packages WHERE stamp = 'F4BEE070'"),
              "2012-06-01 10:00:00 packages_20120601");
    EXPECT_EQ(query("SELECT concat_ws('|', seq, port, type, call, \"group\", id, clr, enc, ptt, dbm, hex) "
                    "FROM packages WHERE stamp = '1145A3B35'"),
              "13|3|24|Total|For All|12|2|off|1|-129|00 25 3C 01 24 00 00 00 00 00 00 00 00 FF FF FF "
              "00 00 0C 00 00 00 00 00 00 00 00 00 21 D6 54 AF");
}

// Packages that merely look alike are different packages: the same lines in
// two logs, or twice in one, and the same log from two stations, all stay.
TEST_F(Collector, IdenticalLinesAreKept) {
    const std::string line = "1$F4BEE070\t00 00 00 00 0F 00 00 00 00 00 00 5A 00\r\n";
    const fs::path a = write("a.hex", line + line);
    const fs::path b = write("b.hex", line + line + line);
    EXPECT_EQ(collect(a).err, "2 packages, 2 new\n");
    EXPECT_EQ(collect(b).err, "3 packages, 3 new\n");
    EXPECT_EQ(collect(b, "beta").err, "3 packages, 3 new\n");
    EXPECT_EQ(query("SELECT count(*) FROM packages"), "8");
}

TEST_F(Collector, BareLinesAreStoredOnceWithoutTime) {
    const std::string line = "00 00 00 00 03 00 00 00 00 00 00 00 20 00 00 64 00 01 F4 00 00 00 00 00 00 00 00 00 11 00\n";
    const fs::path log = write("bare.hex", line + line + "\n" + line + "01 02\n");
    EXPECT_EQ(collect(log).err, "4 packages, 4 new\n");
    EXPECT_EQ(collect(log).err, "4 packages, 0 new\n");
    EXPECT_EQ(query("SELECT string_agg(seq::text, ',' ORDER BY seq) FROM packages_default "
                    "WHERE time IS NULL AND stamp IS NULL"),
              "1,2,4,5");
}

// Two imports into a table that does not exist yet, over the same days:
// the table and every day's partition are made once, and every row arrives.
TEST_F(Collector, ConcurrentImportsIntoOneTable) {
    const fs::path a = write("a.hex", generatedLog(20000, 1));
    const fs::path b = write("b.hex", generatedLog(20000, 2));
    const std::string both = collectCommand(a, "alpha") + " 2>" + ShellQuoted((scratch / "a.err").string()) +
                             " & " + collectCommand(b, "alpha") + " 2>" +
                             ShellQuoted((scratch / "b.err").string()) +
                             " & wait %1; ra=$?; wait %2; rb=$?; test $ra -eq 0 && test $rb -eq 0";
    const ToolRun r = zelvar::test::RunInShell(both, scratch);
    EXPECT_EQ(r.status, 0) << zelvar::test::ReadFile(scratch / "a.err")
                           << zelvar::test::ReadFile(scratch / "b.err");
    EXPECT_EQ(zelvar::test::ReadFile(scratch / "a.err"), "20000 packages, 20000 new\n");
    EXPECT_EQ(zelvar::test::ReadFile(scratch / "b.err"), "20000 packages, 20000 new\n");
    EXPECT_EQ(query("SELECT count(*) FROM packages"), "40000");
    EXPECT_EQ(query("SELECT count(*) FROM packages_default"), "0");
    // 20 days from 1 June 2012 10:00 UTC touch 21 UTC days, and the DEFAULT partition.
    EXPECT_EQ(query("SELECT count(*) FROM pg_inherits WHERE inhparent = 'packages'::regclass"), "22");
}

TEST_F(Collector, FailuresEndWithOneLineAndStatus2) {
    const fs::path log = dataDir() / "traffic.hex";
    const std::string bin = ShellQuoted(ZELVAR_COLLECT_BIN);
    const std::string commands[] = {
        bin + " --import " + ShellQuoted(log.string()) + " --station a",          // no database
        bin + " --database '' --import " + ShellQuoted(log.string()),             // no station
        bin + " --database '' --import " + ShellQuoted(log.string()) + " --station a/b",
        bin + " --database '' --import /nonexistent.hex --station a",
        bin + " --database 'host=127.0.0.1 port=1' --import " + ShellQuoted(log.string()) +
            " --station a --settings " + ShellQuoted((scratch / "empty.ini").string()),
        bin + " --database 'dbname=no_such_database' --import " + ShellQuoted(log.string()) +
            " --station a --settings " + ShellQuoted((scratch / "empty.ini").string()),
        bin + " --database '' --import " + ShellQuoted(log.string()) + " --station a --settings " +
            ShellQuoted((scratch / "missing.ini").string()),
    };
    for (const std::string& command : commands) {
        SCOPED_TRACE(command);
        const ToolRun r = zelvar::test::RunInShell(command, scratch);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err.rfind("zelvar-collect: ", 0), 0u) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    }
}

// The table as the collector made it before the schema had a version.
constexpr const char* kFirstTable = R"(
CREATE TABLE packages (
    station text COLLATE "C" NOT NULL, source text COLLATE "C" NOT NULL, seq bigint NOT NULL,
    time timestamptz, port smallint NOT NULL, stamp text, type text, call text, "group" text, id integer,
    clr smallint, enc text, ptt text, dbm text, lat double precision, lon double precision, pdop real,
    hex text NOT NULL, UNIQUE NULLS NOT DISTINCT (station, source, seq, time)
) PARTITION BY RANGE (time);
CREATE TABLE packages_default PARTITION OF packages DEFAULT;
INSERT INTO packages (station, source, seq, port, hex) VALUES ('old', 'import', 1, 1, '00'))";

class CollectorSchema : public Collector {
protected:
    bool made() const override { return false; }
};

// Only --init makes or upgrades the schema; a collector that meets none, an
// older or a later one neither starts nor changes it, and says why.
TEST_F(CollectorSchema, OnlyInitMakesOrUpgradesTheSchema) {
    const fs::path log = write("one.hex", "1$F4BEE070\t00 00 00 00 0F 00 00 00 00 00 00 5A 00\r\n");
    auto init = [&] { return zelvar::test::RunInShell(database() + " --init", scratch); };
    auto refusedStart = [&](const std::string& why) {
        SCOPED_TRACE(why);
        for (const std::string& command :
             // A service that starts nonetheless would wait for its broker for ever.
             {collectCommand(log, "alpha"), "timeout 120 " + database() + " --broker 127.0.0.1:1 --prefix t"}) {
            const ToolRun r = zelvar::test::RunInShell(command, scratch);
            EXPECT_EQ(r.status, 2) << command;
            EXPECT_NE(r.err.find(why), std::string::npos) << r.err;
        }
    };
    refusedStart("--init");
    EXPECT_EQ(query("SELECT count(*) FROM pg_class WHERE relnamespace = '" + schema + "'::regnamespace"), "0");

    query(kFirstTable);
    refusedStart("--init");
    ToolRun r = init();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "upgraded the schema from version 1 to 6\n");
    EXPECT_EQ(query("SELECT version FROM zelvar_schema"), "6");
    EXPECT_EQ(query("SELECT count(*) FROM refused"), "0");
    EXPECT_EQ(init().err, "schema version 6, nothing to do\n");
    EXPECT_EQ(collect(log).err, "1 packages, 1 new\n");
    EXPECT_EQ(query("SELECT count(*) FROM packages"), "2");
    // The counts per minute hold the rows stored before the upgrade and after.
    EXPECT_EQ(query("SELECT (SELECT count(time) FROM packages) = (SELECT coalesce(sum(packages), 0) FROM activity)"), "t");

    query("UPDATE zelvar_schema SET version = 7");
    refusedStart("version 7");
    r = init();
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("version 7"), std::string::npos) << r.err;
}

// The zone a log was written in is stated, or the local one taken and said,
// and kept with the import: the same log read in another zone is refused
// unless asked for. A time the change to summer time skips, or the change
// back repeats, is read with the offset before the change. The import runs
// as the collector's role.
TEST_F(Collector, ALogIsReadInOneZoneOnly) {
    const std::string role = schema + "_collector";
    query("CREATE ROLE " + role);
    ASSERT_EQ(zelvar::test::RunInShell(database() + " --init --collector-role " + role, scratch).status, 0);
    const std::string line = "\t00 00 00 00 0F 00 00 00 00 00 00 5A 00\r\n";
    const fs::path log = write("zones.hex", "1$F5A1A0F1" + line + "1$F4568351" + line + "1$F4BEE070" + line);
    auto import = [&](const std::string& tz, const fs::path& file, const std::string& zone) {
        return zelvar::test::RunInShell(
            "TZ=" + tz + " " + ShellQuoted(ZELVAR_COLLECT_BIN) + " --database \"options='-csearch_path=" + schema +
                " -crole=" + role + "'\" --import " +
                ShellQuoted(file.string()) + " --station alpha --settings " +
                ShellQuoted((scratch / "empty.ini").string()) + zone,
            scratch);
    };
    ToolRun r = import("UTC", log, " --zone Europe/Berlin");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "local times read with the offset before the change: 1 repeated, 1 skipped\n"
                     "3 packages, 3 new\n");
    EXPECT_EQ(query("SELECT string_agg(to_char(time AT TIME ZONE 'UTC', 'MM-DD HH24:MI'), ',' ORDER BY seq) "
                    "FROM packages"),
              "10-28 00:30,03-25 01:30,06-01 10:00");
    EXPECT_EQ(query("SELECT concat_ws('|', station, zone, right(file, 9), packages, finished IS NOT NULL) "
                    "FROM imports"),
              "alpha|Europe/Berlin|zones.hex|3|t");
    for (const char* refused : {" --zone Mars/Olympus", " --zone 3", " --zone +03:00"}) {
        r = import("UTC", log, refused);
        EXPECT_EQ(r.status, 2) << refused;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    }
    EXPECT_NE(r.err.find("Europe/Berlin"), std::string::npos) << r.err;
    EXPECT_EQ(query("SELECT count(*) FROM packages"), "3");
    r = import("UTC", log, " --zone +03:00 --zone-anew");
    EXPECT_EQ(r.err, "3 packages, 3 new\n");
    EXPECT_EQ(query("SELECT zone FROM imports"), "+03:00");
    EXPECT_EQ(query("SELECT count(*) FROM packages WHERE time = '2012-06-01 09:00Z'"), "1");
    r = import("Europe/Moscow", write("other.hex", "1$F4BEE070" + line), "");
    EXPECT_EQ(r.err, "zone Europe/Moscow (the local zone)\n1 packages, 1 new\n");
    query("DROP OWNED BY " + role);
    query("DROP ROLE " + role);
}

// An import whose connection is lost says how far it came, and the same
// import run again finishes it; a file that is no hex log is refused.
TEST_F(Collector, AnInterruptedImportSaysSoAndIsFinishedByTheNext) {
    // Two batches; the second, from 20 July 2012 on, waits for a day the
    // test holds locked until the import's connections are cut.
    const fs::path log = write("long.hex", generatedLog(60000, 3));
    query("SELECT zelvar_make_day('2012-07-28')");
    // Locked in a session of its own: this one's view of the server's
    // activity would stay as it was within the transaction.
    const std::unique_ptr<PGconn, decltype(&PQfinish)> locker(
        PQconnectdb(("options=-csearch_path=" + schema).c_str()), &PQfinish);
    PQclear(PQexec(locker.get(), "BEGIN; LOCK TABLE packages_20120728"));
    const std::string command = collectCommand(log, "alpha") + " --database " +
                                ShellQuoted("application_name=cut options=-csearch_path=" + schema) + " 2>" +
                                ShellQuoted((scratch / "cut.err").string()) + "; echo $? >" +
                                ShellQuoted((scratch / "cut.status").string());
    ASSERT_EQ(zelvar::test::RunInShell("(" + command + ") &", scratch).status, 0);
    const fs::path status = scratch / "cut.status";
    while (zelvar::test::ReadFile(status).empty() &&
           (query("SELECT count(*) FROM pg_stat_activity WHERE application_name = 'cut' AND wait_event_type = "
                  "'Lock'") != "1" ||
            // Not the locked day, which the count would wait for.
            query("SELECT count(*) FROM packages WHERE time < '2012-07-28'") != "50000")) {
        ::usleep(20000);
    }
    ASSERT_EQ(zelvar::test::ReadFile(status), "") << zelvar::test::ReadFile(scratch / "cut.err");
    query("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE application_name = 'cut'");
    PQclear(PQexec(locker.get(), "ROLLBACK"));
    while (zelvar::test::ReadFile(status).empty()) ::usleep(20000);
    EXPECT_EQ(zelvar::test::ReadFile(status), "2\n");
    const std::string said = zelvar::test::ReadFile(scratch / "cut.err");
    EXPECT_NE(said.find("50000 of 60000 packages are stored; the same import run again stores the rest"),
              std::string::npos)
        << said;
    EXPECT_EQ(query("SELECT count(*) FROM imports WHERE finished IS NULL"), "1");
    EXPECT_EQ(collect(log).err, "60000 packages, 10000 new\n");
    EXPECT_EQ(query("SELECT concat_ws('|', packages, finished IS NOT NULL) FROM imports"), "60000|t");

    const ToolRun r = collect("/bin/ls");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("no line of a hex log"), std::string::npos) << r.err;
    EXPECT_EQ(query("SELECT count(*) FROM packages"), "60000");
}

// Levels are numbers beside their text on every path: dbm_value the level in
// dBm (NULL for "Max", "-" and none), dbm_max for "Max"; rows stored before
// these columns get them from --init's upgrade.
TEST_F(CollectorSchema, LevelsAreNumbers) {
    query(kFirstTable);
    query("INSERT INTO packages (station, source, seq, port, dbm, hex) VALUES ('old', 'import', 2, 1, '-90', '00'), "
          "('old', 'import', 3, 1, 'Max', '00'), ('old', 'import', 4, 1, '-', '00')");
    const ToolRun r = zelvar::test::RunInShell(database() + " --init", scratch);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(query("SELECT string_agg(concat_ws(':', seq, dbm_value, dbm_max), ',' ORDER BY seq) FROM packages"),
              "1:f,2:-90:f,3:t,4:f");
    EXPECT_EQ(collect(dataDir() / "reports.hex", "alpha", (dataDir() / "only-rssi.ini").string()).status, 0);
    EXPECT_EQ(query("SELECT concat_ws('|', count(*) FILTER (WHERE dbm_max), count(dbm_value), avg(dbm_value)) "
                    "FROM packages WHERE station = 'alpha'"),
              "2|10|-111.2000000000000000");
}

// The README's query of packages and average level per hour per station for
// a day runs as it stands there.
TEST_F(Collector, TheReadmeQueryRuns) {
    std::ifstream readme(fs::path(ZELVAR_SOURCE_DIR) / "README.md");
    std::string line;
    while (std::getline(readme, line) && line.find("per hour per station for a day") == std::string::npos) {
    }
    while (std::getline(readme, line) && !line.starts_with("    ")) {
    }
    std::string sql;
    for (; readme && line.starts_with("    "); std::getline(readme, line)) sql += line.substr(4) + '\n';
    ASSERT_FALSE(sql.empty()) << "no query in the README";
    EXPECT_EQ(collect(dataDir() / "reports.hex", "alpha", (dataDir() / "only-rssi.ini").string()).status, 0);
    EXPECT_EQ(collect(dataDir() / "traffic.hex", "beta").status, 0);
    query("SET TimeZone = 'Europe/Berlin'");
    EXPECT_EQ(query("SELECT string_agg(q::text, ' ') FROM (" + sql.substr(0, sql.rfind(';')) + ") q"),
              "(alpha,\"2026-12-08 06:00:00+01\",16,-111.2) (beta,\"2026-12-08 06:00:00+01\",25,-94.2)");
}

// The collector's role notes what stations say through the owner's function
// only, and the table keeps the stations heard of last, up to its bound.
TEST_F(Collector, StationsAreNotedWithinTheirBound) {
    const std::string role = schema + "_collector";
    query("CREATE ROLE " + role);
    ASSERT_EQ(zelvar::test::RunInShell(database() + " --init --collector-role " + role, scratch).status, 0);
    query("SET ROLE " + role);
    query("SELECT zelvar_note_stations('[{\"station\":\"a\",\"heard\":1000},{\"station\":\"b\",\"heard\":3000,"
          "\"state\":\"online\",\"hosts\":1,\"gps\":true,\"transceivers\":4},{\"station\":\"c\",\"heard\":2000,"
          "\"package\":1500}]', 2)");
    // A note of packages alone keeps what the last status said.
    query("SELECT zelvar_note_stations('[{\"station\":\"b\",\"heard\":4000,\"package\":3500}]', 2)");
    query("RESET ROLE");
    EXPECT_EQ(query("SELECT string_agg(concat_ws('|', station, extract(epoch FROM last_seen), state, hosts, gps, "
                    "transceivers, extract(epoch FROM last_package)), ',' ORDER BY station) FROM stations"),
              "b|4.000000|online|1|t|4|3.500000,c|2.000000|1.500000");
    query("DROP OWNED BY " + role);
    query("DROP ROLE " + role);
}

namespace {

// The payload of the next notification on `channel` whose payload holds
// `part`; empty when none came within a generous bound.
std::string awaitNotification(PGconn* conn, const std::string& channel, const std::string& part,
                              std::string* before = nullptr) {
    for (int round = 0; round < 300; ++round) {
        PQconsumeInput(conn);
        while (PGnotify* n = PQnotifies(conn)) {
            const std::string payload = n->extra;
            const bool match = channel == n->relname && payload.find(part) != std::string::npos;
            PQfreemem(n);
            if (match) return payload;
            if (before != nullptr) before->append(payload);
        }
        pollfd socket{PQsocket(conn), POLLIN, 0};
        ::poll(&socket, 1, 100);
    }
    return {};
}

}  // namespace

// A listener hears of each stored batch once it is committed: the stations
// and the newest time stored. A batch of more stations than a payload holds
// names those that fit and says there are more, within PostgreSQL's bound.
TEST_F(Collector, StoredBatchesAreNotified) {
    query("LISTEN zelvar_packages");
    const std::string station = schema + "_alpha";
    ASSERT_EQ(collect(dataDir() / "reports.hex", station, (dataDir() / "only-rssi.ini").string()).status, 0);
    const std::string newest = query("SELECT to_char(max(time) AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.US\"Z\"') "
                                     "FROM packages");
    EXPECT_EQ(awaitNotification(conn.get(), "zelvar_packages", station),
              "{\"newest\" : \"" + newest + "\", \"stations\" : [\"" + station + "\"], \"more\" : false}");

    const std::string conninfo = "options=-csearch_path=" + schema;
    zelvar::PackageStore store(conninfo);
    const std::string longName = schema + "_" + std::string(40, 'x');
    for (int i = 0; i < 2000; ++i) {
        store.add(longName + std::to_string(10000 + i) + "\tlive\t1\t2026-12-08 06:00:00+00\t1\t\\N\t\\N\t\\N\t\\N\t\\N\t"
                  "\\N\t\\N\t\\N\t\\N\t\\N\t\\N\t\\N\t00\n");
    }
    store.flush();
    const std::string payload = awaitNotification(conn.get(), "zelvar_packages", longName + "10000");
    EXPECT_LT(payload.size(), 8000u);
    EXPECT_GT(payload.size(), 6000u);
    EXPECT_TRUE(payload.ends_with("\"more\" : true}")) << payload.substr(payload.size() - 40);
}

// A listener that stops reading (a stopped process) holds PostgreSQL's queue
// of notifications, and a commit whose notification no longer fits fails
// whole. From half full on, batches are stored without one; the next batch
// after the queue drained is heard of again. The test's schema comes before
// pg_catalog, so that the queue's fill is the test's to say.
TEST_F(Collector, AFillingNotifyQueueNeverStopsStorage) {
    query("CREATE FUNCTION pg_notification_queue_usage() RETURNS double precision "
          "LANGUAGE sql AS 'SELECT 0.6::float8'");
    query("LISTEN zelvar_packages");
    zelvar::PackageStore store("options=-csearch_path=" + schema + ",pg_catalog");
    const auto row = [&](const std::string& station) {
        return schema + "_" + station + "\tlive\t1\t2026-12-08 06:00:00+00\t1\t\\N\t\\N\t\\N\t\\N\t\\N\t"
               "\\N\t\\N\t\\N\t\\N\t\\N\t\\N\t\\N\t00\n";
    };
    store.add(row("held"));
    store.flush();
    EXPECT_EQ(query("SELECT count(*) FROM packages"), "1");
    query("CREATE OR REPLACE FUNCTION pg_notification_queue_usage() RETURNS double precision "
          "LANGUAGE sql AS 'SELECT 0.1::float8'");
    store.add(row("drained"));
    store.flush();
    EXPECT_EQ(query("SELECT count(*) FROM packages"), "2");
    // Notifications come in the order of their commits.
    std::string before;
    EXPECT_NE(awaitNotification(conn.get(), "zelvar_packages", "_drained", &before), "");
    EXPECT_EQ(before.find("_held"), std::string::npos) << before;
}
