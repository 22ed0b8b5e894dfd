#include "LineTransform.h"

#include <cstdint>
#include <limits>

#include "DateTime.h"

namespace zelvar {

namespace {

// The characters '0'..'F' (0x30..0x46): the ten digits, the seven signs
// between them and the capitals A to F. Only these count as log data.
bool isHexChar(char c) { return c >= 0x30 && c <= 0x46; }

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

bool isDecimalDigit(char c) { return c >= '0' && c <= '9'; }

// What ProcessLines derives from a line before applying a mode.
struct LineParts {
    std::size_t tabPosition = 0;  // first TAB, counting characters from 1; 0: none
    std::size_t tabOffset = 0;    // its byte offset
    std::string_view data;        // after the first TAB, or the whole line
};

// Only positions up to 12 matter to the rules; a TAB further on than 48
// bytes stands after the 12th character of any UTF-8 text, so its position
// is left uncounted.
constexpr std::size_t kFarTab = 48;

LineParts splitLine(std::string_view line, TextUnits units) {
    const std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos) return LineParts{0, 0, line};
    const std::size_t position =
        tab > kFarTab ? tab + 1 : CharCount(line.substr(0, tab), units) + 1;
    return LineParts{position, tab, line.substr(tab + 1)};
}

std::string_view prefixOf(std::string_view line, const LineParts& parts, TextUnits units) {
    const std::string_view head = line.substr(0, parts.tabOffset);
    switch (parts.tabPosition) {
    case 11:
        return head.substr(CharOffset(head, 2, units));
    case 12:
        return head[CharOffset(head, 1, units)] == '$' ? head.substr(CharOffset(head, 2, units))
                                                       : std::string_view{};
    case 9:
        return head;
    case 10:
        for (const char c : head) {
            if (!isHexDigit(c)) return {};
        }
        return head;
    default:
        return {};
    }
}

// Modes 1 to 4 keep a stamp only on a line in the filters' own form.
bool keepsStampInConversion(const LineParts& parts) {
    return parts.tabPosition == 9 || parts.tabPosition == 10;
}

// The rule shared by modes 2 to 4: a completed group gets a blank when any
// character of the data part follows it.
void appendGroup(std::string& out, std::string_view group, std::size_t at, std::size_t size) {
    out.append(group);
    if (at + 1 < size) out.push_back(' ');
}

void convertSpaces(std::string_view data, std::string& out) {
    for (const char c : data) {
        if (isHexChar(c)) out.push_back(c);
    }
}

// Modes 2 and 3: each completed pair of hex characters, with the place of
// its second character for appendGroup.
template <typename OnPair>
void forEachHexPair(std::string_view data, OnPair onPair) {
    char group[2];
    std::size_t pending = 0;
    for (std::size_t k = 0; k < data.size(); ++k) {
        if (!isHexChar(data[k])) continue;
        group[pending++] = data[k];
        if (pending == 2) {
            onPair(std::string_view(group, 2), k);
            pending = 0;
        }
    }
}

void convertDivide(std::string_view data, std::string& out) {
    forEachHexPair(data, [&](std::string_view pair, std::size_t k) {
        appendGroup(out, pair, k, data.size());
    });
}

void convertHexToByte(std::string_view data, std::string& out) {
    forEachHexPair(data, [&](std::string_view pair, std::size_t k) {
        const auto value = static_cast<unsigned>(HexToInt64(pair));
        const char digits[3] = {static_cast<char>('0' + value / 100),
                                static_cast<char>('0' + value / 10 % 10),
                                static_cast<char>('0' + value % 10)};
        appendGroup(out, std::string_view(digits, 3), k, data.size());
    });
}

void convertByteToHex(std::string_view data, std::string& out) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    unsigned value = 0;
    std::size_t pending = 0;
    for (std::size_t k = 0; k < data.size(); ++k) {
        if (!isDecimalDigit(data[k])) continue;
        value = value * 10 + static_cast<unsigned>(data[k] - '0');
        if (++pending == 3) {
            char digits[3];
            std::size_t n = 0;
            if (value > 0xFF) digits[n++] = kHex[value >> 8];
            digits[n++] = kHex[(value >> 4) & 0xF];
            digits[n++] = kHex[value & 0xF];
            appendGroup(out, std::string_view(digits, n), k, data.size());
            value = 0;
            pending = 0;
        }
    }
}

// Mode 6 and 7: the two hex characters of the byte at bytePosition among the
// data part's hex characters, or nothing when the line is too short.
bool byteAt(std::string_view data, std::size_t bytePosition, char (&pair)[2]) {
    if (bytePosition > (std::numeric_limits<std::size_t>::max() - 2) / 2) return false;
    const std::size_t wanted = 2 * bytePosition;
    std::size_t seen = 0;
    for (const char c : data) {
        if (!isHexChar(c)) continue;
        if (seen >= wanted) pair[seen - wanted] = c;
        if (++seen == wanted + 2) return true;
    }
    return false;
}

bool keepsLine(std::string_view line, const Transform& transform, const LineParts& parts) {
    switch (transform.mode) {
    case TransformMode::Shorter16:
        return line.size() > 15 && CharCount(line, transform.units) > 15;
    case TransformMode::ShortStrings:
        return line.size() > 80 && CharCount(line, transform.units) > 80;
    case TransformMode::MaskFilter: {
        char pair[2];
        return byteAt(parts.data, transform.bytePosition, pair) &&
               transform.typeText == std::string_view(pair, 2);
    }
    case TransformMode::Packets0B05: {
        char pair[2];
        return byteAt(parts.data, transform.bytePosition, pair) && pair[0] == '0' &&
               (pair[1] == 'B' || pair[1] == '5');
    }
    default:
        return false;
    }
}

}  // namespace

bool IsFilter(TransformMode mode) {
    return static_cast<int>(mode) >= static_cast<int>(TransformMode::Shorter16);
}

Transform TransformFor(TransformMode mode) {
    Transform transform;
    transform.mode = mode;
    if (mode == TransformMode::Packets0B05) transform.bytePosition = 4;
    return transform;
}

namespace {

// Built by appending: GCC 12 at -O3 takes "'" + std::string(text) for an
// overlapping copy (a false -Wrestrict).
std::string invalidIntegerText(std::string_view text) {
    std::string message(1, '\'');
    message.append(text);
    message.append("' is not a valid integer value");
    return message;
}

}  // namespace

InvalidIntegerError::InvalidIntegerError(std::string_view text)
    : std::invalid_argument(invalidIntegerText(text)) {}

Transform MaskTransform(std::string_view editPByte, std::string_view editPType) {
    std::string digits;
    for (const char c : editPByte) {
        if (isDecimalDigit(c)) digits.push_back(c);
    }
    // Read as a 32-bit integer, as the field's own conversion does: an empty
    // or an out-of-range digit string is refused with the same message.
    std::uint64_t value = 0;
    for (const char c : digits) {
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
            throw InvalidIntegerError(digits);
        }
    }
    if (digits.empty()) throw InvalidIntegerError(digits);
    Transform transform;
    transform.mode = TransformMode::MaskFilter;
    transform.bytePosition = static_cast<std::size_t>(value);
    transform.typeText = std::string(editPType);
    return transform;
}

std::string_view TimeStampPrefix(std::string_view line, TextUnits units) {
    return prefixOf(line, splitLine(line, units), units);
}

bool TransformLine(std::string_view line, const Transform& transform, std::string& out) {
    const LineParts parts = splitLine(line, transform.units);
    if (IsFilter(transform.mode)) {
        if (!keepsLine(line, transform, parts)) return false;
        // Only the packet filters take a line apart; the length filters keep it whole.
        const bool byPacket = transform.mode == TransformMode::MaskFilter ||
                              transform.mode == TransformMode::Packets0B05;
        const std::string_view prefix =
            byPacket ? prefixOf(line, parts, transform.units) : std::string_view{};
        if (prefix.empty()) {
            out.append(line);
        } else {
            out.append(prefix);
            out.push_back('\t');
            out.append(parts.data);
        }
        return true;
    }
    if (transform.mode == TransformMode::PortDateTime) {
        out.append(parts.data);
        return true;
    }
    if (keepsStampInConversion(parts)) {
        const std::string_view prefix = prefixOf(line, parts, transform.units);
        if (!prefix.empty()) {
            out.append(prefix);
            out.push_back('\t');
        }
    }
    switch (transform.mode) {
    case TransformMode::Spaces:
        convertSpaces(parts.data, out);
        break;
    case TransformMode::DivideSpaces:
        convertDivide(parts.data, out);
        break;
    case TransformMode::HexToByte:
        convertHexToByte(parts.data, out);
        break;
    case TransformMode::ByteToHex:
        convertByteToHex(parts.data, out);
        break;
    default:
        break;
    }
    return true;
}

}  // namespace zelvar
