#include "GpsSimOptions.h"

#include <cmath>
#include <string_view>

#include "Arguments.h"
#include "DateTime.h"

namespace zelvar::gpssim {

namespace {

bool sixDigits(const std::string& text) {
    return text.size() == 6 && text.find_first_not_of("0123456789") == std::string::npos;
}

// The two-digit number at `at` of six digits.
int twoDigits(const std::string& text, std::size_t at) {
    return (text[at] - '0') * 10 + (text[at + 1] - '0');
}

// DDMMYY of a day that exists, in the years 2000 to 2099 that GPRMC's
// two-digit year stands for here.
bool realDate(const std::string& text) {
    if (!sixDigits(text)) return false;
    const int day = twoDigits(text, 0);
    const int month = twoDigits(text, 2);
    const int year = 2000 + twoDigits(text, 4);
    if (month < 1 || month > 12 || day < 1) return false;
    // A day past the month's end counts on into the next month.
    int y = 0, m = 0, d = 0;
    CivilFromDays(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)), y,
                  m, d);
    return d == day;
}

bool realTime(const std::string& text) {
    return sixDigits(text) && twoDigits(text, 0) < 24 && twoDigits(text, 2) < 60 &&
           twoDigits(text, 4) < 60;
}

}  // namespace

GpsSimParse parseGpsSimArguments(const std::vector<std::string>& arguments) {
    GpsSimParse outcome;
    GpsSimOptions& o = outcome.options;
    Arguments args(arguments);
    while (args.next()) {
        const std::string& name = args.name();
        auto value = [&]() { return args.value().value_or(std::string()); };
        auto fail = [&](const std::string& what) {
            outcome.error = name + " wants " + what;
            return outcome;
        };
        if (args.is("-h") || args.is("--help")) {
            o.help = true;
        } else if (args.is("--seed")) {
            const auto v = ParseNumber<std::uint64_t>(value());
            if (!v) return fail("a whole number");
            o.seed = *v;
        } else if (args.is("--start")) {
            const std::string text = value();
            const std::size_t comma = text.find(',');
            const auto lat = ParseNumber<double>(std::string_view(text).substr(0, comma));
            const auto lon = comma == std::string::npos ? std::nullopt
                                                        : ParseNumber<double>(std::string_view(text).substr(comma + 1));
            if (!lat || !lon || std::fabs(*lat) > 89.0 || std::fabs(*lon) > 179.0) {
                return fail("LAT,LON in degrees (south and west negative)");
            }
            o.startLat = *lat;
            o.startLon = *lon;
        } else if (args.is("--utc")) {
            const std::string text = value();
            const std::size_t comma = text.find(',');
            if (comma == std::string::npos || !realDate(text.substr(0, comma)) ||
                !realTime(text.substr(comma + 1))) {
                return fail("DDMMYY,HHMMSS");
            }
            o.utcDate = text.substr(0, comma);
            o.utcTime = text.substr(comma + 1);
        } else if (args.is("--file")) {
            o.file = value();
            if (o.file.empty()) return fail("a file of sentences");
        } else if (args.isFlag("--loop")) {
            o.loop = true;
        } else if (args.isFlag("--void")) {
            o.voidFix = true;
        } else if (args.isFlag("--repeat-time")) {
            o.repeatTime = true;
        } else if (args.isFlag("--split")) {
            o.split = true;
        } else if (args.isFlag("--together")) {
            o.together = true;
        } else if (args.isFlag("--wait-for-usr1")) {
            o.waitForStart = true;
        } else if (args.is("--unplug-after")) {
            const auto v = ParseNumber<double>(value());
            if (!v || !std::isfinite(*v) || *v < 0) return fail("seconds");
            o.unplugAfter = *v;
        } else if (args.is("--bytes-per-second")) {
            const auto v = ParseNumber<double>(value());
            if (!v || !std::isfinite(*v) || *v <= 0) return fail("a positive number");
            o.bytesPerSecond = *v;
        } else if (args.is("--interval-ms")) {
            const auto v = ParseNumber<std::uint32_t>(value());
            if (!v) return fail("milliseconds");
            o.intervalMs = *v;
        } else {
            outcome.error = "unknown argument " + args.argument() + " (see --help)";
            return outcome;
        }
    }
    return outcome;
}

std::string gpsSimHelp() {
    return R"(zelvar-gps-sim: an NMEA GPS receiver on a pseudo-terminal.

Prints the terminal's path on the first line of its output, then sends a
GPRMC and a GPGSA sentence once a second, paced like a 4800 bit/s line,
until it is stopped (SIGINT, SIGTERM) or unplugged (--unplug-after, or
SIGUSR2 at once).

  --seed N              seed of the walk around the start position (1)
  --start LAT,LON       start position in degrees (48.1173,11.5167)
  --utc DDMMYY,HHMMSS   first GPS date and time (default: the system's UTC)
  --file PATH           send the sentences of PATH (256 MiB at most), one a
                        line; each GPRMC starts a new second
  --loop                start the file again at its end (without it the
                        terminal closes after the last sentence)
  --void                every GPRMC reports a void fix (status V)
  --repeat-time         every GPRMC repeats the first time field
  --split               each sentence in three writes, paced apart
  --together            GPRMC and GPGSA in one write
  --unplug-after S      close the terminal after S seconds, as if pulled out
  --wait-for-usr1       send nothing until SIGUSR1 (a caller's port is open
                        then); the first second and --unplug-after count
                        from there
  --bytes-per-second B  line pace (480)
  --interval-ms MS      from one second's sentences to the next (1000); the
                        line's pace still holds, and the sentences' times
                        still step by a second
)";
}

}  // namespace zelvar::gpssim
