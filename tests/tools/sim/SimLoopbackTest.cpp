#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "Loopback.h"
#include "SimOptions.h"
#include "UdpSocket.h"

namespace zelvar::sim {
namespace {

TEST(ZelvarSimLoopback, AddressesAreReadStrictly) {
    EXPECT_EQ(parseIPv4("127.0.0.1"), 0x7F000001U);
    EXPECT_EQ(parseIPv4("192.168.10.1"), 0xC0A80A01U);
    for (const char* bad : {"127.1", "127.0.0.256", "127.0.0.1.2", " 127.0.0.1", "127.0.0.1 ",
                            "127.0.0.-1", "127..0.1", "", "0x7F.0.0.1", "1270.0.0.1"}) {
        EXPECT_FALSE(parseIPv4(bad)) << bad;
    }
    EXPECT_EQ(parseEndpoint("127.0.0.3:40000"), (Endpoint{0x7F000003U, 40000}));
    EXPECT_FALSE(parseEndpoint("127.0.0.3:0"));
    EXPECT_FALSE(parseEndpoint("127.0.0.3:65536"));
    EXPECT_FALSE(parseEndpoint("127.0.0.3"));

    EXPECT_TRUE(isLoopback(0x7F000001U));
    EXPECT_TRUE(isLoopback(0x7FFFFFFFU));
    EXPECT_FALSE(isLoopback(0x7EFFFFFFU));
    EXPECT_FALSE(isLoopback(0x80000000U));
    EXPECT_FALSE(isLoopback(*parseIPv4("192.168.10.1")));
}

TEST(ZelvarSimOptions, ListenAddressesOutsideLoopbackAreRefused) {
    for (const char* listen :
         {"1=192.168.10.1:4064", "2=10.0.0.2:4064", "4=0.0.0.0:4064", "3=128.0.0.1:4064"}) {
        const auto outcome = parseArguments({"--generate", "--listen", listen});
        EXPECT_EQ(outcome.exitCode, 2) << listen;
        EXPECT_NE(outcome.error.find("refused"), std::string::npos) << outcome.error;
        EXPECT_EQ(outcome.error.find('\n'), std::string::npos);
    }
}

TEST(ZelvarSimOptions, DefaultsAndOverrides) {
    const auto defaults = parseArguments({"--generate"});
    ASSERT_TRUE(defaults.error.empty()) << defaults.error;
    for (int n = 1; n <= 4; ++n) {
        EXPECT_EQ(defaults.options.listen[static_cast<std::size_t>(n - 1)],
                  (Endpoint{transceiverAddress(n), 4064}));
    }
    EXPECT_FALSE(defaults.options.dropUnregistered);
    EXPECT_FALSE(defaults.options.exitWhenDone);

    const auto set =
        parseArguments({"--log=x.hex", "--port", "40000", "--listen", "3=127.9.9.9:5000", "--speed",
                        "2.5", "--count=10", "--exit-when-done"});
    ASSERT_TRUE(set.error.empty()) << set.error;
    EXPECT_EQ(set.options.source, SimOptions::Source::Log);
    EXPECT_EQ(set.options.listen[1], (Endpoint{transceiverAddress(2), 40000}));
    EXPECT_EQ(set.options.listen[2], (Endpoint{0x7F090909U, 5000}));
    EXPECT_DOUBLE_EQ(set.options.speed, 2.5);
    EXPECT_EQ(set.options.count, 10U);
    EXPECT_TRUE(set.options.exitWhenDone);

    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {},
             {"--generate", "--log", "x.hex"},
             {"--generate", "--rate", "0"},
             {"--generate", "--rate", "fast"},
             {"--generate", "--speed"},
             {"--generate", "--listen", "5=127.0.0.5:4064"},
             {"--generate", "--listen", "1=127.0.0.2:4064"},  // the same as transceiver 2
             {"--generate", "--loop"},
             {"--generate", "--bogus"}}) {
        const auto outcome = parseArguments(bad);
        EXPECT_EQ(outcome.exitCode, 2);
        EXPECT_FALSE(outcome.error.empty());
    }
    EXPECT_TRUE(parseArguments({"--help"}).options.help);
}

TEST(ZelvarSimSocket, NeverBindsOrSendsOutsideLoopback) {
    UdpSocket outside;
    std::string error;
    EXPECT_FALSE(outside.bindLoopback(Endpoint{*parseIPv4("192.168.10.1"), 4064}, error));
    EXPECT_NE(error.find("refused"), std::string::npos);
    EXPECT_FALSE(outside.isOpen());

    UdpSocket sender;
    UdpSocket receiver;
    ASSERT_TRUE(sender.bindLoopback(Endpoint{transceiverAddress(1), 0}, error)) << error;
    ASSERT_TRUE(receiver.bindLoopback(Endpoint{transceiverAddress(2), 0}, error)) << error;
    const std::array<std::uint8_t, 3> bytes{0x00, 0x0F, 0x42};
    // Refused, not Failed: the check stops it before the system is asked.
    for (const char* address : {"192.168.10.1", "10.0.0.1", "0.0.0.0", "255.255.255.255"}) {
        EXPECT_EQ(
            sender.sendTo(Endpoint{*parseIPv4(address), receiver.localEndpoint().port}, bytes),
            UdpSocket::SendStatus::Refused)
            << address;
    }
    EXPECT_EQ(sender.sendTo(receiver.localEndpoint(), bytes), UdpSocket::SendStatus::Sent);

    std::array<std::uint8_t, 16> buffer{};
    Endpoint from;
    long length = -1;
    for (int attempt = 0; attempt < 100 && length < 0; ++attempt) {
        length = receiver.receiveFrom(buffer, from);
        if (length < 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(length, 3);
    EXPECT_EQ(from, sender.localEndpoint());
    EXPECT_EQ(buffer[2], 0x42);
    EXPECT_EQ(receiver.receiveFrom(buffer, from), -1) << "only the loopback datagram arrived";
}

}  // namespace
}  // namespace zelvar::sim
