#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zelvar::gpssim {

struct GpsSimOptions {
    std::uint64_t seed = 1;
    double startLat = 48.1173;  // degrees, north positive
    double startLon = 11.5167;  // degrees, east positive
    // First GPS date and time (ddmmyy, hhmmss); the system's UTC when absent.
    std::optional<std::string> utcDate, utcTime;
    std::string file;           // sentences to send instead of the walk
    bool loop = false;          // start the file again at its end
    bool voidFix = false;       // status V in every GPRMC
    bool repeatTime = false;    // every GPRMC carries the first time field
    bool split = false;         // each sentence in three writes
    bool together = false;      // GPRMC and GPGSA in one write
    std::optional<double> unplugAfter;  // seconds, then the master is closed
    bool waitForStart = false;          // nothing is sent before SIGUSR1
    double bytesPerSecond = 480.0;      // 4800 bit/s with start and stop bits
    // From one second's sentences to the next; a test shortens it, so that
    // it waits for the sentences rather than for the clock.
    std::uint32_t intervalMs = 1000;
    bool help = false;
};

struct GpsSimParse {
    GpsSimOptions options;
    std::string error;  // one line, empty when the arguments are fine
};

// Arguments without the program name; "--name value" and "--name=value".
GpsSimParse parseGpsSimArguments(const std::vector<std::string>& arguments);

std::string gpsSimHelp();

}  // namespace zelvar::gpssim
