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
    bool json = false;        // the JSON form of every package instead of the text log
    std::string station;      // the JSON form's station; empty: the host name
    bool help = false;
};

// Parses the command line (without the program name). On a bad option it
// returns false and says why in error.
bool ParseDecodeOptions(const std::vector<std::string>& args, DecodeOptions& options,
                        std::string& error);

// The host name, as the default station of the JSON form.
std::string HostStationName();

// Decodes the saved log open as `logFd` the way the main window's File >
// Decode does, with the GPS port closed, reading and writing as it goes: the
// text-log lines (with options.json, the JSON form of every package) to
// `outFd` (LF after each), the hex lines to the file
// options.hexOutFile when given (CR LF after each), the counts text as the
// last line of `err`. Returns the exit status: 0, or 2 after a one-line
// message when the log cannot be read, an output cannot be written, or an
// output is the log file or the settings file at `settingsPath` itself.
int RunDecode(const DecodeOptions& options, const Settings& settings, int logFd, int outFd,
              std::ostream& err, const std::string& settingsPath);

}  // namespace zelvar
