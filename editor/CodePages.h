#pragma once

#include <optional>

namespace zelvar {

// The single-byte code pages that the program's documents come in: Cyrillic
// notes written on Russian Windows, and Western text.
enum class CodePage { Cp1251, Cp1252 };

char16_t ByteToUnicode(unsigned char byte, CodePage page);
// The byte of a character in the code page, or -1 when it has none.
int UnicodeToByte(char16_t unit, CodePage page);

// A code page number (\ansicpgN) or a font's character set (\fcharsetN), when
// it names one of ours.
std::optional<CodePage> CodePageNumber(long number);
std::optional<CodePage> CharsetCodePage(long charset);

}  // namespace zelvar
