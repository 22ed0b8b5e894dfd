#include "CoverageLine.h"

#include <gtest/gtest.h>

#include <string>

#include "LogFormat.h"
#include "NmeaPosition.h"

namespace zelvar {
namespace {

// An own-position line exactly as the package decoder writes it live with
// the GPS open (its test shows this very line).
constexpr std::string_view kDecoderLine =
    "1\t01.06.2012 16:00:00\t5540.1234,N\t03736.5678,E\t1.8\t-90";

CoverageLineKind kindOf(std::string_view line, int gmt = 4) {
    CoverageReport report;
    return ReadCoverageLine(line, gmt, report);
}

CoverageReport read(std::string_view line, int gmt = 4) {
    CoverageReport report;
    EXPECT_EQ(ReadCoverageLine(line, gmt, report), CoverageLineKind::WithPosition) << line;
    return report;
}

std::string place(std::string_view lat, std::string_view lon) {
    const CoverageReport r = read(RssiOwnPositionLine("2", "01.06.2012 16:00:00", lat, lon, "Err", "-90"));
    return DegreesText(r.lat) + " " + DegreesText(r.lon);
}

TEST(CoverageLineTest, TakesTheDecodersOwnPositionLine) {
    const CoverageReport r = read(kDecoderLine);
    EXPECT_EQ(r.port, 1);
    EXPECT_STREQ(r.time, "2012-06-01T12:00:00Z");
    EXPECT_EQ(DegreesText(r.lat), "55.668723");
    EXPECT_EQ(DegreesText(r.lon), "37.609463");
    EXPECT_TRUE(r.pdopKnown);
    EXPECT_EQ(r.pdopText, "1.8");
    EXPECT_EQ(r.dbmForm, DbmForm::Number);
    EXPECT_EQ(r.dbm, -90);
    // The decoder's own writer of the line, and blanks padding a column.
    EXPECT_EQ(RssiOwnPositionLine("1", "01.06.2012 16:00:00", "5540.1234,N", "03736.5678,E",
                                  "1.8", "-90"),
              kDecoderLine);
    EXPECT_EQ(read("1   \t01.06.2012 16:00:00  \t5540.1234,N\t03736.5678,E \t1.8    \t-90").lon,
              r.lon);
}

TEST(CoverageLineTest, SortsTheOtherLinesOfATextLog) {
    // Reports without a position: the placeholder and the short form.
    EXPECT_EQ(kindOf(RssiPlaceholderLine("3", "01.06.2012 12:00:00", "-90")),
              CoverageLineKind::WithoutPosition);
    EXPECT_EQ(kindOf(RssiShortLine("4", "01.06.2012 12:00:00", "Max")),
              CoverageLineKind::WithoutPosition);
    EXPECT_EQ(kindOf(RssiShortLine("4", TimeUnknownText, "")),
              CoverageLineKind::WithoutPosition);
    // Lines that are no reports.
    for (const std::string_view line :
         {GpsHeader, RssiHeader, TextHeader, EndMarker, AbortMarker, std::string_view("Stop"),
          std::string_view(""), std::string_view("File: 20261209101500.hex"),
          std::string_view("Editor Data: 09.12.2026 10:15:00\tFile: a.txt")}) {
        EXPECT_EQ(kindOf(line), CoverageLineKind::Other) << line;
    }
    EXPECT_EQ(kindOf(DecodedLine({"03", "1", "01.06.2012 12:00:00", "Group", "100", "500", "1",
                                  "off", "1  ", "-90"})),
              CoverageLineKind::Other);
    // Damaged lines count as unreadable, whatever part is wrong.
    for (const std::string_view line :
         {"garbage", "5\t01.06.2012 16:00:00\t5540.1234,N\t03736.5678,E\t1.8\t-90",
          "1\t01.06.2012 16:00\t5540.1234,N\t03736.5678,E\t1.8\t-90",
          "1\t31.06.2012 16:00:00\t5540.1234,N\t03736.5678,E\t1.8\t-90",
          "1\t01.06.2012 24:00:00\t5540.1234,N\t03736.5678,E\t1.8\t-90",
          "1\t01.06.2012 16:00:00\t03736.5678,E\t5540.1234,N\t1.8\t-90",
          "1\t01.06.2012 16:00:00\t5540.1234,N\t03736.5678,E\t1,8\t-90",
          "1\t01.06.2012 16:00:00\t5540.1234,N\t03736.5678,E\t.8\t-90",
          "1\t01.06.2012 16:00:00\t5540.1234,N\t03736.5678,E\t1.8\t-90\textra",
          "1\t01.06.2012 16:00:00\t5540.1234,N\t03736.5678,E\t1.8",
          "1\tsoon\t-          \t-          \t-  \t-90", "1\t01.06.2012 12:00:00\t-9x"}) {
        EXPECT_EQ(kindOf(line), CoverageLineKind::Unreadable) << line;
    }
}

TEST(CoverageLineTest, PositionsAtBothHemispheresAndTheEdges) {
    EXPECT_EQ(place("3351.4073,S", "15112.9500,W"), "-33.856788 -151.215833");
    EXPECT_EQ(place("0000.0300,S", "00000.0060,E"), "-0.000500 0.000100");
    EXPECT_EQ(place("0000.0000,N", "17959.9999,E"), "0.000000 179.999998");
    EXPECT_EQ(place("8959.9999,N", "18000.0000,W"), "89.999998 -180.000000");
}

TEST(CoverageLineTest, EveryFormOfTheSignalLevel) {
    const std::string head = "2\t09.12.2026 14:15:02\t5540.1234,N\t03736.5678,E\tErr\t";
    CoverageReport r = read(head + "-113");
    EXPECT_EQ(r.dbmForm, DbmForm::Number);
    EXPECT_EQ(r.dbm, -113);
    EXPECT_FALSE(r.pdopKnown);
    EXPECT_EQ(read(head + "-7").dbm, -7);
    EXPECT_EQ(read(head + "Max").dbmForm, DbmForm::Max);
    EXPECT_EQ(read(head + "-").dbmForm, DbmForm::Dash);
    EXPECT_EQ(read(head).dbmForm, DbmForm::Empty);
    for (const char* bad : {"+5", "-090", "--", "max", "-9x", "99999999999"}) {
        EXPECT_EQ(kindOf(head + bad), CoverageLineKind::Unreadable) << bad;
    }
}

TEST(CoverageLineTest, TimesBackToUtcOnTheSameDateAcrossMidnight) {
    const auto utc = [](std::string_view shown, int gmt) {
        const std::string line = "1\t" + std::string(shown) + "\t5540.1234,N\t03736.5678,E\t1.8\t-90";
        return std::string(read(line, gmt).time);
    };
    // The receiver's date stays while the hour moves: 22:10 UTC on the 9th
    // is shown with +4 as 02:10 on the 9th.
    EXPECT_EQ(utc("09.12.2026 02:10:00", 4), "2026-12-09T22:10:00Z");
    EXPECT_EQ(utc("09.12.2026 22:10:00", -3), "2026-12-09T01:10:00Z");
    EXPECT_EQ(utc("31.12.2026 23:59:59", 0), "2026-12-31T23:59:59Z");
    EXPECT_EQ(utc("29.02.2028 00:00:07", 12), "2028-02-29T12:00:07Z");
    EXPECT_EQ(utc("01.01.2027 10:15:02", -12), "2027-01-01T22:15:02Z");
    // A stored correction out of the dialog's range still wraps.
    EXPECT_EQ(utc("01.01.2027 10:15:02", 20), "2027-01-01T14:15:02Z");
    EXPECT_EQ(kindOf("1\t29.02.2027 10:15:02\t5540.1234,N\t03736.5678,E\t1.8\t-90"),
              CoverageLineKind::Unreadable);
}

}  // namespace
}  // namespace zelvar
