#pragma once

#include <cstdint>
#include <string_view>

namespace zelvar {

// The signal level of a report as the log gives it.
enum class DbmForm {
    Number,  // a reading in dBm
    Max,     // above the port's ceiling
    Dash,    // "-": no reading since the port was reset
    Empty,   // no reading at all
};

// One signal report taken with the operator's own position. The texts point
// into the line it was read from.
struct CoverageReport {
    int port = 0;                // 1 to 4
    char time[21] = {};          // "2026-12-09T10:15:02Z", UTC
    std::int64_t lat = 0;        // micro-degrees, south negative
    std::int64_t lon = 0;        // micro-degrees, west negative
    bool pdopKnown = false;      // false for "Err"
    std::string_view pdopText;   // "1.5", or "Err"
    double pdop = 0;
    DbmForm dbmForm = DbmForm::Empty;
    int dbm = 0;                 // for DbmForm::Number
};

enum class CoverageLineKind {
    Other,            // header, title, end marker, decoded line, blank: not a report
    WithPosition,     // an own-position line, read into the report
    WithoutPosition,  // a signal report written without a position
    Unreadable,       // looks like none of the log's lines
};

// Reads one text-log line (without its line end). The date of an
// own-position line is the receiver's UTC date and its hour the UTC hour
// shifted by `gmtCorrection` (wrapped into 0 to 23, the date left alone),
// so the hour shifted back on the same date is the exact UTC time.
CoverageLineKind ReadCoverageLine(std::string_view line, int gmtCorrection,
                                  CoverageReport& report);

// The port of a signal-report line, read only as far as its first field: 0
// when that is no port. Lets a pass over one port skip the others cheaply.
int CoverageLinePort(std::string_view line);

}  // namespace zelvar
