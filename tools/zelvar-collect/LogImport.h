#pragma once

#include <cstdint>
#include <string>

#include "Settings.h"

namespace zelvar {

class PackageStore;

class LogZone;

struct ImportResult {
    std::uint64_t packages = 0;  // taken by the decoder: the H count
    std::uint64_t stored = 0;    // new to the table
    std::uint64_t skippedLines = 0;
};

struct ImportRequest {
    std::string conninfo;  // for the table `imports`
    std::string file;      // the log's name as given
    std::string station;
    bool zoneAnew = false;  // read it in another zone than before
};

// SHA-256 of the open file `fd` from its start, in lowercase hex: the source
// of every package imported from it. Throws std::system_error.
std::string FileSha256(int fd);

// Whether the open file `fd` has, from its start, a line of a saved hex log:
// bytes in hexadecimal pairs, after "PORT$STAMP<TAB>" or alone.
bool HasHexLogLine(int fd);

// Decodes the saved log open as `logFd` as zelvar-decode does (GPS port
// closed) and stores one row per package the decoder takes: source the
// log's SHA-256, seq its line number, time the stamp read in `zone`. Kept in
// the table `imports` as begun, and as finished once all is stored. A file
// without a line of a hex log is refused. When the database fails meanwhile,
// the rest is decoded only to be counted, and the StoreError says how many
// of the log's packages are stored. Throws StoreError and std::system_error.
ImportResult ImportLog(int logFd, const ImportRequest& request, LogZone& zone, const Settings& settings,
                       PackageStore& store);

}  // namespace zelvar
