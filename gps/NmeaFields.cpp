#include "NmeaFields.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace zelvar {

std::vector<std::string> SplitNmeaFields(std::string_view line) {
    std::string clean;
    if (line.size() > 2) {
        clean.reserve(line.size() - 2);
        for (const char c : line.substr(2)) {
            if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || c == '.' || c == ',' || c == '*') {
                clean.push_back(c);
            }
        }
    }
    std::vector<std::string> fields;
    std::string_view rest = clean;
    while (fields.size() < kNmeaMaxFields) {
        const std::size_t comma = rest.find(',');
        fields.emplace_back(rest.substr(0, std::min(comma, kNmeaMaxFieldLength)));
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
    }
    return fields;
}

std::optional<int> NmeaInteger(std::string_view text) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::optional<float> NmeaFloat(std::string_view text) {
    float value = 0.0F;
    const char* end = text.data() + text.size();
    const auto [ptr, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || ptr != end || !std::isfinite(value)) return std::nullopt;
    return value;
}

}  // namespace zelvar
