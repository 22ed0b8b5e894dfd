// What stations say about themselves on their retained status topic, kept by
// the collector in the table `stations`: a name that two hosts use at once is
// told, a status message that is no station's refuses only itself, and
// --forget-station takes a station away, its row and its retained topics.
#include "MqttClient.h"
#include "PublishFixture.h"

using namespace zelvar::test;

namespace {

class Stations : public PublishEndToEnd {
protected:
    // The columns of a station's row joined by '|', empty without one.
    std::string row(const std::string& station, const std::string& columns) {
        return query("SELECT concat_ws('|', " + columns + ") FROM " + name + ".stations WHERE station = '" +
                     station + "'");
    }
    std::string log() { return ReadFile(scratch / "collector.log"); }
};

TEST_F(Stations, WhatAStationSaysIsKeptAndATwinNameIsTold) {
    startCollector();
    {
        zelvar::Publisher north(config("north"));
        north.setStationState({true, 4});
        publish(north, 100);
        // Levels as numbers on the live path too.
        zelvar::PackageFields level;
        level.stamp = "0000B09D";
        level.hex = "00 11 22";
        for (const char* dbm : {"-80", "Max", "-"}) {
            level.dbm = dbm;
            north.publish(level, "2026-12-09T18:00:00.123+01:00");
        }
        ASSERT_TRUE(allConfirmed(north)) << log();
        EXPECT_EQ(query("SELECT string_agg(concat_ws(':', dbm, dbm_value, dbm_max), ',' ORDER BY seq) FROM " + name +
                        ".packages WHERE dbm IS NOT NULL"),
                  "-80:-80:f,Max:t,-:f");
        const std::string kept = "state, gps, transceivers, dropped, hosts, length(instance), "
                                 "to_char(last_package AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI:SS.MS'), "
                                 "lag IS NOT NULL, last_seen > now() - interval '1 minute'";
        EXPECT_TRUE(WaitFor([&] {
            return row("north", kept) == "online|t|4|0|1|32|2026-12-09 17:00:00.123|t|t";
        })) << row("north", kept) << log();
        // The station's own count of what waits for confirmation: nothing, by now.
        EXPECT_TRUE(WaitFor([&] { return row("north", "queued") == "0"; })) << row("north", "queued");

        // A second host under the same name, with an outbox of its own.
        zelvar::PublishConfig second = config("north");
        second.outboxPath = (scratch / "second.sqlite").string();
        {
            zelvar::Publisher twin(second);
            EXPECT_TRUE(WaitFor([&] { return row("north", "hosts") == "2"; })) << row("north", kept);
            EXPECT_NE(log().find("station north is used by two hosts at once"), std::string::npos) << log();
        }
        // The second one stopped; the first one is still there.
        EXPECT_TRUE(WaitFor([&] { return row("north", "state, hosts") == "online|1"; })) << row("north", kept);
    }
    EXPECT_TRUE(WaitFor([&] { return row("north", "state, hosts") == "offline|0"; })) << row("north", "state, hosts");

    // A station of an earlier version says less; what no station says is refused.
    MqttClient client(broker->port(), name + "/none");
    const std::string bad[] = {
        R"({"state":"online","gps":true,"transceivers":99})",
        R"({"state":"online","gps":"yes","transceivers":4})",
        R"({"state":"online","gps":true,"transceivers":4,"instance":"not hex"})",
        R"({"state":"online","gps":true,"transceivers":4,"queued":-1})",
        R"({"state":"asleep"})",
        std::string(5000, '['),
    };
    for (const std::string& message : bad) client.say(name + "/bad/status", message);
    client.say(name + "/old/status", R"({"state":"online","gps":false,"transceivers":2})");
    EXPECT_TRUE(WaitFor([&] { return row("old", "state, gps, transceivers, instance IS NULL") == "online|f|2|t"; }))
        << log();
    EXPECT_TRUE(WaitFor([&] {
        return query("SELECT count(*) FROM " + name + ".refused WHERE topic = '" + name + "/bad/status'") ==
               std::to_string(std::size(bad));
    })) << log();
    EXPECT_EQ(row("bad", "station"), "");
    client.say(name + "/old/status", "offline");
    EXPECT_TRUE(WaitFor([&] { return row("old", "state") == "offline"; }));

    const ToolRun forgot = RunInShell(ShellQuoted(ZELVAR_COLLECT_BIN) + " --database " +
                                          ShellQuoted("options=-csearch_path=" + name) +
                                          " --forget-station north --broker 127.0.0.1:" +
                                          std::to_string(broker->port()) + " --prefix " + name,
                                      scratch);
    EXPECT_EQ(forgot.status, 0) << forgot.err;
    EXPECT_EQ(row("north", "station"), "");
    EXPECT_EQ(row("old", "state"), "offline");
    // Nothing retained of it: retained messages come in the order of the
    // subscriptions, so once the old station's is heard north's would have been.
    MqttClient late(broker->port(), name + "/north/#");
    late.subscribe(name + "/old/status");
    ASSERT_TRUE(WaitFor([&] { return late.last(name + "/old/status") == "offline"; }));
    EXPECT_EQ(late.last(name + "/north/status"), "");
    EXPECT_EQ(late.last(name + "/north/ack"), "");
}

}  // namespace
