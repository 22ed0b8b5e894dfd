#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "LogLineReader.h"
#include "OfflineDecoder.h"
#include "PackageDecoder.h"
#include "Settings.h"

namespace zelvar {

// A saved log decoded the way the main window's File > Decode does with the
// GPS port closed, read as it is decoded: a log of any size needs memory for
// a block and its longest line, and a line longer than kLongestLogLine is
// skipped.
class SavedLogDecoding {
public:
    // Reads from `logFd`, which stays open and owned by the caller.
    SavedLogDecoding(int logFd, const Settings& settings, DecoderOutput& output);
    SavedLogDecoding(const SavedLogDecoding&) = delete;
    SavedLogDecoding& operator=(const SavedLogDecoding&) = delete;

    // Decodes the whole log under `title`. Throws std::system_error when the
    // log cannot be read.
    void run(std::string_view title);

    // While a package is decoded, the line it stands on, counting the
    // overlong lines skipped before it.
    std::uint64_t lineNumber() const { return offline_.linesRead() + lines_.skippedLines(); }
    std::size_t skippedLines() const { return lines_.skippedLines(); }

private:
    DisplayMirrors mirrors_;
    GpsState gps_;  // a saved log has no own position
    PackageDecoder decoder_;
    OfflineDecoder offline_;
    LogLineReader lines_;
};

// The ISO local time of a package's stamp; packages of one stamp come in
// runs, so the time is made once per stamp.
class StampIsoTime {
public:
    // Empty for an empty stamp or one outside the years 1 to 9999.
    const std::string& of(std::string_view stamp);

private:
    std::string stamp_;
    std::string time_;
};

}  // namespace zelvar
