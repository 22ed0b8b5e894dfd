#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "DateTime.h"
#include "LogFormat.h"

using namespace zelvar;

TEST(HexToInt64, ReadsLeadingDigitsOnly) {
    EXPECT_EQ(HexToInt64("$1F"), 31);
    EXPECT_EQ(HexToInt64("1f"), 31);
    EXPECT_EQ(HexToInt64("12G4"), 0x12);
    EXPECT_EQ(HexToInt64("G"), 0);
    EXPECT_EQ(HexToInt64(""), 0);
    EXPECT_EQ(HexToInt64("$"), 0);
    EXPECT_EQ(HexToInt64("3:"), 3);
    EXPECT_EQ(HexToInt64(":3"), 0);
    // "$" only counts at the start.
    EXPECT_EQ(HexToInt64("1$2"), 1);
}

TEST(HexToInt64, DigitsBeyondSixteenPushOutTheOldest) {
    EXPECT_EQ(HexToInt64("FFFFFFFFFFFFFFFF"), -1);
    EXPECT_EQ(HexToInt64("123456789ABCDEF01"), static_cast<std::int64_t>(0x23456789ABCDEF01));
}

TEST(PackageStamp, KnownMoments) {
    EXPECT_EQ(NowStamp(CivilTime{2012, 6, 1, 12, 0, 0, 0}), "F4BEE070");
    EXPECT_EQ(NowStamp(CivilTime{2012, 6, 1, 12, 0, 0, 864}), "F4BEE071");
    EXPECT_EQ(NowStamp(CivilTime{2026, 12, 8, 6, 0, 0, 0}), "1145A3B28");
    // Small values keep eight digits.
    EXPECT_EQ(NowStamp(CivilTime{1899, 12, 30, 0, 0, 1, 0}), "00000001");
}

TEST(PackageStamp, HalvesRoundToEven) {
    // 432 ms is exactly half a unit past a stamp: even stamps stay, odd ones go up.
    EXPECT_EQ(NowStamp(CivilTime{2012, 6, 1, 12, 0, 0, 432}), "F4BEE070");
    EXPECT_EQ(NowStamp(CivilTime{2012, 6, 1, 12, 0, 1, 296}), "F4BEE072");
    EXPECT_EQ(NowStamp(CivilTime{2012, 6, 1, 12, 0, 0, 433}), "F4BEE071");
}

TEST(PackageStamp, EightDigitsUntilAugust2017) {
    EXPECT_EQ(NowStamp(CivilTime{2017, 8, 2, 16, 0, 0, 0}).size(), 8u);
    EXPECT_EQ(NowStamp(CivilTime{2017, 8, 2, 16, 20, 0, 0}).size(), 9u);
}

TEST(StampToText, KnownStamps) {
    EXPECT_EQ(StampToText("0"), "30.12.1899 00:00:00");
    EXPECT_EQ(StampToText(""), "30.12.1899 00:00:00");
    EXPECT_EQ(StampToText("F4BEE070"), "01.06.2012 12:00:00");
    EXPECT_EQ(StampToText("1145A3B28"), "08.12.2026 06:00:00");
    // The last unit of a day stays in that day.
    EXPECT_EQ(StampToText("1869F"), "30.12.1899 23:59:59");
    // Conversion stops at the first character that is no digit.
    EXPECT_EQ(StampToText("F4BEE070xyz"), "01.06.2012 12:00:00");
}

TEST(StampToText, RoundTripsEveryStampOfADay) {
    for (int ms = 0; ms < 86'400'000; ms += 864 * 37) {
        const CivilTime t{2024, 2, 29, ms / 3'600'000, ms / 60'000 % 60, ms / 1000 % 60, ms % 1000};
        const std::string text = StampToText(NowStamp(t));
        EXPECT_EQ(text, NowText(t)) << ms;
    }
}

TEST(StampToText, OutOfCalendarGivesUnknownTime) {
    // Negative serial days before year 1 and days after year 9999 have no date.
    EXPECT_EQ(StampToText("FFFFFFFFFFFFFFFF"), "30.12.1899 00:00:00");
    EXPECT_EQ(StampToText("8000000000000000"), TimeUnknownText);
    EXPECT_EQ(StampToText("7FFFFFFFFFFFFFFF"), TimeUnknownText);
    EXPECT_EQ(StampToText("44E1D4DD3F"), "31.12.9999 23:59:59");
    EXPECT_EQ(StampToText("44E1D4DD40"), TimeUnknownText);
}

TEST(TimeTexts, NowTextAndFileNameStampAgree) {
    const CivilTime t{2012, 12, 31, 23, 59, 59, 999};
    EXPECT_EQ(NowText(t), "31.12.2012 23:59:59");
    EXPECT_EQ(FileNameStamp(t), "20121231235959");
    const CivilTime now = LocalNow();
    const std::string name = FileNameStamp(now);
    const std::string text = NowText(now);
    EXPECT_EQ(name.substr(0, 4), text.substr(6, 4));
    EXPECT_EQ(name.substr(4, 2), text.substr(3, 2));
    EXPECT_EQ(name.substr(6, 2), text.substr(0, 2));
    EXPECT_EQ(name.substr(8, 2) + ":" + name.substr(10, 2) + ":" + name.substr(12, 2),
              text.substr(11));
}

// The JSON form's time: the stamp's local time with the offset of the zone
// the run is in, which changes with the season and need not be whole hours.
TEST(IsoLocalTime, StampsAndTimesCarryTheirZoneOffset) {
    const char* before = std::getenv("TZ");
    const std::string saved = before != nullptr ? before : "";
    auto inZone = [](const char* zone, auto check) {
        ::setenv("TZ", zone, 1);
        ::tzset();
        check();
    };
    auto stampIso = [](std::string_view stamp) {
        std::string out = "x";
        return AppendStampIsoTime(out, stamp) ? out : out + " refused";
    };
    inZone("Europe/Berlin", [&] {
        EXPECT_EQ(stampIso("F4BEE070"), "x2012-06-01T12:00:00+02:00");
        EXPECT_EQ(stampIso("1145A3B28"), "x2026-12-08T06:00:00+01:00");
        std::string out;
        AppendIsoLocalTime(out, CivilTime{2026, 12, 8, 6, 0, 5, 7}, true);
        EXPECT_EQ(out, "2026-12-08T06:00:05.007+01:00");
    });
    inZone("America/St_Johns", [&] { EXPECT_EQ(stampIso("F4BEE070"), "x2012-06-01T12:00:00-02:30"); });
    inZone("UTC", [&] {
        EXPECT_EQ(stampIso("1869F"), "x1899-12-30T23:59:59+00:00");
        EXPECT_EQ(stampIso("7FFFFFFFFFFFFFFF"), "x refused");
    });
    if (before != nullptr) {
        ::setenv("TZ", saved.c_str(), 1);
    } else {
        ::unsetenv("TZ");
    }
    ::tzset();
}
