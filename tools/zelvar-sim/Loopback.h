#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zelvar::sim {

// An IPv4 address and UDP port, both in host byte order.
struct Endpoint {
    std::uint32_t address = 0;
    std::uint16_t port = 0;

    friend bool operator==(const Endpoint&, const Endpoint&) = default;
};

inline constexpr std::uint16_t kDefaultTransceiverPort = 4064;

// Strict dotted quad: four decimal parts 0..255 and nothing else, so that
// shorthand like "127.1" cannot slip past the loopback check.
std::optional<std::uint32_t> parseIPv4(std::string_view text);

// "ADDR:PORT" with a port of 1..65535.
std::optional<Endpoint> parseEndpoint(std::string_view text);

// The simulator talks to nothing outside 127.0.0.0/8.
constexpr bool isLoopback(std::uint32_t address) {
    return (address >> 24) == 127U;
}

// Transceiver n (1..4) answers on 127.0.0.n by default.
constexpr std::uint32_t transceiverAddress(int transceiver) {
    return (127U << 24) | static_cast<std::uint32_t>(transceiver);
}

std::string formatIPv4(std::uint32_t address);
std::string formatEndpoint(const Endpoint& endpoint);

}  // namespace zelvar::sim
