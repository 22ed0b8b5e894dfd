#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zelvar {

// A local calendar date and time with milliseconds, as the system clock gives it.
struct CivilTime {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// Days since 1 January 1970 of a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day);
// The date of a day counted so.
void CivilFromDays(std::int64_t days, int& year, int& month, int& day);

// The computer's clock in its local time zone.
CivilTime LocalNow();

// Reads the leading hexadecimal digits of a text (after an optional "$");
// digits past the sixteenth push the oldest bits out. No digit gives 0.
std::int64_t HexToInt64(std::string_view text);

// The package time stamp: days since 30 December 1899 times 100000, rounded
// half to even, in uppercase hexadecimal of at least 8 digits.
std::string NowStamp(const CivilTime& time);
std::string NowStamp();

// Milliseconds from 1 January 1970 of a package time stamp, in the same
// local time; false for a stamp outside the years 1 to 9999.
bool StampLocalMs(std::string_view stamp, std::int64_t& ms);

// "DD.MM.YYYY HH:MM:SS" of a package time stamp.
std::string StampToText(std::string_view stamp);
// The same into `out`, reusing its memory.
void AssignStampText(std::string& out, std::string_view stamp);

// ISO 8601 local time with the zone's offset from UTC at that moment:
// "2012-06-01T12:00:00+02:00", with ".mmm" after the seconds when asked.
// An offset of whole minutes is written as "+hh:mm", any other one (local
// mean times of old dates) as "+hh:mm:ss". Appends to out.
void AppendIsoLocalTime(std::string& out, const CivilTime& time, bool milliseconds);
// The same of a package time stamp, to the second as the logs show it; false,
// and nothing appended, for a stamp outside the years 1 to 9999.
bool AppendStampIsoTime(std::string& out, std::string_view stamp);

// "DD.MM.YYYY HH:MM:SS" of a time.
std::string NowText(const CivilTime& time);
std::string NowText();

// "YYYYMMDDhhmmss" of a time, used to name saved logs.
std::string FileNameStamp(const CivilTime& time);
std::string FileNameStamp();

}  // namespace zelvar
