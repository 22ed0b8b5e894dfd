#include "WebQueries.h"

#include <chrono>
#include <cmath>
#include <set>

#include "Arguments.h"

namespace zelvar {

namespace {

// The seconds since 1970 of a time IsUtcTime accepts.
std::int64_t UtcSeconds(const std::string& text) {
    using namespace std::chrono;
    const auto number = [&](std::size_t from, std::size_t count) {
        return ParseNumber<int>(std::string_view(text).substr(from, count)).value_or(0);
    };
    const sys_days day = year_month_day{year(number(0, 4)), month(static_cast<unsigned>(number(5, 2))),
                                        std::chrono::day(static_cast<unsigned>(number(8, 2)))};
    return (day.time_since_epoch() + hours(number(11, 2)) + minutes(number(14, 2)) + seconds(number(17, 2))) /
           seconds(1);
}

// The parameters by name, each once and each of `known`.
std::variant<std::map<std::string, std::string>, BadRequest> Named(
    const std::multimap<std::string, std::string>& params, const std::set<std::string>& known) {
    std::map<std::string, std::string> named;
    for (const auto& [name, value] : params) {
        if (known.count(name) == 0) return BadRequest{"unknown parameter"};
        if (!named.emplace(name, value).second) return BadRequest{"a parameter given twice"};
    }
    return named;
}

std::optional<BadRequest> ParseRange(const std::map<std::string, std::string>& named, TimeRange& range) {
    const auto from = named.find("from");
    const auto to = named.find("to");
    if (from == named.end() || to == named.end()) return BadRequest{"parameters from and to are needed"};
    if (!IsUtcTime(from->second) || !IsUtcTime(to->second)) {
        return BadRequest{"parameters from and to: UTC times, 2026-12-08T05:00:00Z"};
    }
    range = {from->second, to->second, UtcSeconds(to->second) - UtcSeconds(from->second)};
    if (range.seconds <= 0 || range.seconds > std::int64_t{kRangeDaysMax} * 86400) {
        return BadRequest{"parameter to: after from, by at most 31 days"};
    }
    return std::nullopt;
}

std::optional<BadRequest> ParseStation(const std::map<std::string, std::string>& named, const char* name,
                                       std::optional<std::string>& text) {
    const auto found = named.find(name);
    if (found == named.end()) return std::nullopt;
    std::string error;
    text = Text(found->second, name, error);
    if (!text) return BadRequest{error};
    return std::nullopt;
}

// "+05:30" or "-03:00": hours to 14, minutes 00, 15, 30 or 45.
bool IsOffset(const std::string& text) {
    if (text.size() != 6 || (text[0] != '+' && text[0] != '-') || text[3] != ':') return false;
    for (const std::size_t at : {1U, 2U, 4U, 5U}) {
        if (text[at] < '0' || text[at] > '9') return false;
    }
    const int hours = (text[1] - '0') * 10 + (text[2] - '0');
    const int minutes = (text[4] - '0') * 10 + (text[5] - '0');
    return hours <= 14 && minutes % 15 == 0 && minutes < 60;
}

// A zone's name as the time zone database spells them: letters, digits,
// '/', '_', '+', '-'; whether it exists the database says.
bool IsZoneName(const std::string& text) {
    if (text.empty() || text.size() > 64 || text.front() == '/' || text.find("..") != std::string::npos) return false;
    for (const char c : text) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                           c == '/' || c == '_' || c == '+' || c == '-';
        if (!plain) return false;
    }
    return true;
}

template <typename Query>
using Parsed = std::variant<Query, BadRequest>;

}  // namespace

Parsed<ActivityQuery> ParseActivityQuery(const std::multimap<std::string, std::string>& params) {
    auto named = Named(params, {"from", "to", "step", "zone", "station"});
    if (auto* bad = std::get_if<BadRequest>(&named)) return *bad;
    const auto& p = std::get<0>(named);
    ActivityQuery query;
    if (auto bad = ParseRange(p, query.range)) return *bad;
    if (auto bad = ParseStation(p, "station", query.station)) return *bad;
    const auto step = p.find("step");
    if (step != p.end()) {
        if (step->second != "minute" && step->second != "hour") return BadRequest{"parameter step: minute or hour"};
        query.perMinute = step->second == "minute";
    }
    if (query.perMinute && query.range.seconds > kMinuteDaysMax * 86400) {
        return BadRequest{"step minute: a range of at most 2 days"};
    }
    const auto zone = p.find("zone");
    if (zone == p.end()) return BadRequest{"parameter zone is needed: Europe/Berlin or +02:00"};
    if (IsOffset(zone->second)) {
        query.offset = zone->second;
    } else if (IsZoneName(zone->second)) {
        query.zone = zone->second;
    } else {
        return BadRequest{"parameter zone: a time zone such as Europe/Berlin or an offset such as +02:00"};
    }
    return query;
}

Parsed<BusiestQuery> ParseBusiestQuery(const std::multimap<std::string, std::string>& params) {
    auto named = Named(params, {"from", "to", "station"});
    if (auto* bad = std::get_if<BadRequest>(&named)) return *bad;
    const auto& p = std::get<0>(named);
    BusiestQuery query;
    if (auto bad = ParseRange(p, query.range)) return *bad;
    if (auto bad = ParseStation(p, "station", query.station)) return *bad;
    return query;
}

Parsed<MapQuery> ParseMapQuery(const std::multimap<std::string, std::string>& params) {
    auto named = Named(params, {"from", "to", "station", "south", "west", "north", "east"});
    if (auto* bad = std::get_if<BadRequest>(&named)) return *bad;
    const auto& p = std::get<0>(named);
    MapQuery query;
    if (auto bad = ParseRange(p, query.range)) return *bad;
    if (auto bad = ParseStation(p, "station", query.station)) return *bad;
    const char* sides[] = {"south", "west", "north", "east"};
    int given = 0;
    std::array<double, 4> box{};
    for (int i = 0; i < 4; ++i) {
        const auto found = p.find(sides[i]);
        if (found == p.end()) continue;
        ++given;
        const auto degrees = ParseNumber<double>(found->second);
        const double bound = i % 2 == 0 ? 90 : 180;
        if (!degrees || !std::isfinite(*degrees) || std::abs(*degrees) > bound) {
            return BadRequest{"parameters south, west, north, east: degrees, latitudes to 90, longitudes to 180"};
        }
        box[static_cast<std::size_t>(i)] = *degrees;
    }
    if (given != 0 && given != 4) return BadRequest{"south, west, north and east go together"};
    if (given == 4) {
        if (box[0] >= box[2] || box[1] >= box[3]) return BadRequest{"south below north, west left of east"};
        query.box = box;
    }
    return query;
}

Parsed<ExportQuery> ParseExportQuery(const std::multimap<std::string, std::string>& params) {
    auto named = Named(params, {"from", "to", "format", "station", "group", "id"});
    if (auto* bad = std::get_if<BadRequest>(&named)) return *bad;
    const auto& p = std::get<0>(named);
    ExportQuery query;
    if (auto bad = ParseRange(p, query.range)) return *bad;
    if (auto bad = ParseStation(p, "station", query.station)) return *bad;
    if (auto bad = ParseStation(p, "group", query.group)) return *bad;
    const auto format = p.find("format");
    if (format == p.end() || (format->second != "csv" && format->second != "geojson")) {
        return BadRequest{"parameter format: csv or geojson"};
    }
    query.geojson = format->second == "geojson";
    const auto id = p.find("id");
    if (id != p.end()) {
        const auto number = ParseNumber<std::int32_t>(id->second);
        if (!number || *number < 0) return BadRequest{"parameter id: a number from 0 to 2147483647"};
        query.id = *number;
    }
    return query;
}

}  // namespace zelvar
