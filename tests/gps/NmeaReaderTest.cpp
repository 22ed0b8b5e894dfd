#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "NmeaFields.h"
#include "NmeaReader.h"

using namespace zelvar;

namespace {

const std::string kRmc = "\n$GPRMC,123519.000,A,4807.0380,N,01131.0000,E,0.4,87.6,081226,,,A*57\r";
const std::string kGsa = "\n$GPGSA,A,3,04,05,09,12,,,,,,,,,9.9,2.0,3.0*33\r";

std::string rmcAt(const std::string& time, const std::string& status = "A") {
    return "\n$GPRMC," + time + "," + status + ",4807.0380,N,01131.0000,E,0.4,87.6,081226,,,A*57\r";
}

std::string gsa(const std::string& hdop, const std::string& vdop) {
    return "\n$GPGSA,A,3,04,05,09,12,,,,,,,,,1.5," + hdop + "," + vdop + "*33\r";
}

// Deliveries to a fresh reader, one ReadString each, and what the strip and
// the fix show afterwards.
struct Case {
    const char* name;
    int gmt;
    std::vector<std::string> deliveries;
    int linesCompleted;
    GpsLabels labels;
    std::string rmcTime, rmcDate, lastRmcTime;
};

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

class NmeaTable : public testing::TestWithParam<Case> {};

TEST_P(NmeaTable, Shows) {
    const Case& c = GetParam();
    Settings settings;
    settings.GMTCorrection = c.gmt;
    OwnFix fix;
    NmeaReader reader(settings, fix);
    int completed = 0;
    for (const std::string& bytes : c.deliveries) completed += reader.Receive(bytes) ? 1 : 0;
    EXPECT_EQ(completed, c.linesCompleted);
    EXPECT_EQ(reader.labels().time, c.labels.time);
    EXPECT_EQ(reader.labels().lat, c.labels.lat);
    EXPECT_EQ(reader.labels().lon, c.labels.lon);
    EXPECT_EQ(reader.labels().pdop, c.labels.pdop);
    EXPECT_EQ(fix.RmcTime, c.rmcTime);
    EXPECT_EQ(fix.RmcDate, c.rmcDate);
    EXPECT_EQ(reader.LastRmcTime(), c.lastRmcTime);
    EXPECT_EQ(c.labels.pdop.empty() ? "" : "PDOP: " + fix.PdopText, c.labels.pdop);
    EXPECT_TRUE(reader.NmeaBuffer().empty() || completed < static_cast<int>(c.deliveries.size()));
}

const GpsLabels kFixShown{"08.12.2026 16:35:19", "Lat: 4807.0380,N", "Lon: 01131.0000,E", ""};
const GpsLabels kNothing{"GPS", "", "", ""};

INSTANTIATE_TEST_SUITE_P(
    Examples, NmeaTable,
    testing::Values(
        Case{"AcceptedFix", 4, {kRmc}, 1, kFixShown, "123519.000", "081226", "123519.000"},
        Case{"SameTimeTwiceIsRejected", 4, {kRmc, kRmc}, 2, kNothing, "", "", "123519.000"},
        Case{"NextSecondIsAcceptedAgain", 4, {kRmc, kRmc, rmcAt("123520.000")}, 3,
             {"08.12.2026 16:35:20", "Lat: 4807.0380,N", "Lon: 01131.0000,E", ""}, "123520.000", "081226",
             "123520.000"},
        Case{"VoidFixKeepsPdop", 4, {kGsa, kRmc, rmcAt("123520.000", "V")}, 3,
             {"GPS", "", "", "PDOP: 3.6"}, "", "", "123520.000"},
        Case{"EmptyTimeRepeatedIsRejected", 4, {rmcAt(""), rmcAt("")}, 2, kNothing, "", "", ""},
        Case{"WestOfUtcWrapsBackKeepingTheDate", -3, {rmcAt("013519.000")}, 1,
             {"08.12.2026 22:35:19", "Lat: 4807.0380,N", "Lon: 01131.0000,E", ""}, "013519.000", "081226",
             "013519.000"},
        Case{"EastOfUtcWrapsOnKeepingTheDate", 4, {rmcAt("223519.000")}, 1,
             {"08.12.2026 02:35:19", "Lat: 4807.0380,N", "Lon: 01131.0000,E", ""}, "223519.000", "081226",
             "223519.000"},
        Case{"PdopFromHdopAndVdopNotItsOwnField", 4, {kGsa}, 1, {"GPS", "", "", "PDOP: 3.6"}, "", "", ""},
        Case{"PdopRoundsInSinglePrecision", 4, {gsa("1.3", "2.1")}, 1, {"GPS", "", "", "PDOP: 2.5"}, "", "",
             ""},
        Case{"EmptyVdopIsErr", 4, {gsa("2.0", "")}, 1, {"GPS", "", "", "PDOP: Err"}, "", "", ""},
        Case{"HdopZeroIsErr", 4, {gsa("0", "3.0")}, 1, {"GPS", "", "", "PDOP: Err"}, "", "", ""},
        Case{"HdopZeroPointZeroCounts", 4, {gsa("0.0", "3.0")}, 1, {"GPS", "", "", "PDOP: 3.0"}, "", "", ""},
        Case{"LineInThreeReadsParsedOnceAtTheEnd", 4, {kRmc.substr(0, 20), kRmc.substr(20, 40), kRmc.substr(60)},
             1, kFixShown, "123519.000", "081226", "123519.000"},
        Case{"ReadEndingOnLineFeedGoesOn", 4, {kGsa + "\n", kRmc.substr(1)}, 1, {"GPS", "", "", "PDOP: 3.6"},
             "", "", ""},
        Case{"TwoSentencesInOneLineFirstDecides", 4, {kGsa + kRmc.substr(0, 10), kRmc.substr(10)}, 1,
             {"GPS", "", "", "PDOP: 3.6"}, "", "", ""},
        Case{"FirstLineWithoutLineFeedIsNotRecognised", 4, {kRmc.substr(1)}, 1, kNothing, "", "", ""},
        Case{"OtherSentencesChangeNothing", 4, {"\n$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9*47\r"}, 1,
             kNothing, "", "", ""},
        Case{"LowerCaseAndSignsAreCleanedAway", 4,
             {"\n$GPRMC,123519.000,A,-4807.0380,n,01131.0000 ,E,0.4,87.6,081226,,,A*57\r"}, 1,
             {"08.12.2026 16:35:19", "Lat: 4807.0380,", "Lon: 01131.0000,E", ""}, "123519.000", "081226",
             "123519.000"},
        Case{"HourNotANumberDropsTheLineOnly", 4, {rmcAt("1A3519.000"), kRmc}, 2, kFixShown, "123519.000",
             "081226", "123519.000"},
        Case{"HdopNotANumberKeepsThePdop", 4, {kGsa, gsa("1.2.3", "2.0")}, 2, {"GPS", "", "", "PDOP: 3.6"}, "",
             "", ""},
        Case{"DopTooLargeForSinglePrecisionIsDropped", 4, {gsa("1E30", "1E30")}, 1, kNothing, "", "", ""}),
    [](const testing::TestParamInfo<Case>& p) { return std::string(p.param.name); });

TEST(NmeaFields, SplitsCleansAndCuts) {
    EXPECT_EQ(SplitNmeaFields("\n$GPGSA,A,,3*1F\r"), (std::vector<std::string>{"GPGSA", "A", "", "3*1F"}));
    // The first two bytes are never part of the line, whatever they are.
    EXPECT_EQ(SplitNmeaFields("AB,C"), (std::vector<std::string>{"", "C"}));
    EXPECT_TRUE(SplitNmeaFields("\n$").size() == 1 && SplitNmeaFields("\n$")[0].empty());

    std::string many = "\n$";
    for (int i = 0; i < 25; ++i) many += std::to_string(i) + ",";
    const auto fields = SplitNmeaFields(many);
    ASSERT_EQ(fields.size(), kNmeaMaxFields);
    EXPECT_EQ(fields.back(), "19");  // the text after the twentieth comma is ignored

    const auto longField = SplitNmeaFields("\n$ID," + std::string(300, '7') + ",X");
    ASSERT_EQ(longField.size(), 3u);
    EXPECT_EQ(longField[1].size(), kNmeaMaxFieldLength);
    EXPECT_EQ(longField[2], "X");
}

TEST(NmeaReader, RejectionKeepsTimeTextAndPdopForTheLogLines) {
    Settings settings;
    OwnFix fix;
    NmeaReader reader(settings, fix);
    reader.Receive(kGsa);
    reader.Receive(kRmc);
    reader.Receive(rmcAt("123520.000", "V"));
    EXPECT_EQ(fix.DateTimeText, "08.12.2026 16:35:19");
    EXPECT_EQ(fix.PdopText, "3.6");
    EXPECT_EQ(fix.LatText, "");
    EXPECT_EQ(fix.LonText, "");
}

TEST(NmeaReader, ResetStartsAfresh) {
    Settings settings;
    OwnFix fix;
    NmeaReader reader(settings, fix);
    reader.Receive(kGsa);
    reader.Receive(kRmc);
    reader.Receive("\n$GPR");
    reader.Reset();
    EXPECT_EQ(fix.LatText, "");
    EXPECT_EQ(fix.PdopText, "");
    EXPECT_EQ(reader.LastRmcTime(), "");
    EXPECT_EQ(reader.NmeaBuffer(), "");
    EXPECT_EQ(reader.labels().time, "GPS");
    EXPECT_EQ(reader.labels().pdop, "");
    // The same sentence is new again after a restart.
    reader.Receive(kRmc);
    EXPECT_EQ(fix.RmcTime, "123519.000");
}

TEST(NmeaReader, UnfinishedLineCannotGrowWithoutEnd) {
    Settings settings;
    OwnFix fix;
    NmeaReader reader(settings, fix);
    for (int i = 0; i < 1000; ++i) reader.Receive("\n$GPGGA,no carriage return at the end\n");
    EXPECT_LE(reader.NmeaBuffer().size(), NmeaReader::kMaxBuffer);
    reader.Receive("x\r");
    EXPECT_TRUE(reader.Receive(kRmc));
    EXPECT_EQ(fix.RmcTime, "123519.000");
}

}  // namespace
