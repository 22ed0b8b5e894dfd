#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <limits>
#include <vector>

#include "SessionRules.h"

using namespace zelvar;

namespace {
std::uint32_t ip(const char* text) { return inet_addr(text); }
}  // namespace

TEST(SessionTick, MeterFallsBackOnTheSecondTickAfterItWasSet) {
    PortTicks hold{}, silence{};
    hold[2] = 0;  // the decoder just set meter 2
    auto a = SessionTick(hold, silence, 60, true);
    EXPECT_FALSE(a.zeroMeter[2]);
    a = SessionTick(hold, silence, 60, true);
    EXPECT_TRUE(a.zeroMeter[2]);
    EXPECT_EQ(hold[2], 1);
    // Once at rest it is dropped on every tick, which costs nothing.
    a = SessionTick(hold, silence, 60, true);
    EXPECT_TRUE(a.zeroMeter[2]);
}

TEST(SessionTick, SilentTransceiverIsRegisteredAgainEveryTimeOutAndAHalf) {
    PortTicks hold{}, silence{};
    std::vector<int> ticks;
    for (int tick = 1; tick <= 10; ++tick) {
        // Port 3 keeps sending: the decoder clears its silence every package.
        silence[3] = 0;
        const auto a = SessionTick(hold, silence, 1, true);
        if (a.reregister[1]) ticks.push_back(tick);
        EXPECT_FALSE(a.reregister[3]);
    }
    // TimeOut 1: more than two ticks of silence, so on ticks 4, 7, 10: every 1.5 s.
    EXPECT_EQ(ticks, (std::vector<int>{4, 7, 10}));
}

TEST(SessionTick, NoRegistrationOutsideASession) {
    PortTicks hold{}, silence{};
    silence[1] = 1000;
    EXPECT_FALSE(SessionTick(hold, silence, 1, false).reregister[1]);
    // Counters never wrap around, however long the program runs.
    silence[1] = std::numeric_limits<std::int32_t>::max();
    SessionTick(hold, silence, 1, false);
    EXPECT_EQ(silence[1], std::numeric_limits<std::int32_t>::max());
}

TEST(TransceiverPort, DecimalTextsModulo65536) {
    EXPECT_EQ(TransceiverPortNumber("4064"), 4064);
    EXPECT_EQ(TransceiverPortNumber("65536"), 0);
    EXPECT_EQ(TransceiverPortNumber("70000"), 70000 - 65536);
    EXPECT_EQ(TransceiverPortNumber("-1"), 65535);
    EXPECT_EQ(TransceiverPortNumber("+80"), 80);
    for (const char* bad : {"", "-", "40 64", "4O64", "0x10", " 4064", "99999999999"}) {
        EXPECT_FALSE(TransceiverPortNumber(bad)) << bad;
    }
}

TEST(TransceiverAddressText, DottedTextOrNoAddress) {
    EXPECT_EQ(TransceiverAddress("127.0.0.2"), ip("127.0.0.2"));
    EXPECT_EQ(TransceiverAddress("192.168.10.1"), ip("192.168.10.1"));
    EXPECT_EQ(TransceiverAddress("NOT.AN.ADDRESS"), NoAddress);
    EXPECT_EQ(TransceiverAddress(""), NoAddress);
}

TEST(PortAttribution, HighestMatchingSlotWinsUnknownIsPortOne) {
    const std::array<std::uint32_t, 4> ips = {ip("127.0.0.1"), ip("127.0.0.2"), ip("127.0.0.3"),
                                              ip("127.0.0.2")};
    EXPECT_EQ(PortForSource(ip("127.0.0.1"), ips), 1);
    EXPECT_EQ(PortForSource(ip("127.0.0.2"), ips), 4);
    EXPECT_EQ(PortForSource(ip("127.0.0.3"), ips), 3);
    EXPECT_EQ(PortForSource(ip("127.0.0.9"), ips), 1);
}
