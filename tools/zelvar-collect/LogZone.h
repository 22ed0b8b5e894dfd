#pragma once

#include <cstdint>
#include <ctime>
#include <stdexcept>
#include <string>
#include <string_view>

namespace zelvar {

// A zone that cannot be used, with the one-line reason.
class ZoneError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The time zone a saved log's stamps were written in: a zone of the time
// zone database ("Europe/Moscow"), which keeps its summer time, or a fixed
// offset ("+03:00"), which keeps none.
//
// A local time that the change to summer time skips, or that the change back
// repeats, is read with the offset in force before the change: a skipped
// 02:30 as 03:30 of summer time, a repeated 02:30 as its first, summer-time
// reading.
class LogZone {
public:
    // `given` empty: the zone of the process (TZ, else /etc/localtime). A zone
    // of the database becomes the zone of the process. Throws ZoneError.
    explicit LogZone(const std::string& given);

    // The name kept with an import: the zone's, or the offset as "+hh:mm".
    const std::string& name() const { return name_; }
    bool isLocal() const { return local_; }

    // The UTC time of a package's stamp read in this zone, as PostgreSQL
    // reads it ("2012-06-01 10:00:00+00"); empty for an empty stamp or one
    // outside the years 1 to 9999.
    const std::string& utcOf(std::string_view stamp);

    // Packages whose local time was repeated or skipped, so far.
    std::uint64_t repeated = 0;
    std::uint64_t skipped = 0;

private:
    // The offset from UTC, in seconds, for a local time in seconds since 1970.
    long offsetOf(std::int64_t local);
    static long offsetAt(std::int64_t utc);

    std::string name_;
    bool local_ = false;
    bool fixed_ = false;
    long fixedOffset_ = 0;
    std::string stamp_;
    std::string time_;
    enum class Kind { Plain, Repeated, Skipped } kind_ = Kind::Plain;
};

}  // namespace zelvar
