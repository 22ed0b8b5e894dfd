#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zelvar::sim {

inline constexpr int kMaxTransceivers = 4;
// The program reads at most this many bytes of a datagram.
inline constexpr std::size_t kMaxPackageSize = 128;

// One datagram that transceiver 1..4 sends.
struct Package {
    int transceiver = 1;
    std::vector<std::uint8_t> bytes;

    friend bool operator==(const Package&, const Package&) = default;
};

// Two uppercase digits per byte, single blanks between them: the text of a
// bare hex-log line.
std::string hexText(std::span<const std::uint8_t> bytes);

}  // namespace zelvar::sim
