#pragma once

#include <string>
#include <string_view>

namespace zelvar {

// The upper-case mapping of the editor's search: what QChar::toUpper gives for
// ASCII, Latin-1, Latin Extended-A and the Cyrillic blocks (U+0400..U+052F),
// so Cyrillic text compares as it did under the single-byte code page. Every
// other UTF-16 unit maps to itself.
char16_t UpperChar(char16_t c);

// The text with UpperChar applied to each unit.
std::u16string UpperText(std::u16string_view text);

// The same into `out`, which has room for text.size() units.
void UpperText(std::u16string_view text, char16_t* out);

}  // namespace zelvar
