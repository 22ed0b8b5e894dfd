#include "WebRequest.h"

#include <chrono>

#include "Arguments.h"

namespace zelvar {

namespace {

// Station names are at most 64 bytes in `stations`; a Group or a run's
// source is short text too. Longer texts match nothing and are refused.
constexpr std::size_t kTextMax = 64;

bool IsDigits(const std::string& text, std::size_t from, std::size_t count) {
    if (from + count > text.size()) return false;
    for (std::size_t i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    return true;
}

int Number(const std::string& text, std::size_t from, std::size_t count) {
    return ParseNumber<int>(std::string_view(text).substr(from, count)).value_or(-1);
}

}  // namespace

std::optional<std::string> Text(const std::string& value, const char* name, std::string& error) {
    if (value.empty() || value.size() > kTextMax || !IsPlainUtf8(value)) {
        error = std::string("parameter ") + name + ": 1 to 64 bytes of UTF-8 without control characters";
        return std::nullopt;
    }
    return value;
}

bool IsPlainQuery(std::string_view target) {
    const std::size_t mark = target.find('?');
    if (mark == std::string_view::npos) return true;
    std::string_view query = target.substr(mark + 1);
    for (;;) {
        const std::string_view pair = query.substr(0, query.find('&'));
        const std::size_t equals = pair.find('=');
        if (equals == 0 || equals == std::string_view::npos || pair.find('=', equals + 1) != std::string_view::npos) {
            return false;
        }
        if (pair.size() == query.size()) return true;
        query.remove_prefix(pair.size() + 1);
    }
}

bool IsPlainUtf8(const std::string& text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            if (c < 0x20 || c == 0x7F) return false;
            ++p;
            continue;
        }
        int more = 0;
        std::uint32_t code = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
            code = c & 0x1Fu;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            code = c & 0x0Fu;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            code = c & 0x07u;
        } else {
            return false;
        }
        if (end - p <= more) return false;
        for (int i = 1; i <= more; ++i) {
            if ((p[i] & 0xC0) != 0x80) return false;
            code = (code << 6) | (p[i] & 0x3Fu);
        }
        const bool overlong = (more == 2 && code < 0x800) || (more == 3 && code < 0x10000);
        const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
        if (overlong || surrogate || code > 0x10FFFF || (code >= 0x80 && code < 0xA0)) return false;
        p += more + 1;
    }
    return true;
}

bool IsUtcTime(const std::string& text) {
    // 2026-12-08T05:00:00[.123456](Z|+00:00)
    if (!IsDigits(text, 0, 4) || text.size() < 20 || text[4] != '-' || !IsDigits(text, 5, 2) || text[7] != '-' ||
        !IsDigits(text, 8, 2) || text[10] != 'T' || !IsDigits(text, 11, 2) || text[13] != ':' ||
        !IsDigits(text, 14, 2) || text[16] != ':' || !IsDigits(text, 17, 2)) {
        return false;
    }
    std::size_t at = 19;
    if (text[at] == '.') {
        std::size_t digits = 0;
        while (IsDigits(text, at + 1 + digits, 1)) ++digits;
        if (digits < 1 || digits > 6) return false;
        at += 1 + digits;
    }
    const std::string zone = text.substr(at);
    if (zone != "Z" && zone != "+00:00") return false;
    const int year = Number(text, 0, 4);
    const std::chrono::year_month_day day{std::chrono::year(year),
                                          std::chrono::month(static_cast<unsigned>(Number(text, 5, 2))),
                                          std::chrono::day(static_cast<unsigned>(Number(text, 8, 2)))};
    return year >= 1970 && day.ok() && Number(text, 11, 2) < 24 && Number(text, 14, 2) < 60 &&
           Number(text, 17, 2) < 60;
}

std::variant<HeardQuery, BadRequest> ParseHeardQuery(const std::multimap<std::string, std::string>& params) {
    HeardQuery query;
    std::string error;
    std::optional<std::string> beforeTime, beforeStation, beforeSource, beforeSeq;
    std::string previous;
    for (const auto& [name, value] : params) {
        if (name == previous) return BadRequest{"a parameter given twice"};
        previous = name;
        if (name == "limit") {
            const auto limit = ParseNumber<int>(value);
            if (!limit || *limit < 1 || *limit > kHeardPageMax) return BadRequest{"parameter limit: a number from 1 to 500"};
            query.limit = *limit;
        } else if (name == "station") {
            query.station = Text(value, "station", error);
        } else if (name == "group") {
            query.group = Text(value, "group", error);
        } else if (name == "id") {
            const auto id = ParseNumber<std::int32_t>(value);
            if (!id || *id < 0) return BadRequest{"parameter id: a number from 0 to 2147483647"};
            query.id = *id;
        } else if (name == "before_time") {
            if (!IsUtcTime(value)) return BadRequest{"parameter before_time: a UTC time, 2026-12-08T05:00:00Z"};
            beforeTime = value;
        } else if (name == "before_station") {
            beforeStation = Text(value, "before_station", error);
        } else if (name == "before_source") {
            beforeSource = Text(value, "before_source", error);
        } else if (name == "before_seq") {
            if (!ParseNumber<std::int64_t>(value)) return BadRequest{"parameter before_seq: a whole number"};
            beforeSeq = value;
        } else {
            return BadRequest{"unknown parameter"};
        }
        if (!error.empty()) return BadRequest{error};
    }
    const int given = beforeTime.has_value() + beforeStation.has_value() + beforeSource.has_value() + beforeSeq.has_value();
    if (given != 0 && given != 4) {
        return BadRequest{"before_time, before_station, before_source and before_seq go together"};
    }
    if (given == 4) {
        query.before = HeardQuery::Key{*beforeTime, *beforeStation, *beforeSource, *ParseNumber<std::int64_t>(*beforeSeq)};
    }
    return query;
}

}  // namespace zelvar
