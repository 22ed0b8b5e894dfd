#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zelvar {

// A live package as it arrived on <prefix>/<station>/packages, checked against
// the JSON form.
struct PackageMessage {
    std::string station;
    std::string source;
    std::uint64_t seq = 0;
};

// Checks `json` against the JSON form of a package (the keys, their types and
// ranges; live packages carry source and seq) and that its station is
// `topicStation`; appends its row in COPY text form (PackageStore's columns)
// to `row`. False with the reason in `error`, and `row` as it was; the
// source and seq are set also then when the object has them.
bool PackageMessageRow(std::string_view json, std::string_view topicStation, PackageMessage& message,
                       std::string& row, std::string& error);

}  // namespace zelvar
