#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zelvar {

// A live package as it arrived on <prefix>/<station>/packages, checked against
// the JSON form.
struct PackageMessage {
    std::string station;
    std::string source;
    std::uint64_t seq = 0;
    std::optional<std::int64_t> time;  // seconds since 1970 UTC, when it has one
    std::int64_t timeMs = 0;           // the same in milliseconds, with those the message gives
};

// A message on a packages topic is at most this long.
constexpr std::size_t kMaxPackageBytes = 64 * 1024;

// Checks `json` against the JSON form of a package (the keys, their types and
// ranges as the table takes them; live packages carry the run id and seq)
// and that its station is `topicStation`; appends its row in COPY text form (PackageStore's columns)
// to `row`. False with the reason in `error`, and `row` as it was; the
// source and seq are set also then when the object has valid ones.
bool PackageMessageRow(std::string_view json, std::string_view topicStation, PackageMessage& message,
                       std::string& row, std::string& error);

// The value of a package's floor property as the collector takes it: the
// lowest seq its station still holds, so at most the package's own seq; 0
// (no floor) for anything else.
std::uint64_t PackageFloor(std::string_view value, std::uint64_t seq);

}  // namespace zelvar
