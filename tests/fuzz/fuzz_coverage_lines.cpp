// Feeds arbitrary bytes to the coverage tool as a saved text log: every line
// through the reader of own-position lines (times, hemispheres, PDOP, dBm),
// with the time-zone correction taken from the input, and the whole log
// through the export in every format and through the filters.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "CoverageExport.h"
#include "CoverageLine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const int gmtCorrection = static_cast<std::int8_t>(data[0]);
    const auto format = static_cast<zelvar::CoverageFormat>(data[1] % 4);
    const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);

    zelvar::TextCoverageSource log(text);
    std::string_view line;
    while (log.next(line)) {
        zelvar::CoverageReport report;
        zelvar::ReadCoverageLine(line, gmtCorrection, report);
        zelvar::CoverageLinePort(line);
    }
    log.rewind();
    zelvar::HasOwnPositionLine(log, gmtCorrection);

    zelvar::CoverageOptions options;
    options.format = format;
    options.gmtCorrection = gmtCorrection;
    options.ports = {1 + data[1] / 4 % 4};
    options.minDbm = -90;
    options.maxPdop = 5;
    std::size_t written = 0;
    const std::vector<zelvar::CoverageSource*> logs = {&log};
    zelvar::WriteCoverage(logs, options, [&](std::string_view piece) { written += piece.size(); });
    return 0;
}
