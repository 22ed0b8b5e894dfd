#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zelvar {

// The own position as the GPS receiver gives it and the logs keep it:
// "ddmm.mmmm,N" for a latitude, "dddmm.mmmm,E" for a longitude (any number of
// degree digits and of minute decimals), as signed micro-degrees, rounded to
// the nearest (half away from zero). South and west are negative. Nothing for
// a text that is not such a position, or lies outside ±90° / ±180°.
std::optional<std::int64_t> NmeaMicrodegrees(std::string_view text);

// Micro-degrees as decimal degrees with six decimals ("-33.856789"); exact,
// so that every export of the same position writes the same text.
std::string DegreesText(std::int64_t microdegrees);

}  // namespace zelvar
