#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "PackageFields.h"

namespace zelvar {

// A field of a package as the JSON form and the package store carry it: the
// text without the padding of the log line, and whether it is a number.
struct FieldValue {
    std::string_view text;
    bool number = false;
};

// Group, ID, Clr, Enc, PTT and dBm: numbers where the text is a whole
// decimal number ("100", "-90", "0"), texts otherwise ("For All", "Max",
// "On", "-"). The Call is always a text: its two hex digits ("48") name a
// service, not a quantity.
FieldValue IntegerField(std::string_view padded);
FieldValue CallField(std::string_view padded);
// PDOP: a number where the text is a decimal number ("2.5"), else a text ("Err").
FieldValue PdopField(std::string_view text);

// The stamp of a package as a text: the characters of the line's stamp
// field, which the offline run takes as they come, read as Latin-1 into
// UTF-8 (a NUL becomes U+FFFD, which no text column refuses). Returns `raw`
// itself when it is plain ASCII, else the text made in `scratch`.
std::string_view StampValue(std::string_view raw, std::string& scratch);

// The own position of a package in signed micro-degrees, when both texts
// are NMEA positions.
struct DecimalPosition {
    std::int64_t lat = 0;
    std::int64_t lon = 0;
};
std::optional<DecimalPosition> PackagePosition(const PackageFields& fields);

// A station name fit for a topic level, a JSON text and the collector's
// table: not empty, at most 64 bytes of valid UTF-8 without control
// characters, and none of '/', '+', '#'.
bool ValidStationName(std::string_view name);

// One package with what places it among all packages of all stations.
struct PackageRecord {
    std::string_view station;
    std::string_view time;  // ISO 8601 with the zone; empty: unknown (null)
    const PackageFields& fields;
    // Where a live package comes from and its place there; not written
    // while source is empty.
    std::string_view source;
    std::uint64_t seq = 0;
};

// The JSON form of a package: one object on one line (no line end), keys in
// a fixed order: station, [source, seq,] port, stamp, time, type, the decoded
// line's call, group, id, clr, enc, ptt, then dbm, lat, lon, pdop, hex; the
// field keys only when the package has them. Appends to out.
void AppendPackageJson(std::string& out, const PackageRecord& record);

}  // namespace zelvar
