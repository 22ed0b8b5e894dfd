#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zelvar::gpssim {

// The sentences of a file given with --file, one a line, grouped by second:
// each GPRMC starts a new one. Blank lines are left out. Nothing when the
// file cannot be read.
std::optional<std::vector<std::vector<std::string>>> ReadSentenceSeconds(const std::string& path);

}  // namespace zelvar::gpssim
