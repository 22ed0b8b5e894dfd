#include "PackageJson.h"

#include <charconv>

#include "NmeaPosition.h"

namespace zelvar {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view withoutPadding(std::string_view text) {
    const std::size_t end = text.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

bool wholeNumber(std::string_view text) {
    if (!text.empty() && text.front() == '-') text.remove_prefix(1);
    if (text.empty() || text.size() > 18) return false;
    for (const char c : text) {
        if (!isDigit(c)) return false;
    }
    // JSON allows no leading zeros: "007" stays a text.
    return text.size() == 1 || text.front() != '0';
}

// Length of the UTF-8 sequence starting with `lead`, 0 when it starts none.
std::size_t utf8Length(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

bool validUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = utf8Length(lead);
        if (length == 0 || i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        if (length >= 3) {
            const auto second = static_cast<unsigned char>(text[i + 1]);
            // Overlong forms, surrogates and code points past U+10FFFF.
            if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
                (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F)) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

void appendString(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            out.append("\\u00");
            out += kHex[u >> 4];
            out += kHex[u & 15];
        } else {
            out += c;
        }
    }
    out += '"';
}

void appendKey(std::string& out, std::string_view key) {
    out += ",\"";
    out.append(key);
    out.append("\":");
}

void appendValue(std::string& out, FieldValue value) {
    if (value.number) {
        out.append(value.text);
    } else {
        appendString(out, value.text);
    }
}

void appendNumber(std::string& out, std::uint64_t value) {
    char digits[20];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

}  // namespace

std::string_view StampValue(std::string_view raw, std::string& scratch) {
    bool plain = true;
    for (const char c : raw) plain = plain && c != '\0' && static_cast<unsigned char>(c) < 0x80;
    if (plain) return raw;
    scratch.clear();
    for (const char c : raw) {
        const auto u = static_cast<unsigned char>(c);
        if (u == 0) {
            scratch.append("\xEF\xBF\xBD");
        } else if (u < 0x80) {
            scratch += c;
        } else {
            scratch += static_cast<char>(0xC0 | (u >> 6));
            scratch += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return scratch;
}

FieldValue IntegerField(std::string_view padded) {
    const std::string_view text = withoutPadding(padded);
    return {text, wholeNumber(text)};
}

FieldValue CallField(std::string_view padded) { return {withoutPadding(padded), false}; }

FieldValue PdopField(std::string_view text) {
    text = withoutPadding(text);
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    bool number = wholeNumber(whole) && whole.front() != '-';
    if (number && point != std::string_view::npos) {
        const std::string_view decimals = text.substr(point + 1);
        number = !decimals.empty();
        for (const char c : decimals) number = number && isDigit(c);
    }
    return {text, number};
}

std::optional<DecimalPosition> PackagePosition(const PackageFields& fields) {
    if (fields.position == nullptr) return std::nullopt;
    const auto lat = NmeaMicrodegrees(fields.position->LatText);
    const auto lon = NmeaMicrodegrees(fields.position->LonText);
    // A latitude in the longitude's place, or the other way round, is no position.
    const char latHemisphere = fields.position->LatText.back();
    const char lonHemisphere = fields.position->LonText.back();
    if (!lat || !lon || (latHemisphere != 'N' && latHemisphere != 'S') ||
        (lonHemisphere != 'E' && lonHemisphere != 'W')) {
        return std::nullopt;
    }
    return DecimalPosition{*lat, *lon};
}

bool ValidStationName(std::string_view name) {
    if (name.empty() || name.size() > 64 || !validUtf8(name)) return false;
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == '/' || c == '+' || c == '#') return false;
    }
    return true;
}

void AppendPackageJson(std::string& out, const PackageRecord& record) {
    const PackageFields& f = record.fields;
    out.append("{\"station\":");
    appendString(out, record.station);
    if (!record.source.empty()) {
        appendKey(out, "source");
        appendString(out, record.source);
        appendKey(out, "seq");
        appendNumber(out, record.seq);
    }
    appendKey(out, "port");
    out += static_cast<char>('0' + f.port);
    appendKey(out, "stamp");
    if (f.stamp.empty()) {
        out.append("null");
    } else {
        std::string scratch;
        appendString(out, StampValue(f.stamp, scratch));
    }
    appendKey(out, "time");
    if (record.time.empty()) {
        out.append("null");
    } else {
        appendString(out, record.time);
    }
    appendKey(out, "type");
    if (f.type < 0) {
        out.append("null");
    } else {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        const char type[2] = {kDigits[(f.type >> 4) & 15], kDigits[f.type & 15]};
        appendString(out, std::string_view(type, 2));
    }
    if (f.decoded) {
        appendKey(out, "call");
        appendValue(out, CallField(f.call));
        appendKey(out, "group");
        appendValue(out, IntegerField(f.group));
        appendKey(out, "id");
        appendValue(out, IntegerField(f.id));
        appendKey(out, "clr");
        appendValue(out, IntegerField(f.clr));
        appendKey(out, "enc");
        appendValue(out, IntegerField(f.enc));
        appendKey(out, "ptt");
        appendValue(out, IntegerField(f.ptt));
    }
    if (!f.dbm.empty()) {
        appendKey(out, "dbm");
        appendValue(out, IntegerField(f.dbm));
    }
    if (const auto position = PackagePosition(f)) {
        appendKey(out, "lat");
        out.append(DegreesText(position->lat));
        appendKey(out, "lon");
        out.append(DegreesText(position->lon));
        appendKey(out, "pdop");
        appendValue(out, PdopField(f.position->PdopText));
    }
    appendKey(out, "hex");
    appendString(out, f.hex);
    out += '}';
}

}  // namespace zelvar
