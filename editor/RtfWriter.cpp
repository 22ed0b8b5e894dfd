#include <algorithm>
#include <cstdio>

#include "CodePages.h"
#include "Rtf.h"

namespace zelvar {

namespace {

// Colour table entries: 0 the automatic colour, then red and blue.
constexpr std::string_view kHeader =
    "{\\rtf1\\ansi\\ansicpg1251\\deff0\\deflang1049"
    "{\\fonttbl{\\f0\\fmodern\\fprq1\\fcharset204 Courier New;}}\r\n"
    "{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}\r\n"
    "\\viewkind4\\uc1\\pard\\f0\\fs16 ";

void appendHexByte(std::string& out, int byte) {
    static constexpr char kDigits[] = "0123456789abcdef";
    out += "\\'";
    out += kDigits[(byte >> 4) & 0xF];
    out += kDigits[byte & 0xF];
}

void appendUnit(std::string& out, char16_t unit) {
    switch (unit) {
        case u'\n':
            out += "\\par\r\n";
            return;
        case u'\u2028':
            out += "\\line ";
            return;
        case u'\t':
            out += "\\tab ";
            return;
        case u'\\':
        case u'{':
        case u'}':
            out += '\\';
            out += static_cast<char>(unit);
            return;
        default:
            break;
    }
    if (unit >= 0x20 && unit < 0x7F) {
        out += static_cast<char>(unit);
    } else if (unit < 0x80) {
        appendHexByte(out, unit);
    } else {
        // Readers without Unicode take the 1251 byte after it instead.
        char number[16];
        const int signedValue = unit > 0x7FFF ? static_cast<int>(unit) - 0x10000 : unit;
        std::snprintf(number, sizeof number, "\\u%d", signedValue);
        out += number;
        const int fallback = UnicodeToByte(unit, CodePage::Cp1251);
        if (fallback >= 0) {
            appendHexByte(out, fallback);
        } else {
            out += '?';
        }
    }
}

}  // namespace

std::string WriteRtf(const RichText& document) {
    return WriteRtf(document.text, document.runs);
}

std::string WriteRtf(std::u16string_view text, const std::vector<MarkRun>& runs) {
    std::string out;
    out.reserve(kHeader.size() + text.size() * 11 / 10 + runs.size() * 12 + 16);
    out += kHeader;
    Marks current;
    std::size_t at = 0;
    for (const MarkRun& run : runs) {
        if (run.marks.color != current.color) {
            out += run.marks.color == MarkColor::Red    ? "\\cf1 "
                   : run.marks.color == MarkColor::Blue ? "\\cf2 "
                                                        : "\\cf0 ";
        }
        if (run.marks.bold != current.bold) out += run.marks.bold ? "\\b " : "\\b0 ";
        current = run.marks;
        const std::size_t end = std::min(at + run.length, text.size());
        for (; at < end; ++at) appendUnit(out, text[at]);
    }
    // Every paragraph, the last one too, ends with its mark, as word
    // processors write it; the reader takes the last one off again.
    out += "\\par\r\n}\r\n";
    return out;
}

}  // namespace zelvar
