#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <string_view>

namespace zelvar::gpssim {

// "$", the body, "*" and the checksum (the XOR of the body's bytes).
std::string NmeaSentence(std::string_view body);

// One second of a receiver's output.
struct GpsEpoch {
    std::int64_t utcSeconds = 0;  // since 1970
    double lat = 0.0, lon = 0.0;  // degrees, north and east positive
    double hdop = 1.0, vdop = 1.0;
};

std::string RmcBody(const GpsEpoch& epoch, bool voidFix, std::string_view timeOverride = {});
std::string GsaBody(const GpsEpoch& epoch);
std::string NmeaTime(std::int64_t utcSeconds);  // hhmmss.sss
std::string NmeaDate(std::int64_t utcSeconds);  // ddmmyy

// A receiver strolling around its start position: a few metres a second in a
// seeded random direction, DOPs wandering between 0.8 and 2.5, so that two
// runs with one seed send the same sentences.
class GpsWalk {
public:
    GpsWalk(std::uint64_t seed, double lat, double lon, std::int64_t firstUtcSeconds);
    GpsEpoch next();

private:
    std::mt19937_64 random_;
    GpsEpoch epoch_;
    bool first_ = true;
};

}  // namespace zelvar::gpssim
