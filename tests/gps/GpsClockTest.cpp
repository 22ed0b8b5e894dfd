#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "GpsClock.h"
#include "LocalZone.h"

using namespace zelvar;

namespace {

// Records what it was asked to set and answers at once.
class RecordingClock : public SystemClock {
public:
    explicit RecordingClock(int bias) : bias_(bias) {}
    int BaseBiasMinutes() const override { return bias_; }
    void SetUtc(const ClockTime& utc, std::function<void(const ClockResult&)> done) override {
        set.push_back(utc);
        if (done) done(answer);
    }

    std::vector<ClockTime> set;
    ClockResult answer{true, {}};

private:
    int bias_;
};

struct ClockCase {
    const char* name;
    int bias, gmt;
    const char* date;
    const char* time;
    std::optional<ClockTime> expected;  // nothing: the clock is left alone
};

void PrintTo(const ClockCase& c, std::ostream* out) {
    *out << c.name;
}

class ClockRules : public testing::TestWithParam<ClockCase> {};

TEST_P(ClockRules, Sets) {
    const ClockCase& c = GetParam();
    RecordingClock clock(c.bias);
    std::optional<ClockResult> outcome;
    const bool started = SetSystemClockFromGps(c.date, c.time, c.gmt, clock,
                                               [&](const ClockResult& r) { outcome = r; });
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(started, c.expected.has_value());
    EXPECT_EQ(outcome->accepted, c.expected.has_value());
    if (c.expected) {
        ASSERT_EQ(clock.set.size(), 1u);
        EXPECT_EQ(clock.set[0], *c.expected);
    } else {
        EXPECT_TRUE(clock.set.empty());
        EXPECT_FALSE(outcome->reason.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ClockRules,
    testing::Values(
        ClockCase{"ZoneEastSameCorrectionIsTrueUtc", -180, 3, "081226", "123519.250",
                  ClockTime{2026, 12, 8, 12, 35, 19, 250}},
        ClockCase{"CorrectionAheadOfZoneSetsAhead", -180, 4, "081226", "123519.250",
                  ClockTime{2026, 12, 8, 13, 35, 19, 250}},
        ClockCase{"ZoneWest", 300, -5, "081226", "123519.250", ClockTime{2026, 12, 8, 12, 35, 19, 250}},
        ClockCase{"HalfHourZoneCountsWholeHours", -330, 5, "081226", "123519.250",
                  ClockTime{2026, 12, 8, 12, 35, 19, 250}},
        ClockCase{"NegativeHourIsNotSet", -180, 0, "081226", "010000.000", std::nullopt},
        ClockCase{"WrapCarriesIntoTheNextYear", -180, 4, "311226", "230000.000",
                  ClockTime{2027, 1, 1, 0, 0, 0, 0}},
        ClockCase{"WrapCarriesPastFebruary", -180, 4, "280227", "233000.000", ClockTime{2027, 3, 1, 0, 30, 0, 0}},
        ClockCase{"WrapInALeapFebruary", -180, 4, "280228", "233000.000", ClockTime{2028, 2, 29, 0, 30, 0, 0}},
        ClockCase{"TwoFractionDigitsAreMilliseconds", -180, 3, "081226", "123519.48",
                  ClockTime{2026, 12, 8, 12, 35, 19, 48}},
        ClockCase{"NoSuchDay", -180, 3, "310226", "123519.000", std::nullopt},
        ClockCase{"EmptyDate", -180, 3, "", "123519.000", std::nullopt},
        ClockCase{"EmptyTime", -180, 3, "081226", "", std::nullopt}),
    [](const testing::TestParamInfo<ClockCase>& p) { return std::string(p.param.name); });

TEST(ClockRules, PieceThatIsNoNumberFailsWithoutTouchingTheClock) {
    RecordingClock clock(-180);
    bool told = false;
    const auto set = [&](const char* date, const char* time) {
        SetSystemClockFromGps(date, time, 3, clock, [&](const ClockResult&) { told = true; });
    };
    EXPECT_THROW(
        try { set("081226", "1A3519.000"); } catch (const std::invalid_argument& e) {
            EXPECT_STREQ(e.what(), "'1A' is not a valid integer value");
            throw;
        },
        std::invalid_argument);
    EXPECT_THROW(
        try { set("081226", "123519"); } catch (const std::invalid_argument& e) {
            EXPECT_STREQ(e.what(), "'' is not a valid integer value");
            throw;
        },
        std::invalid_argument);
    EXPECT_THROW(set("08X226", "123519.000"), std::invalid_argument);
    EXPECT_TRUE(clock.set.empty());
    EXPECT_FALSE(told);
}

TEST(ClockRules, RefusalIsPassedOn) {
    RecordingClock clock(0);
    clock.answer = ClockResult{false, "no authorisation"};
    std::optional<ClockResult> outcome;
    EXPECT_TRUE(SetSystemClockFromGps("081226", "123519.000", 0, clock, [&](const ClockResult& r) { outcome = r; }));
    ASSERT_TRUE(outcome);
    EXPECT_FALSE(outcome->accepted);
    EXPECT_EQ(outcome->reason, "no authorisation");
}

TEST(LocalZone, StandardOffsetLeavesSummerTimeOut) {
    const char* saved = std::getenv("TZ");
    const std::string restore = saved != nullptr ? saved : "";
    const std::time_t july2026 = 1783000000;
    const auto biasIn = [&](const char* zone) {
        ::setenv("TZ", zone, 1);
        ::tzset();
        return LocalStandardBiasMinutes(july2026);
    };
    EXPECT_EQ(biasIn("EST5EDT,M3.2.0,M11.1.0"), 300);
    EXPECT_EQ(biasIn("AEST-10AEDT,M10.1.0,M4.1.0/3"), -600);  // summer in January
    EXPECT_EQ(biasIn("IST-5:30"), -330);
    EXPECT_EQ(ZoneHours(-330), 5);
    EXPECT_EQ(ZoneHours(300), -5);
    if (saved != nullptr) {
        ::setenv("TZ", restore.c_str(), 1);
    } else {
        ::unsetenv("TZ");
    }
    ::tzset();
}

}  // namespace
