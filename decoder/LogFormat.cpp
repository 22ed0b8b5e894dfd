#include "LogFormat.h"

#include <array>
#include <charconv>
#include <cstring>

namespace zelvar {

namespace {

void appendPadded(std::string& out, std::string_view text, std::size_t width) {
    out.append(text);
    if (text.size() < width) out.append(width - text.size(), ' ');
}

void appendFields(std::string& out, std::initializer_list<std::string_view> fields) {
    bool first = true;
    for (std::string_view field : fields) {
        if (!first) out.push_back('\t');
        out.append(field);
        first = false;
    }
}

}  // namespace

void AppendDecodedLine(std::string& out, const DecodedFields& f) {
    out.append(f.type);
    out.push_back('\t');
    out.append(f.port);
    out.push_back('\t');
    out.append(f.time);
    out.push_back('\t');
    appendPadded(out, f.call, 7);
    out.push_back('\t');
    appendPadded(out, f.group, 8);
    out.push_back('\t');
    appendPadded(out, f.id, 8);
    out.push_back('\t');
    appendPadded(out, f.clr, 3);
    out.push_back('\t');
    appendPadded(out, f.enc, 3);
    out.push_back('\t');
    out.append(f.ptt);
    out.push_back('\t');
    out.append(f.dbm);
}

std::string DecodedLine(const DecodedFields& f) {
    std::string out;
    AppendDecodedLine(out, f);
    return out;
}

std::string RssiShortLine(std::string_view port, std::string_view time, std::string_view dbm) {
    std::string out;
    appendFields(out, {port, time, dbm});
    return out;
}

std::string RssiOwnPositionLine(std::string_view port, std::string_view dateTime,
                                std::string_view lat, std::string_view lon,
                                std::string_view pdop, std::string_view dbm) {
    std::string out;
    appendFields(out, {port, dateTime, lat, lon, pdop, dbm});
    return out;
}

std::string RssiPlaceholderLine(std::string_view port, std::string_view time,
                                std::string_view dbm) {
    std::string out;
    appendFields(out,
                 {port, time, PositionPlaceholder, PositionPlaceholder, PdopPlaceholder, dbm});
    return out;
}

void AppendHexText(std::string& out, const std::uint8_t* bytes, std::size_t count) {
    if (count == 0) return;
    // Both digits of every byte value, looked up at once: a hex line is
    // written for every package.
    static constexpr auto kPairs = [] {
        constexpr char digits[] = "0123456789ABCDEF";
        std::array<char, 512> pairs{};
        for (std::size_t b = 0; b < 256; ++b) {
            pairs[2 * b] = digits[b >> 4];
            pairs[2 * b + 1] = digits[b & 0x0F];
        }
        return pairs;
    }();
    const std::size_t start = out.size();
    out.resize(start + count * 3 - 1);
    char* p = out.data() + start;
    for (std::size_t i = 0; i + 1 < count; ++i, p += 3) {
        std::memcpy(p, &kPairs[2 * std::size_t{bytes[i]}], 2);
        p[2] = ' ';
    }
    std::memcpy(p, &kPairs[2 * std::size_t{bytes[count - 1]}], 2);
}

std::string HexText(const std::uint8_t* bytes, std::size_t count) {
    std::string out;
    AppendHexText(out, bytes, count);
    return out;
}

void AppendStampedHexPrefix(std::string& out, int port, std::string_view stamp) {
    out.push_back(static_cast<char>('0' + port));
    out.push_back('$');
    out.append(stamp);
    out.push_back('\t');
}

std::string CountsText(std::int64_t textCount, std::int64_t hexCount) {
    char buffer[24];
    std::string out = " T ";
    auto end = std::to_chars(buffer, buffer + sizeof buffer, textCount).ptr;
    out.append(buffer, end);
    out.append(" / H ");
    end = std::to_chars(buffer, buffer + sizeof buffer, hexCount).ptr;
    out.append(buffer, end);
    return out;
}

}  // namespace zelvar
