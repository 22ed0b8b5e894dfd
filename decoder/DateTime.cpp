#include "DateTime.h"

#include "LogFormat.h"

#include <array>
#include <charconv>
#include <ctime>
#include <sys/time.h>

namespace zelvar {

namespace {

// Days between 30 December 1899, where serial day numbers start, and 1 January 1970.
constexpr std::int64_t kSerialToUnixDays = 25569;
constexpr std::int64_t kMsPerDay = 86'400'000;
// One stamp unit is a hundred-thousandth of a day: 864 ms exactly.
constexpr std::int64_t kMsPerStampUnit = 864;
// The calendar the program writes runs from 1 January 1 to 31 December 9999.
constexpr std::int64_t kFirstSerialDay = -693'593;
constexpr std::int64_t kLastSerialDay = 2'958'465;

// "DD.MM.YYYY HH:MM:SS", written in place: the decoder makes one for almost
// every package.
constexpr std::size_t kTimeTextSize = 19;
using TimeChars = std::array<char, kTimeTextSize>;

void putTwo(char* out, int value) {
    out[0] = static_cast<char>('0' + value / 10 % 10);
    out[1] = static_cast<char>('0' + value % 10);
}

TimeChars timeChars(int year, int month, int day, int hour, int minute, int second) {
    TimeChars out{};
    putTwo(out.data(), day);
    out[2] = '.';
    putTwo(out.data() + 3, month);
    out[5] = '.';
    putTwo(out.data() + 6, year / 100);
    putTwo(out.data() + 8, year % 100);
    out[10] = ' ';
    putTwo(out.data() + 11, hour);
    out[13] = ':';
    putTwo(out.data() + 14, minute);
    out[16] = ':';
    putTwo(out.data() + 17, second);
    return out;
}

std::string timeText(int year, int month, int day, int hour, int minute, int second) {
    const TimeChars chars = timeChars(year, month, day, hour, minute, second);
    return std::string(chars.data(), chars.size());
}

void appendTwo(std::string& out, int value) {
    char two[2];
    putTwo(two, value);
    out.append(two, 2);
}

void appendFour(std::string& out, int value) {
    appendTwo(out, value / 100);
    appendTwo(out, value % 100);
}

}  // namespace

std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0));
    month = static_cast<int>(m);
    day = static_cast<int>(d);
}

CivilTime LocalNow() {
    timeval now{};
    gettimeofday(&now, nullptr);
    std::tm local{};
    localtime_r(&now.tv_sec, &local);
    return CivilTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                     local.tm_min, local.tm_sec, static_cast<int>(now.tv_usec / 1000)};
}

std::int64_t HexToInt64(std::string_view text) {
    std::size_t i = (!text.empty() && text.front() == '$') ? 1 : 0;
    std::uint64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else {
            break;
        }
        value = (value << 4) | digit;
    }
    return static_cast<std::int64_t>(value);
}

std::string NowStamp(const CivilTime& t) {
    const std::int64_t days =
        DaysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) +
        kSerialToUnixDays;
    const std::int64_t ms =
        days * kMsPerDay +
        ((static_cast<std::int64_t>(t.hour) * 60 + t.minute) * 60 + t.second) * 1000 +
        t.millisecond;
    // Milliseconds to stamp units, rounded half to even, in exact integers so
    // that no time is ever written one unit off.
    std::int64_t units = ms / kMsPerStampUnit;
    std::int64_t rest = ms % kMsPerStampUnit;
    if (rest < 0) {
        rest += kMsPerStampUnit;
        --units;
    }
    if (rest * 2 > kMsPerStampUnit || (rest * 2 == kMsPerStampUnit && (units & 1) != 0)) ++units;

    std::array<char, 20> digits{};
    auto [end, ec] = std::to_chars(digits.data(), digits.data() + digits.size(),
                                   static_cast<std::uint64_t>(units), 16);
    std::string hex(digits.data(), end);
    for (char& c : hex) {
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    }
    if (hex.size() < 8) hex.insert(0, 8 - hex.size(), '0');
    return hex;
}

std::string NowStamp() { return NowStamp(LocalNow()); }

bool StampLocalMs(std::string_view stamp, std::int64_t& ms) {
    const std::int64_t value = HexToInt64(stamp);
    // The whole days count toward zero and the fraction gives the time of day
    // whatever the sign, as serial date-times have always been read.
    const std::int64_t days = value / 100000;
    std::int64_t fraction = value % 100000;
    if (fraction < 0) fraction = -fraction;
    if (days < kFirstSerialDay || days > kLastSerialDay) return false;
    ms = (days - kSerialToUnixDays) * kMsPerDay + fraction * kMsPerStampUnit;
    return true;
}

void AssignStampText(std::string& out, std::string_view stamp) {
    std::int64_t ms = 0;
    if (!StampLocalMs(stamp, ms)) {
        out.assign(TimeUnknownText);
        return;
    }
    const std::int64_t days = ms >= 0 ? ms / kMsPerDay : (ms - kMsPerDay + 1) / kMsPerDay;
    ms -= days * kMsPerDay;
    int year = 0, month = 0, day = 0;
    CivilFromDays(days, year, month, day);
    const auto seconds = static_cast<int>(ms / 1000);
    const TimeChars chars =
        timeChars(year, month, day, seconds / 3600, seconds / 60 % 60, seconds % 60);
    out.assign(chars.data(), chars.size());
}

std::string StampToText(std::string_view stamp) {
    std::string out;
    AssignStampText(out, stamp);
    return out;
}

void AppendIsoLocalTime(std::string& out, const CivilTime& t, bool milliseconds) {
    // The zone's offset as the C library knows it for that local time; at a
    // clock change it picks one reading of an ambiguous hour. The library
    // looks at the zone file on every call, so the offset is kept for the
    // minute: zones change their offset on whole minutes (only local mean
    // times of long ago did not). A zone set anew takes effect at tzset().
    thread_local std::int64_t cachedMinute = -1;
    thread_local long cachedOffset = 0;
    thread_local const char* cachedZone = nullptr;
    const std::int64_t minute =
        (DaysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) * 24 +
         t.hour) * 60 + t.minute;
    if (minute != cachedMinute || cachedZone != ::tzname[0]) {
        std::tm local{};
        local.tm_year = t.year - 1900;
        local.tm_mon = t.month - 1;
        local.tm_mday = t.day;
        local.tm_hour = t.hour;
        local.tm_min = t.minute;
        local.tm_sec = t.second;
        local.tm_isdst = -1;
        // A time the library cannot place leaves the offset at 0 (UTC).
        std::mktime(&local);
        cachedOffset = local.tm_gmtoff;
        cachedMinute = minute;
        cachedZone = ::tzname[0];
    }
    const long offset = cachedOffset;
    appendFour(out, t.year);
    out += '-';
    appendTwo(out, t.month);
    out += '-';
    appendTwo(out, t.day);
    out += 'T';
    appendTwo(out, t.hour);
    out += ':';
    appendTwo(out, t.minute);
    out += ':';
    appendTwo(out, t.second);
    if (milliseconds) {
        out += '.';
        out += static_cast<char>('0' + t.millisecond / 100 % 10);
        appendTwo(out, t.millisecond % 100);
    }
    out += offset < 0 ? '-' : '+';
    const long magnitude = offset < 0 ? -offset : offset;
    appendTwo(out, static_cast<int>(magnitude / 3600));
    out += ':';
    appendTwo(out, static_cast<int>(magnitude / 60 % 60));
    if (magnitude % 60 != 0) {
        out += ':';
        appendTwo(out, static_cast<int>(magnitude % 60));
    }
}

bool AppendStampIsoTime(std::string& out, std::string_view stamp) {
    // Read as AssignStampText reads it, so both texts name the same second.
    const std::int64_t value = HexToInt64(stamp);
    const std::int64_t days = value / 100000;
    std::int64_t fraction = value % 100000;
    if (fraction < 0) fraction = -fraction;
    if (days < kFirstSerialDay || days > kLastSerialDay) return false;
    const auto seconds = static_cast<int>(fraction * kMsPerStampUnit / 1000);
    CivilTime t;
    CivilFromDays(days - kSerialToUnixDays, t.year, t.month, t.day);
    t.hour = seconds / 3600;
    t.minute = seconds / 60 % 60;
    t.second = seconds % 60;
    AppendIsoLocalTime(out, t, false);
    return true;
}

std::string NowText(const CivilTime& t) {
    return timeText(t.year, t.month, t.day, t.hour, t.minute, t.second);
}

std::string NowText() { return NowText(LocalNow()); }

std::string FileNameStamp(const CivilTime& t) {
    std::string out;
    out.reserve(14);
    appendFour(out, t.year);
    appendTwo(out, t.month);
    appendTwo(out, t.day);
    appendTwo(out, t.hour);
    appendTwo(out, t.minute);
    appendTwo(out, t.second);
    return out;
}

std::string FileNameStamp() { return FileNameStamp(LocalNow()); }

}  // namespace zelvar
