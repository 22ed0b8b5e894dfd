#pragma once

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

#include "DateTime.h"
#include "LogFormat.h"

namespace zelvar::bench {

// A saved hex log as a day of monitoring leaves it: stamped lines of four
// ports, calls of recognised types that repeat their identity, type 11
// continuations, signal reports and some unknown short packages.
inline std::string GenerateHexLog(std::size_t lines, std::uint32_t seed = 1) {
    std::mt19937 engine(seed);
    auto random = [&engine] { return static_cast<std::uint32_t>(engine()); };
    std::string log;
    log.reserve(lines * 110);
    const std::uint8_t types[] = {0x03, 0x05, 0x07, 0x08, 0x09, 0x0B, 0x0D, 0x24,
                                  0x44, 0x6C, 0x8C, 0xB4, 0xEC, 0xF4, 0xFC, 0x10};
    std::uint8_t bytes[64] = {};
    std::int64_t stamp = HexToInt64("1145A3B28");
    std::uint32_t group = 100, id = 500;
    std::uint8_t clr = 1;
    for (std::size_t i = 0; i < lines; ++i) {
        const int port = static_cast<int>(random() % 4) + 1;
        const unsigned kind = random() % 10;
        std::size_t n = 0;
        std::fill(std::begin(bytes), std::end(bytes), 0);
        if (kind < 6) {  // a package of a call, the call changing now and then
            if (random() % 8 == 0) {
                group = random() % 2000;
                id = random() % 16777215;
                clr = static_cast<std::uint8_t>(random() % 16);
            }
            n = 30 + random() % 34;
            bytes[4] = types[random() % (sizeof types)];
            bytes[10] = random() % 4 == 0 ? 0x03 : 0x00;
            bytes[12] = static_cast<std::uint8_t>((random() % 4) * 0x20);
            bytes[13] = static_cast<std::uint8_t>(group >> 16);
            bytes[14] = static_cast<std::uint8_t>(group >> 8);
            bytes[15] = static_cast<std::uint8_t>(group);
            bytes[16] = static_cast<std::uint8_t>(id >> 16);
            bytes[17] = static_cast<std::uint8_t>(id >> 8);
            bytes[18] = static_cast<std::uint8_t>(id);
            bytes[28] =
                static_cast<std::uint8_t>(static_cast<unsigned>(clr) << 4 | (1 + random() % 2));
        } else if (kind < 8) {  // continuation of the call
            n = 30 + random() % 10;
            bytes[4] = 0x11;
            bytes[12] = static_cast<std::uint8_t>(random());
            bytes[17] = static_cast<std::uint8_t>(group >> 16);
            bytes[18] = static_cast<std::uint8_t>(group >> 8);
            bytes[19] = static_cast<std::uint8_t>(group);
            bytes[28] = static_cast<std::uint8_t>(clr << 4);
        } else if (kind < 9) {  // signal report
            n = 13 + random() % 10;
            bytes[4] = 0x0F;
            const auto raw = static_cast<std::uint16_t>(15000 + random() % 20000);
            bytes[11] = static_cast<std::uint8_t>(raw >> 8);
            bytes[12] = static_cast<std::uint8_t>(raw);
        } else {  // something the decoder does not know
            n = 1 + random() % 20;
            bytes[4] = 0x77;
        }
        bytes[0] = 0x00;
        stamp += static_cast<std::int64_t>(random() % 3);
        char hex[20];
        std::snprintf(hex, sizeof hex, "%llX", static_cast<unsigned long long>(stamp));
        AppendStampedHexPrefix(log, port, hex);
        AppendHexText(log, bytes, n);
        log.append("\r\n");
    }
    return log;
}

}  // namespace zelvar::bench
