#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "LogFormat.h"
#include "PackageDecoder.h"
#include "RecordingOutput.h"

using namespace zelvar;
using zelvar::test::RecordingOutput;

namespace {

constexpr const char* kStamp = "F4BEE070";
constexpr const char* kTime = "01.06.2012 12:00:00";

// A 30-byte call package: type, call-kind byte 10, service byte 12, Group,
// ID and the byte 28 with Clr and PTT.
std::vector<std::uint8_t> callPackage(std::uint8_t type, std::uint32_t group, std::uint32_t id,
                                      std::uint8_t clrPtt, std::uint8_t service = 0x00,
                                      std::uint8_t kind = 0x00, std::size_t n = 30) {
    std::vector<std::uint8_t> p(n, 0);
    p[4] = type;
    p[10] = kind;
    p[12] = service;
    p[13] = static_cast<std::uint8_t>(group >> 16);
    p[14] = static_cast<std::uint8_t>(group >> 8);
    p[15] = static_cast<std::uint8_t>(group);
    p[16] = static_cast<std::uint8_t>(id >> 16);
    p[17] = static_cast<std::uint8_t>(id >> 8);
    p[18] = static_cast<std::uint8_t>(id);
    p[28] = clrPtt;
    return p;
}

std::vector<std::uint8_t> continuation(std::uint32_t group, std::uint8_t clrPtt,
                                       std::uint8_t service) {
    std::vector<std::uint8_t> p(30, 0);
    p[4] = 0x11;
    p[12] = service;
    p[17] = static_cast<std::uint8_t>(group >> 16);
    p[18] = static_cast<std::uint8_t>(group >> 8);
    p[19] = static_cast<std::uint8_t>(group);
    p[28] = clrPtt;
    return p;
}

std::vector<std::uint8_t> rssiPackage(std::uint16_t raw, std::size_t n = 13) {
    std::vector<std::uint8_t> p(13, 0);
    p[4] = 0x0F;
    p[11] = static_cast<std::uint8_t>(raw >> 8);
    p[12] = static_cast<std::uint8_t>(raw);
    p.resize(n);
    return p;
}

class PackageDecoderTest : public ::testing::Test {
protected:
    PackageDecoderTest() { decoder.ResetPortState(); }

    void decode(const std::vector<std::uint8_t>& bytes, int port = 1,
                DecodeMode mode = DecodeMode::Live, std::string_view stamp = kStamp) {
        decoder.DecodePackage(bytes, stamp, mode, port);
    }
    // The decoded lines, without the header the first package brings.
    std::vector<std::string> dataLines() const {
        std::vector<std::string> lines;
        for (const auto& line : out.text) {
            if (line != out.header) lines.push_back(line);
        }
        return lines;
    }
    std::string field(const std::string& line, int index) const {
        std::size_t begin = 0;
        for (int i = 0; i < index; ++i) begin = line.find('\t', begin) + 1;
        return line.substr(begin, line.find('\t', begin) - begin);
    }

    Settings settings;
    DisplayMirrors mirrors;
    GpsState gps;
    RecordingOutput out;
    PackageDecoder decoder{settings, mirrors, gps, out};
};

}  // namespace

TEST_F(PackageDecoderTest, PacketFilterShowsACallFromItsSecondPackage) {
    const auto p = callPackage(0x03, 100, 500, 0x11);
    decode(p);
    EXPECT_TRUE(dataLines().empty());
    decode(p);
    ASSERT_EQ(dataLines().size(), 1u);
    EXPECT_EQ(out.hex.size(), 2u);
    EXPECT_EQ(decoder.textCount(), 1);
    EXPECT_EQ(decoder.hexCount(), 2);
    // The first package of a live session brings the header.
    EXPECT_EQ(out.text.front(), "HEADER");
    EXPECT_EQ(out.headerRefreshes, 1);
}

TEST_F(PackageDecoderTest, WorkedExampleLineAndHexLine) {
    decode(rssiPackage(23040));
    const auto p = callPackage(0x03, 100, 500, 0x11);
    decode(p);
    decode(p);
    ASSERT_EQ(dataLines().size(), 1u);
    EXPECT_EQ(dataLines()[0],
              "03\t1\t01.06.2012 12:00:00\tGroup  \t100     \t500     \t1  \toff\t1  \t-90");
    EXPECT_EQ(out.hex.back(),
              "1$F4BEE070\t00 00 00 00 03 00 00 00 00 00 00 00 00 00 00 64 00 01 F4 00 00 00 00 "
              "00 00 00 00 00 11 00");
}

TEST_F(PackageDecoderTest, DifferingIdentityHidesItselfAndTheNextPackage) {
    const auto a = callPackage(0x03, 100, 500, 0x11);
    const auto b = callPackage(0x03, 101, 500, 0x11);
    decode(a);
    decode(a);
    decode(b);
    decode(a);
    EXPECT_EQ(dataLines().size(), 1u);
    decode(a);
    EXPECT_EQ(dataLines().size(), 2u);
}

TEST_F(PackageDecoderTest, WithoutFilterEveryPackageShowsAlsoWithZeroFields) {
    settings.IDFilter = false;
    decode(callPackage(0x03, 0, 0, 0x01));
    ASSERT_EQ(dataLines().size(), 1u);
    EXPECT_EQ(field(dataLines()[0], 4), "0       ");
    // The zero check only applies with the filter on.
    settings.IDFilter = true;
    decode(callPackage(0x03, 0, 0, 0x01));
    decode(callPackage(0x03, 0, 0, 0x01));
    EXPECT_EQ(dataLines().size(), 1u);
}

TEST_F(PackageDecoderTest, CallTexts) {
    settings.IDFilter = false;
    struct Case {
        std::uint8_t kind, service;
        std::uint32_t group;
        const char* call;
        const char* group_text;
        const char* enc;
    };
    const Case cases[] = {
        {0x03, 0x00, 100, "Private", "100     ", "off"},
        {0x00, 0x20, 100, "Group  ", "100     ", "off"},
        {0x00, 0x60, 100, "Group  ", "100     ", "On "},
        {0x00, 0x48, 100, "48     ", "100     ", "On "},
        {0x00, 0x00, 16777215, "Total  ", "For All ", "off"},
        {0x03, 0x00, 16777215, "Total  ", "For All ", "off"},
        {0x03, 0x40, 100, "Private", "100     ", "On "},
    };
    for (const Case& c : cases) {
        out.text.clear();
        decode(callPackage(0x0B, c.group, 7, 0x21, c.service, c.kind));
        ASSERT_EQ(dataLines().size(), 1u) << c.call;
        EXPECT_EQ(field(dataLines()[0], 3), c.call);
        EXPECT_EQ(field(dataLines()[0], 4), c.group_text);
        EXPECT_EQ(field(dataLines()[0], 7), c.enc);
    }
}

TEST_F(PackageDecoderTest, TwoDigitCallIsSuppressedByTheFilterUnlessSynIsOn) {
    const auto p = callPackage(0x0B, 100, 7, 0x21, 0x48);
    decode(p);
    decode(p);
    EXPECT_TRUE(dataLines().empty());
    EXPECT_EQ(decoder.textCount(), 0);
    settings.setTypeFlag("10", true);
    decode(p);
    ASSERT_EQ(dataLines().size(), 1u);
    EXPECT_EQ(field(dataLines()[0], 3), "48     ");
}

TEST_F(PackageDecoderTest, SynPackagesNeedTheirFlag) {
    const auto p = callPackage(0x10, 100, 7, 0x21, 0x48);
    decode(p);
    decode(p);
    EXPECT_TRUE(dataLines().empty());
    settings.setTypeFlag("10", true);
    decode(p);
    decode(p);
    ASSERT_EQ(dataLines().size(), 1u);
    EXPECT_EQ(field(dataLines()[0], 0), "10 Syn");
}

TEST_F(PackageDecoderTest, PttCodes) {
    settings.IDFilter = false;
    const std::pair<std::uint8_t, const char*> cases[] = {
        {0x12, "0  "}, {0x11, "1  "}, {0x10, "-  "}, {0x13, "-  "}};
    for (const auto& [byte28, ptt] : cases) {
        out.text.clear();
        decode(callPackage(0x03, 100, 7, byte28));
        ASSERT_EQ(dataLines().size(), 1u);
        EXPECT_EQ(field(dataLines()[0], 8), ptt);
    }
}

TEST_F(PackageDecoderTest, ShortAndDisabledPackagesLeaveTheCallAlone) {
    const auto p = callPackage(0x03, 100, 500, 0x11);
    decode(p);
    decode(callPackage(0x03, 200, 600, 0x11, 0, 0, 29));  // too short to be a call
    settings.setTypeFlag("05", false);
    decode(callPackage(0x05, 300, 700, 0x11));  // type switched off
    decode(p);
    EXPECT_EQ(dataLines().size(), 1u);
    EXPECT_EQ(out.hex.size(), 4u);
    EXPECT_EQ(decoder.hexCount(), 4);
    EXPECT_EQ(out.hex[1].find('\t'), 10u);
}

TEST_F(PackageDecoderTest, ContinuationBorrowsTheCallInProgress) {
    const auto call = callPackage(0x03, 100, 500, 0x32, 0x00, 0x03);
    decode(call);
    decode(call);
    decode(continuation(100, 0x30, 0xC8));
    ASSERT_EQ(dataLines().size(), 2u);
    EXPECT_EQ(dataLines()[1],
              "11\t1\t01.06.2012 12:00:00\tPrivate\t100     \t500     \t3  \t200\t0  \t-");
    // Another group, or another colour code, is not this call's continuation.
    decode(continuation(101, 0x30, 0xC8));
    decode(continuation(100, 0x40, 0xC8));
    EXPECT_EQ(dataLines().size(), 2u);
    // Encrypted service bytes leave the Call column empty.
    settings.IDFilter = false;
    decode(callPackage(0x03, 100, 500, 0x32, 0x48));
    decode(continuation(100, 0x30, 0x40));
    ASSERT_EQ(dataLines().size(), 4u);
    EXPECT_EQ(field(dataLines()[3], 3), "       ");
    EXPECT_EQ(field(dataLines()[3], 7), "64 ");
}

TEST_F(PackageDecoderTest, ContinuationAfterResetHasNoCall) {
    settings.IDFilter = false;
    decode(continuation(0, 0x00, 0x00));
    EXPECT_TRUE(dataLines().empty());
}

TEST_F(PackageDecoderTest, SignalReports) {
    decode(rssiPackage(23040));
    EXPECT_EQ(decoder.portState(1).LastRSSI, "-90");
    ASSERT_EQ(out.meters.size(), 1u);
    EXPECT_EQ(out.meters.back(), std::make_pair(1, 5));
    decode(rssiPackage(15300));
    EXPECT_EQ(decoder.portState(1).LastRSSI, "Max");
    decode(rssiPackage(32768));
    EXPECT_EQ(decoder.portState(1).LastRSSI, "-129");
    EXPECT_EQ(out.meters.back().second, 0);
    decode(rssiPackage(0));
    EXPECT_EQ(out.meters.back().second, 9);
    // Halves go to the even neighbour: w = 1000, 3000, 5000.
    decode(rssiPackage(32768 - 1000));
    EXPECT_EQ(out.meters.back().second, 0);
    decode(rssiPackage(32768 + 3000));
    EXPECT_EQ(out.meters.back().second, 2);
    decode(rssiPackage(32768 - 5000));
    EXPECT_EQ(out.meters.back().second, 2);
    // A short report changes nothing.
    const auto before = out.meters.size();
    decode(rssiPackage(0, 12));
    EXPECT_EQ(out.meters.size(), before);
    EXPECT_EQ(decoder.portState(1).LastRSSI, "-109");
}

TEST_F(PackageDecoderTest, CorrectionAndCeilingArePerPort) {
    settings.RSSICorrection[1] = 10;
    settings.MaxRSSI[1] = -85;
    decode(rssiPackage(23040), 2);
    decode(rssiPackage(23040), 1);
    EXPECT_EQ(decoder.portState(2).LastRSSI, "Max");  // -90 + 10 reaches the ceiling -85
    EXPECT_EQ(decoder.portState(1).LastRSSI, "-90");
    settings.MaxRSSI[1] = -79;
    decode(rssiPackage(23040), 2);
    EXPECT_EQ(decoder.portState(2).LastRSSI, "-80");
}

TEST_F(PackageDecoderTest, DbmColumnCarriesThePortsLastReport) {
    settings.IDFilter = false;
    decode(callPackage(0x03, 100, 500, 0x11), 2);
    EXPECT_EQ(field(dataLines().back(), 9), "-");
    decode(rssiPackage(23040), 2);
    decode(rssiPackage(0), 3);
    decode(callPackage(0x03, 100, 500, 0x11), 2);
    EXPECT_EQ(field(dataLines().back(), 9), "-90");
    EXPECT_EQ(field(dataLines().back(), 1), "2");
    decoder.ResetPortState();
    decode(callPackage(0x03, 100, 500, 0x11), 2);
    EXPECT_EQ(field(dataLines().back(), 9), "-");
}

TEST_F(PackageDecoderTest, OnlyRssiShowsReportsInTheFormOfTheGpsState) {
    mirrors.OnlyRSSI = true;
    settings.IDFilter = false;
    decode(callPackage(0x03, 100, 500, 0x11, 0x20));
    EXPECT_TRUE(dataLines().empty());
    EXPECT_EQ(decoder.portState(1).LastCall, "20");
    decode(rssiPackage(23040));
    EXPECT_EQ(dataLines().back(), std::string("1\t") + kTime + "\t-90");
    gps.Connected = true;
    decode(rssiPackage(23040));
    EXPECT_EQ(dataLines().back(), std::string("1\t") + kTime + "\t-          \t-          \t-  \t-90");
    gps.fix = {"01.06.2012 16:00:00", "010612", "120000.000", "5540.1234,N", "03736.5678,E", "1.8"};
    decode(rssiPackage(23040));
    EXPECT_EQ(dataLines().back(), "1\t01.06.2012 16:00:00\t5540.1234,N\t03736.5678,E\t1.8\t-90");
    // Offline decoding always writes the short form.
    decode(rssiPackage(23040), 1, DecodeMode::Offline);
    EXPECT_EQ(decoder.decodedTextLines().back(), std::string("1\t") + kTime + "\t-90");
    EXPECT_EQ(decoder.textCount(), 4);
}

TEST_F(PackageDecoderTest, HexLogOffStillCounts) {
    mirrors.HexLog = false;
    decode(rssiPackage(23040));
    decode({0x00});
    EXPECT_TRUE(out.hex.empty());
    EXPECT_EQ(decoder.hexCount(), 2);
    EXPECT_EQ(out.counts.back(), " T 0 / H 2");
    EXPECT_EQ(out.rolloverChecks, 2);
}

TEST_F(PackageDecoderTest, UnknownTimeGivesBareHexLine) {
    settings.IDFilter = false;
    decode(callPackage(0x03, 100, 500, 0x11), 3, DecodeMode::Live, "");
    EXPECT_EQ(field(dataLines()[0], 2), TimeUnknownText);
    EXPECT_EQ(out.hex[0].substr(0, 14), "00 00 00 00 03");
}

TEST_F(PackageDecoderTest, LongPackagesAreRenderedWhole) {
    settings.IDFilter = false;
    auto p = callPackage(0x03, 100, 500, 0x11, 0, 0, 128);
    p[127] = 0xAB;
    decode(p);
    EXPECT_EQ(out.hex[0].size(), 11 + 128 * 3 - 1);
    EXPECT_EQ(out.hex[0].substr(out.hex[0].size() - 2), "AB");
    EXPECT_EQ(dataLines().size(), 1u);
    // Out-of-range arguments are refused instead of read past the buffer.
    p.resize(500);
    decode(p);
    EXPECT_EQ(out.hex.back().size(), 11 + 128 * 3 - 1);
    const auto count = decoder.hexCount();
    p.resize(30);
    decode(p, 5);
    decode(p, 0);
    EXPECT_EQ(decoder.hexCount(), count);
}

TEST_F(PackageDecoderTest, OfflineModeCollectsAndDrawsNothing) {
    decode(rssiPackage(0), 1, DecodeMode::Offline);
    const auto p = callPackage(0x03, 100, 500, 0x11);
    decode(p, 1, DecodeMode::Offline);
    decode(p, 1, DecodeMode::Offline);
    EXPECT_TRUE(out.text.empty());
    EXPECT_TRUE(out.hex.empty());
    EXPECT_TRUE(out.meters.empty());
    EXPECT_EQ(out.rolloverChecks, 0);
    EXPECT_EQ(out.headerRefreshes, 0);
    EXPECT_EQ(decoder.decodedTextLines().size(), 1u);
    EXPECT_EQ(decoder.decodedHexLines().size(), 3u);
}

TEST_F(PackageDecoderTest, OfflineCountsShowOnlyWhenTheBitTestPasses) {
    for (int i = 0; i < 24; ++i) decode({0x00}, 1, DecodeMode::Offline);
    // 1..24 AND 1000 (0b1111101000) is zero for 1..7 and 16..23.
    EXPECT_EQ(out.counts.size(), 15u);
    EXPECT_EQ(out.counts.back(), " T 0 / H 23");
}
