#pragma once

#include <cstdint>
#include <string>

namespace zelvar {

struct ReadmitCounts {
    std::uint64_t readmitted = 0;
    std::uint64_t kept = 0;  // no longer valid packages: they stay in `refused`
};

// Stores the packages that the service refused for their time (of `station`,
// or of all when it is empty), whatever their age, and takes them out of
// `refused`. Throws StoreError.
ReadmitCounts Readmit(const std::string& conninfo, const std::string& station);

}  // namespace zelvar
