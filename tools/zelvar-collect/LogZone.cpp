#include "LogZone.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "DateTime.h"

namespace zelvar {

namespace {

constexpr std::int64_t kDaySeconds = 86400;
// 30 December 1899, the stamps' day 0, counted from 1970.
constexpr std::int64_t kSerialToUnixDays = 25569;

// The directory of the time zone database.
std::string zoneDirectory() {
    const char* dir = std::getenv("TZDIR");
    return dir != nullptr && *dir != '\0' ? dir : "/usr/share/zoneinfo";
}

// A name of the database: letters, digits and "_+-" in parts joined by '/',
// none of them "." or "..", naming a compiled zone file.
bool isDatabaseZone(const std::string& name) {
    if (name.empty() || name.front() == '/' || name.back() == '/' || name.find("//") != std::string::npos ||
        name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_+-/") !=
            std::string::npos) {
        return false;
    }
    std::ifstream file(zoneDirectory() + "/" + name, std::ios::binary);
    char magic[4] = {};
    return file.read(magic, 4) && std::string_view(magic, 4) == "TZif";
}

// "+hh:mm" or "-hh:mm", up to 14 hours: the offset in seconds.
bool parseOffset(const std::string& given, long& offset) {
    if (given.size() != 6 || (given[0] != '+' && given[0] != '-') || given[3] != ':') return false;
    for (const char digit : {given[1], given[2], given[4], given[5]}) {
        if (digit < '0' || digit > '9') return false;
    }
    const int hours = (given[1] - '0') * 10 + (given[2] - '0');
    const int minutes = (given[4] - '0') * 10 + (given[5] - '0');
    if (hours > 14 || minutes > 59 || hours * 60 + minutes > 14 * 60) return false;
    offset = (given[0] == '-' ? -1 : 1) * (hours * 3600L + minutes * 60L);
    return true;
}

// The name of the process's own zone as the C library finds it.
std::string localZoneName() {
    std::string name;
    if (const char* tz = std::getenv("TZ"); tz != nullptr && *tz != '\0') {
        name = tz[0] == ':' ? tz + 1 : tz;
    } else {
        char target[4096];
        const ssize_t size = ::readlink("/etc/localtime", target, sizeof target - 1);
        if (size <= 0) return "UTC";  // the library's zone without the file
        name.assign(target, static_cast<std::size_t>(size));
    }
    // A path into the database is named by its zone.
    if (const std::size_t at = name.rfind("zoneinfo/"); at != std::string::npos) name.erase(0, at + 9);
    return name;
}

}  // namespace

LogZone::LogZone(const std::string& given) {
    if (given.empty()) {
        name_ = localZoneName();
        local_ = true;
    } else if (parseOffset(given, fixedOffset_)) {
        name_ = given;
        fixed_ = true;
    } else if (isDatabaseZone(given)) {
        name_ = given;
        ::setenv("TZ", given.c_str(), 1);
    } else {
        throw ZoneError("no time zone " + given + ": a zone of the time zone database (\"Europe/Moscow\") or an "
                        "offset (\"+03:00\")");
    }
    ::tzset();
}

long LogZone::offsetAt(std::int64_t utc) {
    const auto at = static_cast<std::time_t>(utc);
    std::tm local{};
    return ::localtime_r(&at, &local) != nullptr ? local.tm_gmtoff : 0;
}

long LogZone::offsetOf(std::int64_t local) {
    kind_ = Kind::Plain;
    if (fixed_) return fixedOffset_;
    // The offsets a day before and a day after: where they differ, a change
    // lies between, and each is tried for this local time.
    const long before = offsetAt(local - kDaySeconds);
    const long after = offsetAt(local + kDaySeconds);
    if (before == after) return offsetAt(local - before);
    const bool beforeFits = offsetAt(local - before) == before;
    const bool afterFits = offsetAt(local - after) == after;
    if (beforeFits && afterFits) {
        kind_ = Kind::Repeated;
    } else if (!beforeFits && !afterFits) {
        kind_ = Kind::Skipped;
    } else if (afterFits) {
        return after;
    }
    return before;
}

const std::string& LogZone::utcOf(std::string_view stamp) {
    if (stamp != stamp_) {
        stamp_.assign(stamp);
        time_.clear();
        kind_ = Kind::Plain;
        // Read as the log's text shows it: whole seconds of the day.
        const std::int64_t value = HexToInt64(stamp);
        std::int64_t fraction = value % 100000;
        if (fraction < 0) fraction = -fraction;
        const std::int64_t days = value / 100000 - kSerialToUnixDays;
        if (!stamp.empty() && days >= DaysFromCivil(1, 1, 1) && days <= DaysFromCivil(9999, 12, 31)) {
            const std::int64_t local = days * kDaySeconds + fraction * 864 / 1000;
            const std::int64_t utc = local - offsetOf(local);
            std::int64_t day = utc / kDaySeconds;
            std::int64_t second = utc % kDaySeconds;
            if (second < 0) {
                second += kDaySeconds;
                --day;
            }
            int year = 0;
            int month = 0;
            int dayOfMonth = 0;
            CivilFromDays(day, year, month, dayOfMonth);
            // A time pushed before the year 1 is written as PostgreSQL reads it.
            char text[48];
            std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d+00%s", year > 0 ? year : 1 - year, month,
                          dayOfMonth, static_cast<int>(second / 3600), static_cast<int>(second / 60 % 60),
                          static_cast<int>(second % 60), year > 0 ? "" : " BC");
            time_ = text;
        }
    }
    if (kind_ == Kind::Repeated) ++repeated;
    if (kind_ == Kind::Skipped) ++skipped;
    return time_;
}

}  // namespace zelvar
