#pragma once

#include <cstdint>
#include <string>

#include "Settings.h"

namespace zelvar {

class PackageStore;

struct ImportResult {
    std::uint64_t packages = 0;  // taken by the decoder: the H count
    std::uint64_t stored = 0;    // new to the table
    std::uint64_t skippedLines = 0;
};

// SHA-256 of the open file `fd` from its start, in lowercase hex: the source
// of every package imported from it. Throws std::system_error.
std::string FileSha256(int fd);

// Decodes the saved log open as `logFd` as zelvar-decode does (GPS port
// closed) and stores one row per package the decoder takes: source the
// log's SHA-256, seq its line number, time the stamp's local time. Throws
// StoreError and std::system_error.
ImportResult ImportLog(int logFd, const std::string& station, const Settings& settings,
                       PackageStore& store);

}  // namespace zelvar
