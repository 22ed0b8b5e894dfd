#include "NmeaPosition.h"

#include <gtest/gtest.h>

namespace zelvar {
namespace {

std::string degrees(std::string_view text) {
    const auto micro = NmeaMicrodegrees(text);
    return micro ? DegreesText(*micro) : "none";
}

TEST(NmeaPositionTest, ConvertsBothHemispheresExactly) {
    EXPECT_EQ(degrees("5540.1234,N"), "55.668723");   // 40.1234' = 0.66872333°
    EXPECT_EQ(degrees("03736.5678,E"), "37.609463");
    EXPECT_EQ(degrees("3351.4073,S"), "-33.856788");
    EXPECT_EQ(degrees("15112.9500,W"), "-151.215833");
    EXPECT_EQ(degrees("0000.0000,S"), "0.000000");
    EXPECT_EQ(degrees("0000.0300,W"), "-0.000500");
    EXPECT_EQ(degrees("17959.9999,E"), "179.999998");
    EXPECT_EQ(degrees("18000.0000,W"), "-180.000000");
    EXPECT_EQ(degrees("9000.000,N"), "90.000000");
    EXPECT_EQ(degrees("4807.038,N"), "48.117300");
    EXPECT_EQ(degrees("4807,N"), "48.116667");
}

TEST(NmeaPositionTest, RefusesWhatIsNoPosition) {
    for (const char* text : {"", "-          ", "5540.1234", "5540.1234,X", "5540.1234,N ",
                             "5560.0000,N", "9000.0001,N", "18000.0001,E", "40.12,N", "5540.,N",
                             "55a0.1234,N", "5540.12-4,N", "123456.0,E"}) {
        EXPECT_EQ(degrees(text), "none") << text;
    }
}

}  // namespace
}  // namespace zelvar
