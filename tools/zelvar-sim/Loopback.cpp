#include "Loopback.h"

#include <charconv>

namespace zelvar::sim {

namespace {

// A decimal number of 1..digits digits without sign, blanks or prefix.
template <typename T>
std::optional<T> parseDecimal(std::string_view text, std::size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits) return std::nullopt;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
    }
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

std::optional<std::uint32_t> parseIPv4(std::string_view text) {
    std::uint32_t address = 0;
    for (int part = 0; part < 4; ++part) {
        const std::size_t dot = text.find('.');
        const bool last = part == 3;
        if (last != (dot == std::string_view::npos)) return std::nullopt;
        const auto value = parseDecimal<unsigned>(last ? text : text.substr(0, dot), 3);
        if (!value || *value > 255U) return std::nullopt;
        address = (address << 8) | *value;
        if (!last) text.remove_prefix(dot + 1);
    }
    return address;
}

std::optional<Endpoint> parseEndpoint(std::string_view text) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) return std::nullopt;
    const auto address = parseIPv4(text.substr(0, colon));
    const auto port = parseDecimal<unsigned>(text.substr(colon + 1), 5);
    if (!address || !port || *port == 0 || *port > 65535U) return std::nullopt;
    return Endpoint{*address, static_cast<std::uint16_t>(*port)};
}

std::string formatIPv4(std::uint32_t address) {
    return std::to_string(address >> 24) + '.' + std::to_string((address >> 16) & 0xFFU) + '.' +
           std::to_string((address >> 8) & 0xFFU) + '.' + std::to_string(address & 0xFFU);
}

std::string formatEndpoint(const Endpoint& endpoint) {
    return formatIPv4(endpoint.address) + ':' + std::to_string(endpoint.port);
}

}  // namespace zelvar::sim
