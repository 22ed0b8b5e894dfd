#pragma once

#include <string>
#include <vector>

namespace zelvar::gpssim {

// The sentences of a file given with --file, one a line, grouped by second:
// each GPRMC starts a new one. Blank lines are left out. The file may be a
// FIFO; it is read whole, up to the program's limit for a whole file.
// Throws WholeFileError.
std::vector<std::vector<std::string>> ReadSentenceSeconds(const std::string& path);

}  // namespace zelvar::gpssim
