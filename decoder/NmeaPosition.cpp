#include "NmeaPosition.h"

#include <cstdlib>

namespace zelvar {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Minute decimals beyond this change no sixth decimal of a degree except at
// an exact tie; keeping more would overflow the arithmetic below.
constexpr int kMinuteDecimals = 8;

}  // namespace

std::optional<std::int64_t> NmeaMicrodegrees(std::string_view text) {
    const std::size_t comma = text.find(',');
    if (comma == std::string_view::npos || comma + 2 != text.size()) return std::nullopt;
    const char hemisphere = text[comma + 1];
    const bool latitude = hemisphere == 'N' || hemisphere == 'S';
    if (!latitude && hemisphere != 'E' && hemisphere != 'W') return std::nullopt;
    const std::string_view number = text.substr(0, comma);
    const std::size_t point = number.find('.');
    const std::string_view whole = number.substr(0, point);
    // Two digits of whole minutes, and at least one of degrees.
    if (whole.size() < 3 || whole.size() > 5) return std::nullopt;
    std::int64_t degrees = 0;
    for (const char c : whole.substr(0, whole.size() - 2)) {
        if (!isDigit(c)) return std::nullopt;
        degrees = degrees * 10 + (c - '0');
    }
    // Minutes as a fraction: scaled / 10^kMinuteDecimals.
    std::int64_t minutes = 0;
    for (const char c : whole.substr(whole.size() - 2)) {
        if (!isDigit(c)) return std::nullopt;
        minutes = minutes * 10 + (c - '0');
    }
    if (minutes >= 60) return std::nullopt;
    std::int64_t scale = 1;
    if (point != std::string_view::npos) {
        const std::string_view decimals = number.substr(point + 1);
        if (decimals.empty()) return std::nullopt;
        for (std::size_t i = 0; i < decimals.size(); ++i) {
            if (!isDigit(decimals[i])) return std::nullopt;
            if (i >= kMinuteDecimals) continue;
            minutes = minutes * 10 + (decimals[i] - '0');
            scale *= 10;
        }
    }
    // micro-degrees = (degrees * 60 + minutes / scale) * 10^6 / 60, rounded.
    const std::int64_t numerator = (degrees * 60 * scale + minutes) * 1'000'000;
    const std::int64_t denominator = 60 * scale;
    std::int64_t micro = (2 * numerator + denominator) / (2 * denominator);
    if (micro > (latitude ? 90'000'000 : 180'000'000)) return std::nullopt;
    if (hemisphere == 'S' || hemisphere == 'W') micro = -micro;
    return micro;
}

std::string DegreesText(std::int64_t microdegrees) {
    std::string text;
    if (microdegrees < 0) text.push_back('-');
    const std::uint64_t magnitude =
        microdegrees < 0 ? 0 - static_cast<std::uint64_t>(microdegrees)
                         : static_cast<std::uint64_t>(microdegrees);
    text += std::to_string(magnitude / 1'000'000);
    text.push_back('.');
    const std::string fraction = std::to_string(magnitude % 1'000'000);
    text.append(6 - fraction.size(), '0');
    text += fraction;
    return text;
}

}  // namespace zelvar
