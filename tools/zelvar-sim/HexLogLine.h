#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "Package.h"

namespace zelvar::sim {

// One package of a saved hex log, read the way the program's offline decoder
// reads it: a line whose first TAB is its 11th or 12th character is stamped
// ("P$STAMP<TAB>hex bytes", P the port digit), any other line is bare data
// for transceiver 1.
struct LogPackage {
    Package package;
    std::optional<std::int64_t> stamp;  // 1 unit = 0.864 s
};

// Only the characters 0x30..0x46 count, taken two at a time; a pair converts
// as far as its leading hex digits go ("A:" is 0x0A, ":A" is 0). At most
// kMaxPackageSize bytes; an odd last character is ignored.
std::vector<std::uint8_t> parseHexData(std::string_view data);

// Nothing for a line without bytes or whose port digit is not 1..4.
std::optional<LogPackage> parseHexLogLine(std::string_view line);

struct HexLog {
    std::vector<LogPackage> packages;
    std::size_t skippedLines = 0;  // not blank, yet no package for a played transceiver
};

// Splits a whole file at LF (a CR before it is dropped). Packages for a
// transceiver above `transceivers` are skipped.
HexLog parseHexLog(std::string_view text, int transceivers = kMaxTransceivers);

}  // namespace zelvar::sim
