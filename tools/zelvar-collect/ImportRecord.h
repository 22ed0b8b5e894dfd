#pragma once

#include <cstdint>
#include <string>

#include "PgConnection.h"

namespace zelvar {

// The row of the table `imports` for one log of one station: the zone its
// stamps were read in, and whether its import finished.
class ImportRecord {
public:
    // Connects as PackageStore does. Throws StoreError.
    ImportRecord(const std::string& conninfo, std::string source, std::string station);

    // Starts the import, or starts it again, unfinished, in `zone`. A log
    // imported before in another zone is refused with a StoreError naming
    // that zone, unless `anew`.
    void begin(const std::string& zone, const std::string& file, bool anew);
    // The import stored every one of its `packages`.
    void finish(std::uint64_t packages);

private:
    PgConnection conn_;
    std::string source_;
    std::string station_;
};

}  // namespace zelvar
