#include "GpsWalk.h"

#include <cmath>
#include <cstdio>

#include "DateTime.h"

namespace zelvar::gpssim {

namespace {

// ddmm.mmmm or dddmm.mmmm and the hemisphere letter, as receivers send them.
std::string angle(double degrees, int degreeDigits, char positive, char negative) {
    const double magnitude = std::fabs(degrees);
    int whole = static_cast<int>(magnitude);
    double minutes = (magnitude - whole) * 60.0;
    if (minutes >= 59.99995) {
        minutes = 0.0;
        ++whole;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%0*d%07.4f,%c", degreeDigits, whole, minutes,
                  degrees < 0 ? negative : positive);
    return text;
}

// The day since 1970 of a moment, and the second within that day.
std::int64_t dayOf(std::int64_t seconds) {
    return seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
}

int secondOfDay(std::int64_t seconds) {
    return static_cast<int>(seconds - dayOf(seconds) * 86400);
}

double clampDop(double value) {
    return value < 0.8 ? 0.8 : value > 2.5 ? 2.5 : value;
}

}  // namespace

std::string NmeaSentence(std::string_view body) {
    unsigned sum = 0;
    for (const char c : body) sum ^= static_cast<unsigned char>(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X", sum);
    // Not "$" + std::string(body): GCC 12 at -O3 warns falsely (-Wrestrict).
    std::string sentence(1, '$');
    sentence.append(body).append(tail);
    return sentence;
}

std::string NmeaTime(std::int64_t utcSeconds) {
    const int second = secondOfDay(utcSeconds);
    char text[40];
    std::snprintf(text, sizeof text, "%02d%02d%02d.000", second / 3600, second / 60 % 60,
                  second % 60);
    return text;
}

std::string NmeaDate(std::int64_t utcSeconds) {
    int year = 0, month = 0, day = 0;
    CivilFromDays(dayOf(utcSeconds), year, month, day);
    char text[40];
    std::snprintf(text, sizeof text, "%02d%02d%02d", day, month, year % 100);
    return text;
}

std::string RmcBody(const GpsEpoch& epoch, bool voidFix, std::string_view timeOverride) {
    const std::string time = timeOverride.empty() ? NmeaTime(epoch.utcSeconds) : std::string(timeOverride);
    return "GPRMC," + time + (voidFix ? ",V," : ",A,") + angle(epoch.lat, 2, 'N', 'S') + "," +
           angle(epoch.lon, 3, 'E', 'W') + ",0.4,87.6," + NmeaDate(epoch.utcSeconds) + ",,,A";
}

std::string GsaBody(const GpsEpoch& epoch) {
    const double pdop = std::sqrt(epoch.hdop * epoch.hdop + epoch.vdop * epoch.vdop);
    char text[96];
    std::snprintf(text, sizeof text, "GPGSA,A,3,04,05,09,12,17,24,,,,,,,%.1f,%.1f,%.1f", pdop, epoch.hdop,
                  epoch.vdop);
    return text;
}

GpsWalk::GpsWalk(std::uint64_t seed, double lat, double lon, std::int64_t firstUtcSeconds)
    : random_(seed) {
    epoch_.utcSeconds = firstUtcSeconds;
    epoch_.lat = lat;
    epoch_.lon = lon;
    epoch_.hdop = 1.2;
    epoch_.vdop = 1.8;
}

GpsEpoch GpsWalk::next() {
    if (!first_) {
        std::uniform_real_distribution<double> unit(-1.0, 1.0);
        constexpr double metresPerDegree = 111320.0;
        const double north = 3.0 * unit(random_);
        const double east = 3.0 * unit(random_);
        epoch_.lat += north / metresPerDegree;
        epoch_.lon += east / (metresPerDegree * std::cos(epoch_.lat * M_PI / 180.0));
        epoch_.hdop = clampDop(epoch_.hdop + 0.1 * unit(random_));
        epoch_.vdop = clampDop(epoch_.vdop + 0.1 * unit(random_));
        ++epoch_.utcSeconds;
    }
    first_ = false;
    return epoch_;
}

}  // namespace zelvar::gpssim
