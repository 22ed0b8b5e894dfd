#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>

#include "PackageGenerator.h"
#include "PackageSource.h"

namespace zelvar::sim {
namespace {

std::uint32_t read24(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) << 16 |
           static_cast<std::uint32_t>(bytes[at + 1]) << 8 | bytes[at + 2];
}

bool isCallType(std::uint8_t type) {
    return std::find(kCallTypes.begin(), kCallTypes.end(), type) != kCallTypes.end();
}

TEST(ZelvarSimGenerator, SameSeedGivesSameTrafficAndPacing) {
    GeneratedTraffic first(42, 4, 1000.0);
    GeneratedTraffic second(42, 4, 1000.0);
    GeneratedTraffic other(43, 4, 1000.0);
    int differences = 0;
    for (std::int64_t k = 0; k < 2000; ++k) {
        const auto a = first.next();
        const auto b = second.next();
        const auto c = other.next();
        ASSERT_TRUE(a && b && c);
        ASSERT_EQ(a->package, b->package) << "package " << k;
        EXPECT_EQ(a->dueNs, k * 1'000'000);
        EXPECT_EQ(a->package.transceiver, k % 4 + 1);
        if (a->package != c->package) ++differences;
    }
    EXPECT_GT(differences, 1900);
}

TEST(ZelvarSimGenerator, PackagesHaveValidTypesAndLengths) {
    PackageGenerator generator(7, 4);
    std::map<std::uint8_t, int> types;
    for (int k = 0; k < 20000; ++k) {
        const Package p = generator.next();
        const auto& b = p.bytes;
        ASSERT_GE(b.size(), 13U);
        ASSERT_LE(b.size(), kMaxPackageSize);
        EXPECT_EQ(b[0], 0x00);
        const std::uint8_t type = b[4];
        ++types[type];
        if (type == kSignalReportType) {
            EXPECT_LE(b.size(), 20U);
            const int raw = b[11] << 8 | b[12];
            const auto dBm = std::lround(-raw / 255.0);
            EXPECT_GE(dBm, -125);
            EXPECT_LE(dBm, -52);
        } else {
            ASSERT_TRUE(isCallType(type) || type == kContinuationType) << int{type};
            EXPECT_GE(b.size(), 30U);
            EXPECT_LE(b.size(), 40U);
            EXPECT_NE(b[28] >> 4, 0) << "Clr 0 would be dropped by the packet filter";
        }
        if (isCallType(type)) {
            EXPECT_TRUE((b[28] & 0x0F) == 1 || (b[28] & 0x0F) == 2);
            EXPECT_NE(read24(b, 13), 0U);
            EXPECT_NE(read24(b, 16), 0U);
        }
    }
    EXPECT_GT(types[0x03], 1000);
    EXPECT_GT(types[0x0B], 1000);
    EXPECT_GT(types[0x0D], 1000);
    EXPECT_GT(types[kContinuationType], 500);
    EXPECT_GT(types[kSignalReportType], 1000);
    EXPECT_EQ(types.count(0x10), 0U);
}

// The packet filter shows a call package only when Group, ID and Clr repeat
// those of the port's previous call package; a continuation only when its
// group reference and Clr match that package.
TEST(ZelvarSimGenerator, CallsRepeatTheirIdentityAndContinuationsNameTheirGroup) {
    struct Identity {
        std::uint32_t group = 0, id = 0;
        int clr = -1;
        int ptt = 0;
    };
    PackageGenerator generator(11, 4);
    std::array<Identity, 4> last{};
    int callPackages = 0;
    int confirmed = 0;
    int continuations = 0;
    for (int k = 0; k < 40000; ++k) {
        const Package p = generator.next();
        const auto& b = p.bytes;
        Identity& previous = last[static_cast<std::size_t>(p.transceiver - 1)];
        if (isCallType(b[4])) {
            const Identity now{read24(b, 13), read24(b, 16), b[28] >> 4, b[28] & 0x0F};
            const bool same =
                now.group == previous.group && now.id == previous.id && now.clr == previous.clr;
            if (previous.ptt == 1) {
                EXPECT_TRUE(same) << "a call changed identity before PTT release";
            }
            ++callPackages;
            if (same) ++confirmed;
            previous = now;
        } else if (b[4] == kContinuationType) {
            ++continuations;
            EXPECT_EQ(read24(b, 17), previous.group);
            EXPECT_EQ(b[28] >> 4, previous.clr);
            EXPECT_EQ(previous.ptt, 1) << "continuation outside a call";
        }
    }
    EXPECT_GT(continuations, 1000);
    // Every call but its first package is confirmed.
    EXPECT_GT(confirmed * 10, callPackages * 7);
}

}  // namespace
}  // namespace zelvar::sim
