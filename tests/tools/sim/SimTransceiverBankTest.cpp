#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TransceiverBank.h"

namespace zelvar::sim {
namespace {

using Status = UdpSocket::SendStatus;

std::vector<std::uint8_t> bytesOf(std::string_view text) {
    return {text.begin(), text.end()};
}

const Endpoint kClient{0x7F000001U, 50000};
const Endpoint kOtherClient{0x7F000001U, 50001};

struct Sent {
    int transceiver;
    Endpoint to;
    std::uint8_t marker;
};

// Records what would go out; a transceiver listed in busy gets "socket full".
struct RecordingSender {
    std::vector<Sent> sent;
    unsigned busy = 0;
    TransceiverBank::Sender sender() {
        return [this](int n, const Endpoint& to, std::span<const std::uint8_t> bytes) {
            if ((busy & (1U << (n - 1))) != 0) return Status::Busy;
            sent.push_back({n, to, bytes[1]});
            return Status::Sent;
        };
    }
    std::vector<std::uint8_t> markers() const {
        std::vector<std::uint8_t> out;
        for (const auto& s : sent) out.push_back(s.marker);
        return out;
    }
};

Package package(int transceiver, std::uint8_t marker) {
    return Package{transceiver, {0x00, marker, 0x00, 0x00, 0x0F}};
}

TEST(ZelvarSimTransceivers, OnlyTheExactCommandWordsCount) {
    EXPECT_EQ(parseCommand(bytesOf("AT_ZELVAR")), Command::Register);
    EXPECT_EQ(parseCommand(bytesOf("EXIT_ZELVAR")), Command::Exit);
    for (const std::string& text :
         {std::string("AT_ZELVAR\r\n"), std::string("AT_ZELVAR\0", 10), std::string("at_zelvar"),
          std::string(" EXIT_ZELVAR"), std::string("AT_ZELVA"), std::string()}) {
        EXPECT_EQ(parseCommand(bytesOf(text)), Command::None) << text;
    }
}

TEST(ZelvarSimTransceivers, PackagesWaitForARegistrationAndKeepTheirOrder) {
    TransceiverBank bank({});
    RecordingSender out;
    bank.deliver(package(2, 1));
    bank.deliver(package(1, 2));
    bank.deliver(package(2, 3));
    bank.deliver(package(3, 4));
    EXPECT_EQ(bank.flush(out.sender(), 100).sent, 0U);
    EXPECT_FALSE(bank.hasSendable());

    EXPECT_EQ(bank.receive(2, kClient, bytesOf("AT_ZELVAR")), Command::Register);
    EXPECT_EQ(bank.receive(1, kClient, bytesOf("AT_ZELVAR")), Command::Register);
    EXPECT_EQ(bank.flush(out.sender(), 100).sent, 3U);
    EXPECT_EQ(out.markers(), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(out.sent[0].to, kClient);
    EXPECT_EQ(bank.waiting(3), 1U);
    EXPECT_FALSE(bank.idle());
    EXPECT_EQ(bank.counts(2).sent, 2U);
    EXPECT_EQ(bank.counts(3).dropped, 0U);
}

TEST(ZelvarSimTransceivers, DropUnregisteredAndQueueLimit) {
    TransceiverBank dropping({true, 100});
    RecordingSender out;
    dropping.deliver(package(1, 1));
    dropping.receive(1, kClient, bytesOf("AT_ZELVAR"));
    dropping.deliver(package(1, 2));
    dropping.flush(out.sender(), 100);
    EXPECT_EQ(out.markers(), (std::vector<std::uint8_t>{2}));
    EXPECT_EQ(dropping.counts(1).dropped, 1U);

    TransceiverBank limited({false, 3});
    for (std::uint8_t m = 1; m <= 5; ++m) limited.deliver(package(4, m));
    EXPECT_EQ(limited.waiting(4), 3U);
    EXPECT_EQ(limited.counts(4).dropped, 2U);
    limited.discardQueued();
    EXPECT_TRUE(limited.idle());
    EXPECT_EQ(limited.totalDropped(), 5U);
}

TEST(ZelvarSimTransceivers, ExitStopsSendingToThatClientOnly) {
    TransceiverBank bank({});
    RecordingSender out;
    bank.receive(1, kClient, bytesOf("AT_ZELVAR"));
    bank.receive(1, kClient, bytesOf("AT_ZELVAR"));  // repeated: still one listener
    bank.receive(1, kOtherClient, bytesOf("AT_ZELVAR"));
    bank.deliver(package(1, 1));
    bank.flush(out.sender(), 100);
    ASSERT_EQ(out.sent.size(), 2U);

    EXPECT_EQ(bank.receive(1, kClient, bytesOf("EXIT_ZELVAR")), Command::Exit);
    bank.deliver(package(1, 2));
    bank.flush(out.sender(), 100);
    ASSERT_EQ(out.sent.size(), 3U);
    EXPECT_EQ(out.sent[2].to, kOtherClient);

    bank.receive(1, kOtherClient, bytesOf("EXIT_ZELVAR"));
    EXPECT_FALSE(bank.isRegistered(1));
    bank.deliver(package(1, 3));
    bank.flush(out.sender(), 100);
    EXPECT_EQ(out.sent.size(), 3U);
    EXPECT_EQ(bank.counts(1).registered, 3U);
    EXPECT_EQ(bank.counts(1).exited, 2U);
    EXPECT_EQ(bank.counts(1).sent, 3U);

    // Commands from outside the loopback net change and count nothing.
    EXPECT_EQ(bank.receive(2, Endpoint{0xC0A80B01U, 4064}, bytesOf("AT_ZELVAR")), Command::None);
    EXPECT_EQ(bank.counts(2).registered, 0U);
    EXPECT_FALSE(bank.isRegistered(2));
}

TEST(ZelvarSimTransceivers, AFullSocketHoldsOnlyItsOwnTransceiver) {
    TransceiverBank bank({});
    RecordingSender out;
    bank.receive(1, kClient, bytesOf("AT_ZELVAR"));
    bank.receive(2, kClient, bytesOf("AT_ZELVAR"));
    bank.deliver(package(1, 1));
    bank.deliver(package(2, 2));
    bank.deliver(package(1, 3));
    out.busy = 1U;
    const auto result = bank.flush(out.sender(), 100);
    EXPECT_EQ(result.busyMask, 1U);
    EXPECT_EQ(out.markers(), (std::vector<std::uint8_t>{2}));
    EXPECT_FALSE(bank.hasSendable(result.busyMask));

    out.busy = 0;
    EXPECT_EQ(bank.flush(out.sender(), 1).sent, 1U);  // the budget bounds a burst
    bank.flush(out.sender(), 100);
    EXPECT_EQ(out.markers(), (std::vector<std::uint8_t>{2, 1, 3}));
    EXPECT_TRUE(bank.idle());
}

TEST(ZelvarSimTransceivers, SummaryLines) {
    TransceiverBank bank({});
    RecordingSender out;
    bank.receive(2, kClient, bytesOf("AT_ZELVAR"));
    bank.deliver(package(2, 1));
    bank.flush(out.sender(), 10);
    bank.receive(2, kClient, bytesOf("EXIT_ZELVAR"));
    EXPECT_EQ(bank.summary(4),
              "transceiver 1: registered 0 exited 0 sent 0\n"
              "transceiver 2: registered 1 exited 1 sent 1\n"
              "transceiver 3: registered 0 exited 0 sent 0\n"
              "transceiver 4: registered 0 exited 0 sent 0\n"
              "sent 1\n");
}

}  // namespace
}  // namespace zelvar::sim
