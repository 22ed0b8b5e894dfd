#include "PackageMessage.h"

#include <nlohmann/json.hpp>

#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <limits>
#include <optional>

#include "CopyText.h"
#include "PackageJson.h"

namespace zelvar {

namespace {

using Json = nlohmann::json;

// The largest a `real` column takes, and the smallest above nought that it
// does not round to nought (which the server refuses), with room to spare.
constexpr double kMaxPdop = 1e30;
constexpr double kMinPdop = 1e-30;

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

// "^[0-9A-F]{2}( [0-9A-F]{2})*$"
bool hexText(std::string_view text) {
    if (text.size() % 3 != 2) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i % 3 == 2 ? text[i] != ' ' : !isHexDigit(text[i])) return false;
    }
    return true;
}

// Digits where the shape has 'd', the shape's own characters elsewhere.
bool shaped(std::string_view text, std::string_view shape) {
    if (text.size() != shape.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (shape[i] == 'd' ? text[i] < '0' || text[i] > '9' : text[i] != shape[i]) return false;
    }
    return true;
}

int number(std::string_view text, std::size_t at, std::size_t count) {
    int n = 0;
    for (std::size_t i = at; i < at + count; ++i) n = n * 10 + (text[i] - '0');
    return n;
}

// "dddd-dd-ddTdd:dd:dd", milliseconds ".ddd" if any, then the offset
// "+dd:dd" or "-dd:dd", with ":dd" seconds if any; a real date and time of
// day, and an offset that some zone has. Its milliseconds since 1970 UTC. Checked
// by hand: a regular expression took a good share of the collector's time.
std::optional<std::int64_t> isoTime(std::string_view text) {
    constexpr std::string_view kDateTime = "dddd-dd-ddTdd:dd:dd";
    if (!shaped(text.substr(0, kDateTime.size()), kDateTime)) return std::nullopt;
    const std::chrono::year_month_day date{std::chrono::year(number(text, 0, 4)),
                                           std::chrono::month(static_cast<unsigned>(number(text, 5, 2))),
                                           std::chrono::day(static_cast<unsigned>(number(text, 8, 2)))};
    const int hour = number(text, 11, 2);
    const int minute = number(text, 14, 2);
    const int second = number(text, 17, 2);
    if (!date.ok() || date.year() < std::chrono::year(1970) || hour > 23 || minute > 59 || second > 59) {
        return std::nullopt;
    }
    text.remove_prefix(kDateTime.size());
    int millis = 0;
    if (text.starts_with('.')) {
        if (!shaped(text.substr(0, 4), ".ddd")) return std::nullopt;
        millis = number(text, 1, 3);
        text.remove_prefix(4);
    }
    if (!text.starts_with('+') && !text.starts_with('-')) return std::nullopt;
    const int sign = text.front() == '+' ? 1 : -1;
    text.remove_prefix(1);
    if (!shaped(text, "dd:dd") && !shaped(text, "dd:dd:dd")) return std::nullopt;
    const int offsetSeconds = text.size() > 5 ? number(text, 6, 2) : 0;
    const int offset = number(text, 0, 2) * 3600 + number(text, 3, 2) * 60 + offsetSeconds;
    // No zone is further from UTC than 14 hours.
    if (number(text, 3, 2) > 59 || offsetSeconds > 59 || offset > 14 * 3600) return std::nullopt;
    const std::int64_t days = std::chrono::sys_days(date).time_since_epoch().count();
    return (days * 86400 + hour * 3600 + minute * 60 + second - sign * offset) * 1000 + millis;
}

// What the station draws at each start: 32 lower-case hex digits.
bool runId(std::string_view text) {
    return text.size() == 32 && text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

bool integerIn(const Json& value, std::int64_t low, std::int64_t high) {
    if (!value.is_number_integer()) return false;
    const std::int64_t n = value.get<std::int64_t>();
    return n >= low && n <= high;
}

class RowWriter {
public:
    explicit RowWriter(std::string& row) : row_(row) {}
    void null() { row_.append("\\N\t"); }
    void text(std::string_view value) {
        AppendCopyText(row_, value);
        row_ += '\t';
    }
    // A number or a text as the column takes it; absent values are null.
    void value(const Json* value) {
        if (value == nullptr || value->is_null()) {
            null();
        } else if (value->is_string()) {
            text(value->get_ref<const std::string&>());
        } else {
            text(value->dump());
        }
    }

private:
    std::string& row_;
};

}  // namespace

std::uint64_t PackageFloor(std::string_view value, std::uint64_t seq) {
    std::uint64_t floor = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), floor);
    return error == std::errc() && end == value.data() + value.size() && floor <= seq ? floor : 0;
}

bool PackageMessageRow(std::string_view json, std::string_view topicStation, PackageMessage& message,
                       std::string& row, std::string& error) {
    if (json.size() > kMaxPackageBytes) {
        error = "over 64 KiB";
        return false;
    }
    // Invalid UTF-8 is a parse error.
    const Json object = Json::parse(json, nullptr, false);
    if (!object.is_object()) {
        error = "not a JSON object";
        return false;
    }
    static const std::array<const char*, 18> kKeys = {
        "station", "source", "seq", "port", "stamp", "time", "type", "call", "group", "id",
        "clr", "enc", "ptt", "dbm", "lat", "lon", "pdop", "hex"};
    for (const auto& [key, value] : object.items()) {
        bool known = false;
        for (const char* name : kKeys) known = known || key == name;
        if (!known) {
            error = "unknown key";
            return false;
        }
        // PostgreSQL takes no NUL in a text.
        if (value.is_string() && value.get_ref<const std::string&>().find('\0') != std::string::npos) {
            error = "NUL in " + key;
            return false;
        }
    }
    auto get = [&](const char* key) -> const Json* {
        const auto found = object.find(key);
        return found == object.end() ? nullptr : &*found;
    };
    const Json* station = get("station");
    const Json* source = get("source");
    const Json* seq = get("seq");
    const Json* port = get("port");
    const Json* stamp = get("stamp");
    const Json* time = get("time");
    const Json* type = get("type");
    const Json* hex = get("hex");
    // Known even of a package that is refused: its run is told it is done with.
    constexpr auto kMaxSeq = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    const bool sourceAndSeq = source != nullptr && source->is_string() &&
                              runId(source->get_ref<const std::string&>()) && seq != nullptr &&
                              seq->is_number_unsigned() && seq->get<std::uint64_t>() <= kMaxSeq;
    if (sourceAndSeq) {
        message.source = source->get<std::string>();
        message.seq = seq->get<std::uint64_t>();
    }
    std::optional<std::int64_t> millis;
    if (time != nullptr && time->is_string()) millis = isoTime(time->get_ref<const std::string&>());
    if (station == nullptr || !station->is_string() || !ValidStationName(station->get<std::string>())) {
        error = "no valid station";
    } else if (station->get_ref<const std::string&>() != topicStation) {
        error = "station differs from the topic's";
    } else if (!sourceAndSeq) {
        error = "no valid source and seq";
    } else if (port == nullptr || !integerIn(*port, 1, 4)) {
        error = "no valid port";
    } else if (stamp == nullptr || !(stamp->is_null() || (stamp->is_string() &&
                                                          stamp->get_ref<const std::string&>().size() >= 8 &&
                                                          stamp->get_ref<const std::string&>().size() <= 9))) {
        error = "no valid stamp";
    } else if (time == nullptr || !(time->is_null() || millis)) {
        error = "no valid time";
    } else if (type == nullptr ||
               !(type->is_null() || (type->is_string() && type->get_ref<const std::string&>().size() == 2 &&
                                     isHexDigit(type->get_ref<const std::string&>()[0]) &&
                                     isHexDigit(type->get_ref<const std::string&>()[1])))) {
        error = "no valid type";
    } else if (hex == nullptr || !hex->is_string() || !hexText(hex->get<std::string>())) {
        error = "no valid hex";
    }
    const Json* call = get("call");
    const Json* group = get("group");
    const Json* id = get("id");
    const Json* clr = get("clr");
    const Json* enc = get("enc");
    const Json* ptt = get("ptt");
    const Json* dbm = get("dbm");
    const Json* lat = get("lat");
    const Json* lon = get("lon");
    const Json* pdop = get("pdop");
    if (!error.empty()) {
    } else if (call != nullptr &&
               (!call->is_string() || group == nullptr || id == nullptr || clr == nullptr ||
                enc == nullptr || ptt == nullptr || dbm == nullptr ||
                !(integerIn(*group, 0, 16777214) || *group == "For All") || !integerIn(*id, 0, 16777215) ||
                !integerIn(*clr, 0, 15) || !(integerIn(*enc, 0, 255) || *enc == "On" || *enc == "off") ||
                !(integerIn(*ptt, 0, 1) || *ptt == "-"))) {
        error = "no valid decoded line";
    } else if (call == nullptr && (group || id || clr || enc || ptt)) {
        error = "decoded fields without a call";
    } else if (dbm != nullptr &&
               // Every number a level in the table's numeric column too.
               !(integerIn(*dbm, -999'999'999, 999'999'999) || *dbm == "Max" || *dbm == "-")) {
        error = "no valid dbm";
    } else if ((lat == nullptr) != (lon == nullptr) || (lat != nullptr && (pdop == nullptr || dbm == nullptr))) {
        error = "incomplete position";
    } else if (lat != nullptr && (!lat->is_number() || !lon->is_number() || std::abs(lat->get<double>()) > 90 ||
                                  std::abs(lon->get<double>()) > 180 ||
                                  !((pdop->is_number() && (pdop->get<double>() == 0 ||
                                                           (pdop->get<double>() >= kMinPdop &&
                                                            pdop->get<double>() <= kMaxPdop))) ||
                                    *pdop == "Err"))) {
        error = "no valid position";
    }
    if (!error.empty()) return false;

    message.station = station->get<std::string>();
    if (millis) {
        // Times before 1970 UTC (by an offset east) round down as well.
        message.timeMs = *millis;
        message.time = (*millis - (*millis < 0 ? 999 : 0)) / 1000;
    }
    RowWriter out(row);
    out.text(message.station);
    out.text(message.source);
    out.value(seq);
    out.value(time);
    out.value(port);
    out.value(stamp);
    out.value(type);
    out.value(call);
    out.value(group);
    out.value(id);
    out.value(clr);
    out.value(enc);
    out.value(ptt);
    out.value(dbm);
    out.value(lat);
    out.value(lon);
    out.value(pdop != nullptr && pdop->is_number() ? pdop : nullptr);  // "Err" is no value
    AppendCopyText(row, hex->get_ref<const std::string&>());
    row += '\n';
    return true;
}

}  // namespace zelvar
