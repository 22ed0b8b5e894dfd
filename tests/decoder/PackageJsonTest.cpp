#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PackageDecoder.h"
#include "PackageJson.h"

using namespace zelvar;

namespace {

// Keeps the JSON form of every package, as a station named `station` sends it.
struct JsonOutput : DecoderOutput {
    JsonOutput() { setTakesPackages(true); }
    void packageDecoded(const PackageFields& package) override {
        std::string line;
        AppendPackageJson(line, PackageRecord{station, time, package, source, seq++});
        lines.push_back(line);
    }
    std::string station = "north \"A\"\\";
    std::string time;
    std::string source;
    std::uint64_t seq = 7;
    std::vector<std::string> lines;
};

struct LiveDecoding {
    LiveDecoding() { decoder.ResetPortState(); }
    void decode(const std::vector<std::uint8_t>& bytes, std::string_view stamp = "F4BEE070",
                int port = 2) {
        decoder.DecodePackage(bytes, stamp, DecodeMode::Live, port);
    }
    Settings settings;
    DisplayMirrors mirrors;
    GpsState gps;
    JsonOutput out;
    PackageDecoder decoder{settings, mirrors, gps, out};
};

std::vector<std::uint8_t> package(std::size_t n, std::initializer_list<std::pair<int, int>> set) {
    std::vector<std::uint8_t> bytes(n, 0);
    for (const auto& [at, value] : set) bytes[static_cast<std::size_t>(at)] = static_cast<std::uint8_t>(value);
    return bytes;
}

}  // namespace

// A signal report live with the GPS port open carries its position; a call
// carries the decoded line's fields as values; a continuation its service
// byte as a number; a package without a text line only what every one has.
TEST(PackageJson, PackagesCarryTheFieldsOfTheirTextLine) {
    LiveDecoding live;
    live.settings.IDFilter = false;
    live.gps.Connected = true;
    live.gps.fix = OwnFix{"01.06.2012 12:00:00", "", "", "3351.4073,S", "15112.8229,E", "2.5"};
    live.out.time = "2012-06-01T12:00:00.250+10:00";
    live.decode(package(13, {{4, 0x0F}, {11, 0x5A}}));
    live.decode(package(30, {{4, 0x03}, {10, 0x03}, {12, 0x40}, {15, 100}, {18, 0xF4}, {28, 0x12}}));
    live.decode(package(30, {{4, 0x11}, {12, 0xC8}, {19, 100}, {28, 0x1F}}));
    live.out.time.clear();
    live.out.source = "run-1";
    live.decode(package(3, {{0, 0xAB}}), "");
    live.gps.fix.PdopText = "Err";
    live.decode(package(13, {{4, 0x0F}, {11, 0x3B}, {12, 0xC4}}));
    live.gps.fix.LatText = "15112.8229,E";  // no latitude
    live.decode(package(13, {{4, 0x0F}, {11, 0x5A}}));

    const std::string station = R"({"station":"north \"A\"\\",)";
    const std::vector<std::string> expected = {
        station + R"("port":2,"stamp":"F4BEE070","time":"2012-06-01T12:00:00.250+10:00","type":"0F","dbm":-90,"lat":-33.856788,"lon":151.213715,"pdop":2.5,"hex":"00 00 00 00 0F 00 00 00 00 00 00 5A 00"})",
        station + R"("port":2,"stamp":"F4BEE070","time":"2012-06-01T12:00:00.250+10:00","type":"03","call":"Private","group":100,"id":244,"clr":1,"enc":"On","ptt":0,"dbm":-90,"hex":"00 00 00 00 03 00 00 00 00 00 03 00 40 00 00 64 00 00 F4 00 00 00 00 00 00 00 00 00 12 00"})",
        station + R"("port":2,"stamp":"F4BEE070","time":"2012-06-01T12:00:00.250+10:00","type":"11","call":"Private","group":100,"id":244,"clr":1,"enc":200,"ptt":0,"dbm":-90,"hex":"00 00 00 00 11 00 00 00 00 00 00 00 C8 00 00 00 00 00 00 64 00 00 00 00 00 00 00 00 1F 00"})",
        station + R"("source":"run-1","seq":10,"port":2,"stamp":null,"time":null,"type":null,"hex":"AB 00 00"})",
        station + R"("source":"run-1","seq":11,"port":2,"stamp":"F4BEE070","time":null,"type":"0F","dbm":"Max","lat":-33.856788,"lon":151.213715,"pdop":"Err","hex":"00 00 00 00 0F 00 00 00 00 00 00 3B C4"})",
        station + R"("source":"run-1","seq":12,"port":2,"stamp":"F4BEE070","time":null,"type":"0F","dbm":-90,"hex":"00 00 00 00 0F 00 00 00 00 00 00 5A 00"})",
    };
    EXPECT_EQ(live.out.lines, expected);
}

TEST(PackageJson, TheFilterDecidesWhichPackagesHaveFieldsAndOfflineHasNoPosition) {
    LiveDecoding offline;
    offline.gps.Connected = true;
    offline.gps.fix = OwnFix{"01.06.2012 12:00:00", "", "", "3351.4073,S", "15112.8229,E", "2.5"};
    const auto call = package(30, {{4, 0x03}, {15, 100}, {18, 0xF4}, {28, 0x11}});
    for (const auto& bytes : {call, call, package(13, {{4, 0x0F}, {11, 0x5A}})}) {
        offline.decoder.DecodePackage(bytes, "F4BEE070", DecodeMode::Offline, 1);
    }
    ASSERT_EQ(offline.out.lines.size(), 3u);
    EXPECT_EQ(offline.out.lines[0].find("\"call\""), std::string::npos);
    EXPECT_NE(offline.out.lines[1].find(R"("call":"Group","group":100)"), std::string::npos);
    EXPECT_NE(offline.out.lines[2].find(R"("dbm":-90,"hex")"), std::string::npos);
}

TEST(PackageJson, FieldValuesAndNames) {
    EXPECT_TRUE(IntegerField("-90").number);
    EXPECT_TRUE(IntegerField("0  ").number);
    EXPECT_EQ(IntegerField("500     ").text, "500");
    for (const char* text : {"For All ", "Max", "-  ", "On ", "off", "007", "", "-"}) {
        EXPECT_FALSE(IntegerField(text).number) << text;
    }
    EXPECT_FALSE(CallField("48     ").number);
    EXPECT_EQ(CallField("       ").text, "");
    EXPECT_TRUE(PdopField("2.5").number);
    EXPECT_TRUE(PdopField("12.0").number);
    for (const char* text : {"Err", "2.", ".5", "-1.0", "inf", "nan"}) {
        EXPECT_FALSE(PdopField(text).number) << text;
    }

    EXPECT_TRUE(ValidStationName("north-1"));
    EXPECT_TRUE(ValidStationName("Сервер 2"));
    EXPECT_TRUE(ValidStationName(std::string(64, 'a')));
    EXPECT_FALSE(ValidStationName(std::string(65, 'a')));
    for (const char* name : {"", "a/b", "a+", "#", "tab\there", "\x7F", "bad\xC3", "\xC0\xAF",
                             "\xED\xA0\x80"}) {
        EXPECT_FALSE(ValidStationName(name)) << name;
    }

    // A damaged line's stamp field may hold any byte: it stays a valid text.
    std::string scratch;
    EXPECT_EQ(StampValue("F4BEE070", scratch), "F4BEE070");
    EXPECT_EQ(StampValue(std::string_view("F4\xE9\0E070", 8), scratch), "F4\xC3\xA9\xEF\xBF\xBD" "E070");
}
