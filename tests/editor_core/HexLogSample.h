#pragma once

#include <cstdio>
#include <random>
#include <string>

namespace zelvar::test {

// A hex log of stamped lines, eight- and nine-digit stamps mixed, CR LF
// line ends, bytes from a seeded generator; byte 4 is often 0B or 05.
inline std::string SampleHexLog(std::size_t lines, unsigned seed = 7) {
    std::mt19937 generator(seed);
    auto engine = [&generator] { return static_cast<unsigned>(generator()); };
    std::string log;
    char part[8];
    for (std::size_t i = 0; i < lines; ++i) {
        log += static_cast<char>('1' + engine() % 4);
        log += i % 2 == 0 ? "$F4BEE070\t" : "$1145A3B28\t";
        const std::size_t count = 1 + engine() % 40;
        for (std::size_t b = 0; b < count; ++b) {
            const unsigned kind = engine() % 3;
            const unsigned value = b != 4 ? engine() % 256 : kind == 0 ? 0x0B : kind == 1 ? 0x05 : 0x11;
            std::snprintf(part, sizeof part, b == 0 ? "%02X" : " %02X", value);
            log += part;
        }
        log += "\r\n";
    }
    return log;
}

}  // namespace zelvar::test
