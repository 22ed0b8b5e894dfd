#include "TextUnits.h"

#include <cstdint>
#include <cstring>

namespace zelvar {

namespace {

bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

bool IsValidUtf8(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* const end = p + text.size();
    constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
    while (p < end) {
        // Logs are almost all ASCII: skip it 32 bytes at a time.
        if (end - p >= 32) {
            std::uint64_t block[4];
            std::memcpy(block, p, sizeof block);
            if (((block[0] | block[1] | block[2] | block[3]) & kHighBits) == 0) {
                p += 32;
                continue;
            }
        }
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        std::size_t length;
        std::uint32_t value;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
            value = c & 0x1Fu;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            value = c & 0x0Fu;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            value = c & 0x07u;
        } else {
            return false;
        }
        if (static_cast<std::size_t>(end - p) < length) return false;
        for (std::size_t k = 1; k < length; ++k) {
            if (!isContinuation(p[k])) return false;
            value = value << 6 | (p[k] & 0x3Fu);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if ((length == 3 && value < 0x800) || (length == 4 && value < 0x10000) ||
            (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) {
            return false;
        }
        p += length;
    }
    return true;
}

std::size_t CharCount(std::string_view text, TextUnits units) {
    if (units == TextUnits::Bytes) return text.size();
    std::size_t count = 0;
    for (const char c : text) {
        if (!isContinuation(static_cast<unsigned char>(c))) ++count;
    }
    return count;
}

std::size_t CharOffset(std::string_view text, std::size_t index, TextUnits units) {
    if (units == TextUnits::Bytes) return index < text.size() ? index : text.size();
    std::size_t offset = 0;
    for (std::size_t seen = 0; offset < text.size(); ++offset) {
        if (isContinuation(static_cast<unsigned char>(text[offset]))) continue;
        if (seen++ == index) return offset;
    }
    return text.size();
}

}  // namespace zelvar
