#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace zelvar {

// The newest decoded calls, newest first, as the API's /api/heard asks for
// them. Every value has been checked: it goes to the server as a parameter.
struct HeardQuery {
    int limit = 100;
    // The keyset of the last row of the page before: rows older than it.
    struct Key {
        std::string time;  // ISO 8601 in UTC, as the rows give it
        std::string station;
        std::string source;
        std::int64_t seq = 0;
    };
    std::optional<Key> before;
    std::optional<std::string> station;
    std::optional<std::string> group;
    std::optional<std::int32_t> id;
};

// Why a request was refused, said to the client with a 400.
struct BadRequest {
    std::string message;
};

// Most rows one page of /api/heard gives.
constexpr int kHeardPageMax = 500;

// The query string's parameters (decoded, each name once) checked for
// /api/heard: known names only, numbers in range, texts of valid UTF-8
// without control characters and bounded in length, times that exist.
std::variant<HeardQuery, BadRequest> ParseHeardQuery(const std::multimap<std::string, std::string>& params);

// The request target's query, raw, as NAME=VALUE pairs joined by '&', each
// with exactly one '=' and a name: httplib would read "id=1 OR 1=1" as "id=1".
bool IsPlainQuery(std::string_view target);

// `value` as a short text parameter (a station, a Group): 1 to 64 bytes of
// IsPlainUtf8; otherwise `error` says why of the parameter `name`.
std::optional<std::string> Text(const std::string& value, const char* name, std::string& error);

// Whole and valid UTF-8 (no overlong forms, no surrogates), without control characters.
bool IsPlainUtf8(const std::string& text);

// A time as "YYYY-MM-DDTHH:MM:SS[.ffffff]" and "Z" or "+00:00", of a day
// that exists, in the years 1970 to 9999.
bool IsUtcTime(const std::string& text);

}  // namespace zelvar
