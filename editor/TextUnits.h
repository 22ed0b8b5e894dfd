#pragma once

#include <cstddef>
#include <string_view>

namespace zelvar {

// How the characters of a line are counted. The editor's text is UTF-8; a
// file given to the command line that is not valid UTF-8 is taken one
// character per byte, as the single-byte logs always were.
enum class TextUnits { Utf8, Bytes };

bool IsValidUtf8(std::string_view text);

// The number of characters of a text.
std::size_t CharCount(std::string_view text, TextUnits units);

// Byte offset at which character `index` (counting from 0) begins; the text's
// size when it has fewer characters.
std::size_t CharOffset(std::string_view text, std::size_t index, TextUnits units);

}  // namespace zelvar
