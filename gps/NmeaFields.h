#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelvar {

inline constexpr std::size_t kNmeaMaxFields = 20;
inline constexpr std::size_t kNmeaMaxFieldLength = 255;

// The fields of one assembled NMEA line. The first two bytes (normally the
// line feed of the previous sentence and the "$") are not part of it; of the
// rest only digits, capital letters, ".", "," and "*" are kept, then the text
// is split at commas into at most 20 fields of at most 255 characters. The
// last field keeps the "*" and the checksum.
std::vector<std::string> SplitNmeaFields(std::string_view line);

// Whole text as a decimal integer of digits only ("07" is 7); nothing for
// any other text, the empty one included.
std::optional<int> NmeaInteger(std::string_view text);

// Whole text as a single-precision decimal number with "." as separator;
// nothing when the text is not one or does not fit a float.
std::optional<float> NmeaFloat(std::string_view text);

}  // namespace zelvar
