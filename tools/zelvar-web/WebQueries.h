#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>

#include "WebRequest.h"

namespace zelvar {

// A time range asked for, from (included) to (excluded), both UTC times as
// IsUtcTime reads them, to after from and at most kRangeDaysMax days on.
struct TimeRange {
    std::string from, to;
    std::int64_t seconds = 0;
};

constexpr int kRangeDaysMax = 31;
// A chart per minute covers at most this many days (the page's points).
constexpr int kMinuteDaysMax = 2;

// Packages and calls per bucket and station, in the viewer's zone: an IANA
// name ("Europe/Berlin", checked by the database) or an offset ("+05:30").
struct ActivityQuery {
    TimeRange range;
    bool perMinute = false;
    std::optional<std::string> zone;    // a name
    std::optional<std::string> offset;  // "+05:30", as an interval east of UTC
    std::optional<std::string> station;
};

// The busiest Groups and IDs of a range.
struct BusiestQuery {
    TimeRange range;
    std::optional<std::string> station;
};

// Signal reports with an own position, binned on a grid over `box` (south,
// west, north, east in degrees) or over the extent of the reports.
struct MapQuery {
    TimeRange range;
    std::optional<std::string> station;
    std::optional<std::array<double, 4>> box;
};

// The calls of a range as the last heard filter narrows them, as a file.
struct ExportQuery {
    TimeRange range;
    bool geojson = false;
    std::optional<std::string> station, group;
    std::optional<std::int32_t> id;
};

std::variant<ActivityQuery, BadRequest> ParseActivityQuery(const std::multimap<std::string, std::string>& params);
std::variant<BusiestQuery, BadRequest> ParseBusiestQuery(const std::multimap<std::string, std::string>& params);
std::variant<MapQuery, BadRequest> ParseMapQuery(const std::multimap<std::string, std::string>& params);
std::variant<ExportQuery, BadRequest> ParseExportQuery(const std::multimap<std::string, std::string>& params);

}  // namespace zelvar
