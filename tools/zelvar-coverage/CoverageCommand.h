#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "CoverageExport.h"

namespace zelvar {

struct CoverageCommandOptions {
    CoverageOptions coverage;
    std::string settingsFile;             // empty: the user's settings store
    std::optional<int> gmtCorrection;     // given on the command line
    std::string outputFile;               // empty: stdout
    std::vector<std::string> logFiles;
    bool help = false;
};

// Parses the command line (without the program name). On a bad option it
// returns false and says why in error.
bool ParseCoverageOptions(const std::vector<std::string>& args, CoverageCommandOptions& options,
                          std::string& error);

// Writes the coverage export of the logs open as `logFds` (in the order of
// options.logFiles) to options.outputFile through a temporary file, or to
// `outFd`, and the counts as the last line of `err`. Returns the exit
// status: 0, or 2 after a one-line message when a log cannot be read, the
// output cannot be written, or the output is a log or the settings file at
// `settingsPath` itself.
int RunCoverage(const CoverageCommandOptions& options, const std::vector<int>& logFds, int outFd,
                std::ostream& err, const std::string& settingsPath);

}  // namespace zelvar
