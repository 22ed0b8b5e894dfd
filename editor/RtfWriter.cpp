#include <algorithm>
#include <cstdio>

#include "CodePages.h"
#include "EditorText.h"
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

// Written as it is.
bool printable(char c) {
    return c >= 0x20 && c < 0x7F && c != '\\' && c != '{' && c != '}';
}

}  // namespace

std::string WriteRtf(const RichText& document) {
    return WriteRtf(document.text, document.runs);
}

namespace {

// Each run's marks, then its `length` units that `write(out, length)` appends.
template <typename Units>
std::string writeRuns(std::size_t units, const std::vector<MarkRun>& runs, Units&& write) {
    std::string out;
    out.reserve(kHeader.size() + units * 11 / 10 + runs.size() * 12 + 16);
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
        const std::size_t end = std::min(at + run.length, units);
        write(out, end - at);
        at = end;
    }
    // Every paragraph, the last one too, ends with its mark, as word
    // processors write it; the reader takes the last one off again.
    out += "\\par\r\n}\r\n";
    return out;
}

}  // namespace

std::string WriteRtf(std::u16string_view text, const std::vector<MarkRun>& runs) {
    std::size_t at = 0;
    return writeRuns(text.size(), runs, [&](std::string& out, std::size_t length) {
        for (const std::size_t end = at + length; at < end; ++at) appendUnit(out, text[at]);
    });
}

std::string WriteRtf(std::string_view utf8, std::size_t units, const std::vector<MarkRun>& runs) {
    std::size_t at = 0;
    // The low half of a pair whose high half ended the run before.
    char16_t low = 0;
    return writeRuns(units, runs, [&](std::string& out, std::size_t length) {
        if (low != 0 && length > 0) {
            appendUnit(out, low);
            low = 0;
            --length;
        }
        while (length > 0 && at < utf8.size()) {
            // Printable ASCII goes as it is, in one piece.
            const std::size_t limit = at + std::min(length, utf8.size() - at);
            std::size_t plain = at;
            while (plain < limit && printable(utf8[plain])) ++plain;
            out.append(utf8, at, plain - at);
            length -= plain - at;
            at = plain;
            if (length == 0 || at == utf8.size()) break;
            const char32_t code = NextCodePoint(utf8, at);
            if (code < 0x10000) {
                appendUnit(out, static_cast<char16_t>(code));
                --length;
                continue;
            }
            appendUnit(out, static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
            const auto second = static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
            if (--length == 0) {
                low = second;
            } else {
                appendUnit(out, second);
                --length;
            }
        }
    });
}

}  // namespace zelvar
