#include "GpsClock.h"

#include <stdexcept>

#include "DateTime.h"

namespace zelvar {

namespace {

// The same rule and message as the number conversion everywhere else in the
// program: digits only, and the text quoted when it is not a number.
long long toInteger(std::string_view text) {
    long long value = 0;
    bool ok = !text.empty() && text.size() <= 9;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            ok = false;
            break;
        }
        value = value * 10 + (c - '0');
    }
    if (!ok) throw std::invalid_argument("'" + std::string(text) + "' is not a valid integer value");
    return value;
}

std::string_view piece(std::string_view text, std::size_t from, std::size_t count) {
    return from < text.size() ? text.substr(from, count) : std::string_view();
}

}  // namespace

int ZoneHours(int baseBiasMinutes) {
    return -(baseBiasMinutes / 60);
}

std::optional<ClockTime> GpsClockTarget(std::string_view rmcDate, std::string_view rmcTime,
                                        int gmtCorrection, int zoneHours) {
    long long hour = toInteger(piece(rmcTime, 0, 2)) + gmtCorrection - zoneHours;
    const long long year = toInteger("20" + std::string(piece(rmcDate, 4, 2)));
    const long long month = toInteger(piece(rmcDate, 2, 2));
    const long long day = toInteger(piece(rmcDate, 0, 2));
    const long long minute = toInteger(piece(rmcTime, 2, 2));
    const long long second = toInteger(piece(rmcTime, 4, 2));
    const long long millisecond = toInteger(piece(rmcTime, 7, 3));

    // The label shows the GPS hour shifted without touching the date; the
    // clock must name the real moment, so a shift past midnight carries over.
    const bool nextDay = hour >= 24;
    if (nextDay) hour -= 24;
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 ||
        hour > 23 || minute > 59 || second > 59 || millisecond > 999) {
        return std::nullopt;
    }
    const std::int64_t days =
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    ClockTime t{0, 0, 0, static_cast<int>(hour), static_cast<int>(minute), static_cast<int>(second),
                static_cast<int>(millisecond)};
    CivilFromDays(days, t.year, t.month, t.day);
    // A day past the month's end counts on into the next month.
    if (t.day != day) return std::nullopt;
    if (nextDay) CivilFromDays(days + 1, t.year, t.month, t.day);
    return t;
}

bool SetSystemClockFromGps(std::string_view rmcDate, std::string_view rmcTime, int gmtCorrection,
                           SystemClock& clock, std::function<void(const ClockResult&)> done) {
    if (rmcDate.empty() || rmcTime.empty()) {
        if (done) done(ClockResult{false, "no GPS fix"});
        return false;
    }
    const std::optional<ClockTime> target =
        GpsClockTarget(rmcDate, rmcTime, gmtCorrection, ZoneHours(clock.BaseBiasMinutes()));
    if (!target) {
        if (done) done(ClockResult{false, "the GPS time is no valid time here"});
        return false;
    }
    clock.SetUtc(*target, std::move(done));
    return true;
}

}  // namespace zelvar
