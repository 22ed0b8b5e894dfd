#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "Settings.h"

namespace zelvar {

struct DecodeOptions {
    std::string settingsFile;  // empty: the user's settings store
    std::string hexOutFile;    // empty: no hex output
    std::string logFile;
    bool help = false;
};

// Parses the command line (without the program name). On a bad option it
// returns false and says why in error.
bool ParseDecodeOptions(const std::vector<std::string>& args, DecodeOptions& options,
                        std::string& error);

// Decodes a saved log the way the main window's File > Decode does, with the
// GPS port closed: the text-log lines to `out` (LF after each), the hex lines
// to `hexOut` when given (CR LF after each), the counts text as the last line
// of `err`. Returns the exit status: 0, or 2 when the log cannot be read.
int RunDecode(const DecodeOptions& options, const Settings& settings, std::ostream& out,
              std::ostream* hexOut, std::ostream& err);

}  // namespace zelvar
