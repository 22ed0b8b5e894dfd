#include "UpperCase.h"

#include <algorithm>

namespace zelvar {

namespace {

// In most of Latin Extended-A and Cyrillic a capital and its small letter sit
// side by side; `capitalParity` says whether the capital has the even or the
// odd code.
char16_t pairUpper(char16_t c, unsigned capitalParity) {
    return (c & 1u) == capitalParity ? c : static_cast<char16_t>(c - 1);
}

char16_t latinExtendedAUpper(char16_t c) {
    if (c <= 0x012F || (c >= 0x0132 && c <= 0x0137) || (c >= 0x014A && c <= 0x0177)) {
        return pairUpper(c, 0);
    }
    if ((c >= 0x0139 && c <= 0x0148) || (c >= 0x0179 && c <= 0x017E)) return pairUpper(c, 1);
    if (c == 0x0131) return u'I';  // dotless i
    if (c == 0x017F) return u'S';  // long s
    return c;                      // the capitals without a pair, kra and 'n
}

char16_t cyrillicUpper(char16_t c) {
    if (c >= 0x0430 && c <= 0x044F) return static_cast<char16_t>(c - 0x20);
    if (c >= 0x0450 && c <= 0x045F) return static_cast<char16_t>(c - 0x50);
    if ((c >= 0x0460 && c <= 0x0481) || (c >= 0x048A && c <= 0x04BF) || c >= 0x04D0) {
        return pairUpper(c, 0);
    }
    if (c >= 0x04C1 && c <= 0x04CE) return pairUpper(c, 1);
    if (c == 0x04CF) return 0x04C0;  // palochka
    return c;
}

}  // namespace

char16_t UpperChar(char16_t c) {
    if (c < 0x80) return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 0x20) : c;
    if (c < 0x100) {
        if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
        if (c == 0xFF) return 0x0178;  // y with diaeresis
        if (c == 0xB5) return 0x039C;  // micro sign: Greek capital mu
        return c;
    }
    if (c < 0x180) return latinExtendedAUpper(c);
    if (c >= 0x0400 && c < 0x0530) return cyrillicUpper(c);
    return c;
}

void UpperText(std::u16string_view text, char16_t* out) {
    constexpr std::size_t kBlock = 4096;
    for (std::size_t begin = 0; begin < text.size(); begin += kBlock) {
        const std::size_t end = std::min(text.size(), begin + kBlock);
        // A block of ASCII, the usual case, goes through a loop the compiler
        // can vectorise; any other unit sends the block through the full map.
        char16_t wide = 0;
        for (std::size_t i = begin; i < end; ++i) {
            const char16_t c = text[i];
            wide |= c;
            out[i] = static_cast<char16_t>(static_cast<unsigned>(c - u'a') < 26u ? c - 0x20 : c);
        }
        if (wide >= 0x80) {
            for (std::size_t i = begin; i < end; ++i) out[i] = UpperChar(text[i]);
        }
    }
}

std::u16string UpperText(std::u16string_view text) {
    std::u16string upper(text.size(), u'\0');
    UpperText(text, upper.data());
    return upper;
}

}  // namespace zelvar
