// Stations and the collector against a broker closed to strangers as
// docs/mosquitto sets it up, and the collector under a database role that may
// only store.
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

#include "ClosedBroker.h"
#include "MqttClient.h"
#include "PublishFixture.h"
#include "TestCertificates.h"

using namespace zelvar::test;

namespace {

constexpr const char* kCollectorUser = "zelvar-collect";

class Login : public PublishEndToEnd {
protected:
    void SetUp() override {
        PublishEndToEnd::SetUp();
        role = name + "_collector";
        query("CREATE ROLE " + role + " LOGIN PASSWORD 'role-pw'");
        const ToolRun init = RunInShell(ShellQuoted(ZELVAR_COLLECT_BIN) + " --database " + owner() + " --init", scratch);
        ASSERT_EQ(init.status, 0) << init.err;
    }
    void TearDown() override {
        PublishEndToEnd::TearDown();
        query("DROP OWNED BY " + role);
        query("DROP ROLE " + role);
    }

    std::string brokerExtra() override {
        const std::string extra = ClosedBrokerConfig(scratch / "closed", name, {kCollectorUser, "east", "west"});
        EXPECT_NE(extra, "");
        return extra + more();
    }
    virtual std::string more() { return {}; }

    std::string owner() const { return ShellQuoted("options=-csearch_path=" + name); }
    std::string asRole() const { return "user=" + role + " password=role-pw options=-csearch_path=" + name; }
    // The collector's user and password in a file of the given mode.
    std::string credentials(const std::string& password, mode_t mode) {
        const fs::path file = scratch / "collector.login";
        std::ofstream(file) << kCollectorUser << '\n' << password << '\n';
        ::chmod(file.c_str(), mode);
        return file.string();
    }
    void startCollector(const std::vector<std::string>& login, int port = 0) {
        std::vector<std::string> argv = {ZELVAR_COLLECT_BIN, "--database", asRole(), "--broker",
                                         "127.0.0.1:" + std::to_string(port != 0 ? port : broker->port()), "--prefix", name,
                                         "--client-id", name};
        argv.insert(argv.end(), login.begin(), login.end());
        collector.start(argv, scratch / "collector.log");
    }
    zelvar::PublishConfig station(const std::string& user) {
        zelvar::PublishConfig c = config(user);
        c.login.user = user;
        c.login.password = user + "-pw";
        return c;
    }
    std::string grantRole() {
        return RunInShell(ShellQuoted(ZELVAR_COLLECT_BIN) + " --database " + owner() + " --init --collector-role " +
                              role,
                          scratch)
            .err;
    }
    std::uint64_t count(const std::string& text, const std::string& what) {
        std::uint64_t n = 0;
        for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size()) ++n;
        return n;
    }

    std::string role;
};

// A minimal package of `station` in a run of its own.
std::string packageOf(const std::string& station, int seq) {
    return R"({"station":")" + station + R"(","source":"0123456789abcdef0123456789abcdef","seq":)" +
           std::to_string(seq) + R"(,"port":1,"stamp":null,"time":null,"type":null,"hex":"00"})";
}

TEST_F(Login, StrangersAndForeignTopicsAreRefusedAndTheCollectorStoresWithItsPassword) {
    EXPECT_NE(grantRole().find("collector role " + role), std::string::npos);
    // A credentials file that others may read is refused before anything.
    const ToolRun open = RunInShell(ShellQuoted(ZELVAR_COLLECT_BIN) + " --database " + owner() +
                                        " --broker 127.0.0.1:1 --credentials " + credentials("zelvar-collect-pw", 0644),
                                    scratch);
    EXPECT_EQ(open.status, 2);
    EXPECT_NE(open.err.find("0600"), std::string::npos) << open.err;
    startCollector({"--credentials", credentials("zelvar-collect-pw", 0600)});

    MqttClient stranger(broker->port(), name + "/#");
    ASSERT_TRUE(WaitFor([&] { return stranger.connack() > 0; }));
    MqttClient west(broker->port(), name + "/west/ack", "west", "west-pw");
    MqttClient east(broker->port(), name + "/east/ack", "east", "east-pw");
    ASSERT_TRUE(WaitFor([&] { return west.connack() == 0 && east.connack() == 0; }));
    const std::string eastRows = "SELECT count(*) FROM " + name + ".packages WHERE station = 'east'";
    // The collector has subscribed once a package of east's own is stored.
    ASSERT_TRUE(WaitFor([&] {
        east.sendPackage(name + "/east/packages", packageOf("east", 1), 1);
        return query(eastRows) == "1";
    })) << ReadFile(scratch / "collector.log");
    // East writes west's topics and forges confirmations, its own among them,
    // then sends a package of its own: the broker takes a client's messages in order.
    east.sendPackage(name + "/west/packages", packageOf("west", 1), 1);
    east.say(name + "/west/ack", zelvar::AckMessage({"0123456789abcdef0123456789abcdef", 1}));
    east.say(name + "/east/ack", "forged");
    east.sendPackage(name + "/east/packages", packageOf("east", 2), 1);
    ASSERT_TRUE(WaitFor([&] { return query(eastRows) == "2"; })) << ReadFile(scratch / "collector.log");
    EXPECT_EQ(query("SELECT count(*) FROM " + name + ".packages WHERE station = 'west'"), "0");
    EXPECT_EQ(west.last(name + "/west/ack"), "");
    EXPECT_NE(east.last(name + "/east/ack"), "forged");

    // A station with its password: every package stored under the role and confirmed.
    zelvar::Publisher publisher(station("east"));
    publish(publisher, 2000);
    EXPECT_TRUE(allConfirmed(publisher)) << ReadFile(scratch / "collector.log");
    EXPECT_EQ(stored(publisher.source()), "2000 2000 2000");
    // What east says of itself is noted under the role; the collector's user
    // may clear a station's retained topics.
    EXPECT_TRUE(WaitFor([&] { return query("SELECT state FROM " + name + ".stations WHERE station = 'east'") == "online"; }));
    const ToolRun forgot = RunInShell(ShellQuoted(ZELVAR_COLLECT_BIN) + " --database " + owner() +
                                          " --forget-station west --broker 127.0.0.1:" + std::to_string(broker->port()) +
                                          " --prefix " + name + " --credentials " +
                                          credentials("zelvar-collect-pw", 0600),
                                      scratch);
    EXPECT_EQ(forgot.status, 0) << forgot.err;
    // The role stores, and reads, changes or deletes nothing.
    query("SET ROLE " + role);
    for (const std::string& sql : {"SELECT count(*) FROM " + name + ".packages",
                                   "DELETE FROM " + name + ".refused", "UPDATE " + name + ".packages SET hex = ''",
                                   "CREATE TABLE " + name + ".mine (x int)"}) {
        EXPECT_EQ(query(sql), "error") << sql;
    }
    query("RESET ROLE");
}

// A wrong password at the broker, a role without its rights at the
// database: each said once, tried again until it works.
TEST_F(Login, AWrongPasswordOrRoleIsSaidOnceAndTriedAgain) {
    ::setenv("ZELVAR_MQTT_USER", kCollectorUser, 1);
    ::setenv("ZELVAR_MQTT_PASSWORD", "wrong", 1);
    startCollector({});
    ::unsetenv("ZELVAR_MQTT_USER");
    ::unsetenv("ZELVAR_MQTT_PASSWORD");
    const fs::path brokerLog = scratch / "broker" / "mosquitto.log";
    ASSERT_TRUE(WaitFor([&] { return count(ReadFile(brokerLog), "not authorised") >= 3; })) << ReadFile(brokerLog);
    EXPECT_EQ(count(ReadFile(scratch / "collector.log"), "Not authorized"), 1u) << ReadFile(scratch / "collector.log");
    collector.kill(SIGTERM);
    fs::remove(scratch / "collector.log");

    // The right password, a role with no rights yet: packages are held.
    startCollector({"--credentials", credentials("zelvar-collect-pw", 0600)});
    zelvar::Publisher publisher(station("west"));
    publish(publisher, 500);
    const std::string sessions = "SELECT sessions FROM pg_stat_database WHERE datname = current_database()";
    const std::uint64_t before = std::strtoull(query(sessions).c_str(), nullptr, 10);
    ASSERT_TRUE(WaitFor([&] {
        return std::strtoull(query(sessions).c_str(), nullptr, 10) >= before + 6;
    }));
    grantRole();
    EXPECT_TRUE(allConfirmed(publisher)) << ReadFile(scratch / "collector.log");
    EXPECT_EQ(stored(publisher.source()), "500 500 500");
    const std::string log = ReadFile(scratch / "collector.log");
    EXPECT_EQ(count(log, "database: "), 1u) << log;
}

// Over TLS, stations and the collector logged in by their certificates,
// whose CN the broker takes as the user name for the same ACL.
class LoginByCertificate : public Login {
protected:
    std::string more() override {
        EXPECT_TRUE(MakeTestCertificates(scratch / "tls", {kCollectorUser, "east"}))
            << ReadFile(scratch / "tls" / "openssl.log");
        tlsPort = FreeTcpPort();
        return TlsListener(scratch / "tls", tlsPort) + "require_certificate true\nuse_identity_as_username true\n";
    }
    std::string file(const std::string& leaf) const { return (scratch / "tls" / leaf).string(); }
    int tlsPort = 0;
};

TEST_F(LoginByCertificate, StationsAndTheCollectorLogInWithTheirCertificates) {
    grantRole();
    startCollector({"--cafile", file("ca.crt"), "--certfile", file("zelvar-collect.crt"), "--keyfile",
                    file("zelvar-collect.key")},
                   tlsPort);
    zelvar::PublishConfig east = config("east");
    east.port = tlsPort;
    east.login = {true, file("ca.crt"), file("east.crt"), file("east.key"), {}, {}};
    zelvar::Publisher publisher(east);
    publish(publisher, 2000);
    EXPECT_TRUE(allConfirmed(publisher)) << ReadFile(scratch / "collector.log");
    EXPECT_EQ(stored(publisher.source()), "2000 2000 2000");
    // A certificate is no way into another station's topics.
    zelvar::PublishConfig west = east;
    west.station = "west";
    west.outboxPath = (scratch / "west.sqlite").string();
    zelvar::Publisher intruder(west);
    publish(intruder, 10);
    publish(publisher, 10);
    EXPECT_TRUE(allConfirmed(publisher));
    EXPECT_EQ(query("SELECT count(*) FROM " + name + ".packages WHERE station = 'west'"), "0");
}

}  // namespace
