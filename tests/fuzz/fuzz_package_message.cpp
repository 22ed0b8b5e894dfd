// Feeds the collector's check of a live package with what any client of the
// broker may send: the input is the floor property's value, a line break and
// the message. Whatever it accepts must be a row the table takes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

#include "PackageMessage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t line = input.find('\n');
    if (line == std::string_view::npos) return 0;
    zelvar::PackageMessage message;
    std::string row = "kept";
    std::string error;
    const bool ok = zelvar::PackageMessageRow(input.substr(line + 1), "alpha", message, row, error);
    const std::uint64_t floor = zelvar::PackageFloor(input.substr(0, line), message.seq);
    if (floor > message.seq) std::abort();
    if (!message.source.empty() &&
        (message.source.size() != 32 || message.seq > std::numeric_limits<std::int64_t>::max())) {
        std::abort();
    }
    if (!ok) {
        if (error.empty() || row != "kept") std::abort();
        return 0;
    }
    // One line of eighteen columns, with no byte PostgreSQL refuses in a text.
    std::size_t tabs = 0;
    for (const char c : row) {
        if (c == '\t') ++tabs;
        if (c == '\0') std::abort();
    }
    if (tabs != 17 || row.back() != '\n' || row.find('\n') != row.size() - 1 ||
        message.station != "alpha") {
        std::abort();
    }
    return 0;
}
