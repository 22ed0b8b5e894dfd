#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "Settings.h"

namespace zelvar {

inline constexpr std::string_view RegistrationCommand = "AT_ZELVAR";
inline constexpr std::string_view ExitCommand = "EXIT_ZELVAR";

// Per-port tick counters of the session timer, index 1..4 (0 unused).
using PortTicks = std::array<std::int32_t, kPortCount + 1>;

// What one tick of the 500 ms session timer asks for, index 1..4.
struct TickActions {
    std::array<bool, kPortCount + 1> zeroMeter{};   // drop the port's S-meter to 0
    std::array<bool, kPortCount + 1> reregister{};  // send the registration again
};

// One tick: a meter set before the previous tick falls back, a transceiver
// silent for more than 2 x timeOut ticks is registered again, and every
// counter moves on by one.
TickActions SessionTick(PortTicks& meterHold, PortTicks& silenceTicks, int timeOut,
                        bool monitoring);

// A transceiver's UDP port from the text of its field: a decimal number,
// taken modulo 65 536; nothing when the text is no number.
std::optional<std::uint16_t> TransceiverPortNumber(std::string_view text);

// A transceiver's IPv4 address from its dotted text, in network byte order;
// a text that is no address gives the all-ones address, which no datagram
// comes from and to which nothing is sent.
std::uint32_t TransceiverAddress(std::string_view text);
inline constexpr std::uint32_t NoAddress = 0xFFFFFFFFu;

// The port a datagram belongs to by its source address (network byte order):
// the highest slot whose address matches, port 1 when none does.
int PortForSource(std::uint32_t source, const std::array<std::uint32_t, kPortCount>& transceiverIP);

}  // namespace zelvar
