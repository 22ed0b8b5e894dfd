#include <gtest/gtest.h>

#include <algorithm>

#include "LogFormat.h"

using namespace zelvar;

namespace {
std::size_t tabs(std::string_view s) { return static_cast<std::size_t>(std::count(s.begin(), s.end(), '\t')); }
}  // namespace

TEST(LogFormat, HeadersHaveTheirColumnsAndLengths) {
    EXPECT_EQ(TextHeader.size(), 73u);
    EXPECT_EQ(GpsHeader.size(), 63u);
    EXPECT_EQ(RssiHeader.size(), 30u);
    EXPECT_EQ(tabs(TextHeader), 9u);
    EXPECT_EQ(tabs(GpsHeader), 5u);
    EXPECT_EQ(tabs(RssiHeader), 2u);
    EXPECT_EQ(TimeUnknownText.size(), 19u);
}

TEST(LogFormat, DecodedLinePadsWithoutCutting) {
    EXPECT_EQ(DecodedLine({"03", "1", "01.06.2012 12:00:00", "Group", "100", "500", "1", "off",
                           "1  ", "-90"}),
              "03\t1\t01.06.2012 12:00:00\tGroup  \t100     \t500     \t1  \toff\t1  \t-90");
    // An empty Call still leaves its seven blanks and all nine TABs.
    const std::string empty =
        DecodedLine({"11", "2", std::string(TimeUnknownText), "", "For All", "7", "15", "255",
                     "-  ", "Max"});
    EXPECT_EQ(tabs(empty), 9u);
    EXPECT_NE(empty.find("\t       \tFor All \t"), std::string::npos);
    // Longer texts stay whole.
    EXPECT_EQ(DecodedLine({"10 Syn", "4", "t", "Private", "16777214", "16777215", "15", "On ",
                           "0  ", ""}),
              "10 Syn\t4\tt\tPrivate\t16777214\t16777215\t15 \tOn \t0  \t");
}

TEST(LogFormat, RssiOnlyForms) {
    EXPECT_EQ(RssiShortLine("1", "01.06.2012 12:00:00", "-90"), "1\t01.06.2012 12:00:00\t-90");
    EXPECT_EQ(RssiOwnPositionLine("2", "01.06.2012 16:00:00", "5540.1234,N", "03736.5678,E",
                                  "1.8", "Max"),
              "2\t01.06.2012 16:00:00\t5540.1234,N\t03736.5678,E\t1.8\tMax");
    EXPECT_EQ(RssiPlaceholderLine("3", "t", "-"), "3\tt\t-          \t-          \t-  \t-");
}

TEST(LogFormat, HexTexts) {
    const std::uint8_t three[] = {0x00, 0x1A, 0xFF};
    EXPECT_EQ(HexText(three, 3), "00 1A FF");
    EXPECT_EQ(HexText(three + 2, 1), "FF");
    EXPECT_EQ(HexText(three, 0), "");
    std::string line;
    AppendStampedHexPrefix(line, 1, "F4BEE070");
    AppendHexText(line, three, 3);
    EXPECT_EQ(line, "1$F4BEE070\t00 1A FF");
    EXPECT_EQ(line.find('\t'), 10u);
}

TEST(LogFormat, CountsText) {
    EXPECT_EQ(CountsText(0, 0), " T 0 / H 0");
    EXPECT_EQ(CountsText(12, 65536), " T 12 / H 65536");
}
