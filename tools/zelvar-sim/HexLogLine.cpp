#include "HexLogLine.h"

#include <utility>

#include "DateTime.h"
#include "OfflineDecoder.h"

namespace zelvar::sim {

namespace {

bool isBlank(std::string_view line) {
    return line.find_first_not_of(" \t\r\n\f\v") == std::string_view::npos;
}

}  // namespace

std::vector<std::uint8_t> parseHexData(std::string_view data) {
    std::vector<std::uint8_t> bytes(kMaxPackageSize);
    bytes.resize(ParseLogData(data, bytes.data(), bytes.size()));
    return bytes;
}

std::optional<LogPackage> parseHexLogLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    LogPackage result;
    const LogLineParts parts = SplitLogLine(line);
    if (parts.portDigit < '1' || parts.portDigit > '4') return std::nullopt;
    result.package.transceiver = parts.portDigit - '0';
    if (!parts.stamp.empty()) result.stamp = HexToInt64(parts.stamp);
    result.package.bytes = parseHexData(parts.data);
    if (result.package.bytes.empty()) return std::nullopt;
    return result;
}

HexLog parseHexLog(std::string_view text, int transceivers) {
    HexLog log;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (isBlank(line)) continue;
        auto parsed = parseHexLogLine(line);
        if (parsed && parsed->package.transceiver <= transceivers) {
            log.packages.push_back(std::move(*parsed));
        } else {
            ++log.skippedLines;
        }
    }
    return log;
}

}  // namespace zelvar::sim
