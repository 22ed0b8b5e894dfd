#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

#include "TextUnits.h"

namespace zelvar {

// The nine ways ProcessLines treats a line: modes 0 to 4 rewrite every line,
// modes 5 to 8 keep or drop whole lines.
enum class TransformMode {
    PortDateTime = 0,  // "Port / Date / Time..."
    Spaces = 1,        // "Spaces..."
    DivideSpaces = 2,  // "Divide the Text of the Spaces..."
    HexToByte = 3,     // "Hex_to_Byte..."
    ByteToHex = 4,     // "Byte_to_Hex..."
    Shorter16 = 5,     // "Strings is Shorter Than 16-bit..."
    MaskFilter = 6,    // "By Mask Value / Bit..."
    Packets0B05 = 7,   // "Packets "0B" and "05"..."
    ShortStrings = 8,  // "Short Strings..."
};

bool IsFilter(TransformMode mode);

struct Transform {
    TransformMode mode = TransformMode::PortDateTime;
    std::size_t bytePosition = 0;  // modes 6 and 7: the byte looked at, from 0
    std::string typeText;          // mode 6: the two characters it must hold
    TextUnits units = TextUnits::Utf8;
};

// The transform a menu command runs: byte position 4 for mode 7, 0 and no
// type text otherwise. Mode 6 takes its values from MaskTransform.
Transform TransformFor(TransformMode mode);

// "By Mask Value / Bit...": the byte position is the decimal digits of the
// EditPByte text read as one number, every other character skipped; the type
// text is EditPType's. Throws InvalidIntegerError when there is no digit.
Transform MaskTransform(std::string_view editPByte, std::string_view editPType);

// The failure of reading a text as an integer, with the message the user sees:
// "'<text>' is not a valid integer value".
class InvalidIntegerError : public std::invalid_argument {
public:
    explicit InvalidIntegerError(std::string_view text);
};

// The time stamp a line keeps in front of its data when a filter keeps it or
// when modes 1 to 4 rewrite a line in the filters' own form. By the position
// of the first TAB (counting characters from 1): 11, a hex log line, gives
// characters 3 to 10; 12 after a "$" in character 2 (a nine-digit stamp)
// characters 3 to 11; 9, the filters' form, characters 1 to 8; 10 after nine
// hexadecimal digits characters 1 to 9; anything else nothing.
std::string_view TimeStampPrefix(std::string_view line, TextUnits units);

// Applies a transform to one line. A conversion appends the new line to out
// and returns true; a filter appends the line it keeps and returns true, or
// appends nothing and returns false.
bool TransformLine(std::string_view line, const Transform& transform, std::string& out);

}  // namespace zelvar
