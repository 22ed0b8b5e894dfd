#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zelvar {

// Column header lines of the text log.
inline constexpr std::string_view TextHeader =
    "Type  \tPort\tTime               \tCall   \tGroup   \tID      \tClr\tEnc\tPTT\tdBm";
inline constexpr std::string_view GpsHeader =
    "Port\tTime                 \tLat        \tLon         \tPDOP   \tdBm";
inline constexpr std::string_view RssiHeader = "Port\tTime                 \tdBm";

// Time text of a package without a stamp (19 characters, like a real time text).
inline constexpr std::string_view TimeUnknownText = "Time is Unknown    ";

// Placeholders of the RSSI-only line while the own position is not known.
inline constexpr std::string_view PositionPlaceholder = "-          ";
inline constexpr std::string_view PdopPlaceholder = "-  ";

// End markers of an offline decoding: finished, or stopped by the user.
inline constexpr std::string_view EndMarker = "End";
inline constexpr std::string_view AbortMarker = "Esc";

// The ten columns of a decoded line, unpadded; DecodedLine pads them.
struct DecodedFields {
    std::string_view type;
    std::string_view port;
    std::string_view time;
    std::string_view call;
    std::string_view group;
    std::string_view id;
    std::string_view clr;
    std::string_view enc;
    std::string_view ptt;
    std::string_view dbm;
};

// Decoded line: Call padded to 7, Group and ID to 8, Clr and Enc to 3;
// padding only lengthens, nothing is cut. Appends to out.
void AppendDecodedLine(std::string& out, const DecodedFields& f);
std::string DecodedLine(const DecodedFields& f);

// The three forms of the RSSI-only line.
std::string RssiShortLine(std::string_view port, std::string_view time, std::string_view dbm);
std::string RssiOwnPositionLine(std::string_view port, std::string_view dateTime,
                                std::string_view lat, std::string_view lon,
                                std::string_view pdop, std::string_view dbm);
std::string RssiPlaceholderLine(std::string_view port, std::string_view time,
                                std::string_view dbm);

// Hex text of a package: two uppercase digits per byte, single blanks between.
void AppendHexText(std::string& out, const std::uint8_t* bytes, std::size_t count);
std::string HexText(const std::uint8_t* bytes, std::size_t count);

// Stamped hex line: port digit, "$", stamp, TAB, hex text. Appends to out.
void AppendStampedHexPrefix(std::string& out, int port, std::string_view stamp);

// " T " + text count + " / H " + hex count.
std::string CountsText(std::int64_t textCount, std::int64_t hexCount);

}  // namespace zelvar
