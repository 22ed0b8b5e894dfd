#include "DocumentText.h"

#include <cstring>
#include <optional>

#include "CodePages.h"
#include "EditorText.h"
#include "Rtf.h"

namespace zelvar {

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

std::string_view withoutUtf8Mark(std::string_view bytes) {
    return bytes.starts_with(kUtf8Mark) ? bytes.substr(kUtf8Mark.size()) : bytes;
}

// Appends the UTF-16 form of valid UTF-8, or returns false at the first
// sequence that is not (overlong forms, surrogates and values beyond U+10FFFF
// included).
bool decodeUtf8(std::string_view bytes, std::u16string& out) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* const end = p + bytes.size();
    while (p < end) {
        const unsigned char lead = *p;
        if (lead < 0x80) {
            out += static_cast<char16_t>(lead);
            ++p;
            continue;
        }
        int length;
        char32_t value;
        char32_t lowest;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, value = lead & 0x1F, lowest = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3, value = lead & 0x0F, lowest = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, value = lead & 0x07, lowest = 0x10000;
        } else {
            return false;
        }
        if (end - p < length) return false;
        for (int i = 1; i < length; ++i) {
            if ((p[i] & 0xC0) != 0x80) return false;
            value = (value << 6) | (p[i] & 0x3F);
        }
        if (value < lowest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
            return false;
        }
        if (value >= 0x10000) {
            value -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (value >> 10));
            out += static_cast<char16_t>(0xDC00 + (value & 0x3FF));
        } else {
            out += static_cast<char16_t>(value);
        }
        p += length;
    }
    return true;
}

void normaliseLineEnds(std::u16string& text) {
    std::size_t to = 0;
    for (std::size_t from = 0; from < text.size(); ++from) {
        const char16_t unit = text[from];
        if (unit == u'\r') {
            text[to++] = u'\n';
            if (from + 1 < text.size() && text[from + 1] == u'\n') ++from;
        } else {
            text[to++] = unit;
        }
    }
    text.resize(to);
}

// The document's opening brace, after an optional byte-order mark and
// blanks, when the bytes are RTF.
std::optional<std::string_view> rtfDocument(std::string_view bytes) {
    bytes = withoutUtf8Mark(bytes);
    const std::size_t first = bytes.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos || !bytes.substr(first).starts_with("{\\rtf")) {
        return std::nullopt;
    }
    return bytes.substr(first);
}

}  // namespace

bool LooksLikeRtf(std::string_view bytes) {
    return rtfDocument(bytes).has_value();
}

std::u16string DecodePlainText(std::string_view bytes) {
    std::u16string text;
    text.reserve(EditingCapacity(bytes.size()));
    bytes = withoutUtf8Mark(bytes);
    if (!decodeUtf8(bytes, text)) {
        text.clear();
        for (const char byte : bytes) {
            text += ByteToUnicode(static_cast<unsigned char>(byte), CodePage::Cp1251);
        }
    }
    normaliseLineEnds(text);
    return text;
}

bool PlainUtf8Text(std::string& bytes) {
    if (rtfDocument(bytes) || !IsUtf8(bytes)) return false;
    const std::size_t mark = bytes.starts_with(kUtf8Mark) ? kUtf8Mark.size() : 0;
    // Moved down piece by piece: a CR before a LF goes, a lone CR becomes one.
    char* text = bytes.data();
    const std::size_t size = bytes.size();
    std::size_t to = 0;
    for (std::size_t from = mark; from < size;) {
        const void* found = std::memchr(text + from, '\r', size - from);
        const std::size_t end =
            found ? static_cast<std::size_t>(static_cast<const char*>(found) - text) : size;
        if (to != from) std::memmove(text + to, text + from, end - from);
        to += end - from;
        if (end == size) break;
        const bool lone = end + 1 == size || text[end + 1] != '\n';
        if (lone) text[to++] = '\n';
        from = end + 1;
    }
    bytes.resize(to);
    return true;
}

RichText ReadDocumentBytes(std::string_view bytes) {
    if (const auto rtf = rtfDocument(bytes)) return ReadRtf(*rtf);
    RichText document;
    document.text = DecodePlainText(bytes);
    if (!document.text.empty()) document.runs.push_back({document.text.size(), Marks{}});
    return document;
}

}  // namespace zelvar
