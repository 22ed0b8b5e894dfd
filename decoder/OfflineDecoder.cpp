#include "OfflineDecoder.h"

#include <array>
#include <limits>

#include "DateTime.h"
#include "LogFormat.h"

namespace zelvar {

namespace {

// Where the hex-log writer puts the TAB for an 8- and a 9-digit stamp.
constexpr std::size_t kTabAfterShortStamp = 10;
constexpr std::size_t kTabAfterLongStamp = 11;

// What a character of line data is worth: only '0'..'F' (0x30..0x46) count,
// so blanks and lowercase text fall out; of those, the digits and capital
// letters carry their value and the seven signs between them carry none.
constexpr int kSkipped = -2;
constexpr int kNoDigit = -1;
constexpr std::array<int, 256> kDataValue = [] {
    std::array<int, 256> table{};
    table.fill(kSkipped);
    for (int c = 0x30; c <= 0x46; ++c) table[static_cast<std::size_t>(c)] = kNoDigit;
    for (int c = '0'; c <= '9'; ++c) table[static_cast<std::size_t>(c)] = c - '0';
    for (int c = 'A'; c <= 'F'; ++c) table[static_cast<std::size_t>(c)] = c - 'A' + 10;
    return table;
}();

int dataValue(char c) { return kDataValue[static_cast<unsigned char>(c)]; }

// A pair read by its leading hexadecimal digits: "3:" is 3, ":3" is 0.
std::uint8_t pairValue(int high, int low) {
    if (high < 0) return 0;
    return static_cast<std::uint8_t>(low < 0 ? high : high * 16 + low);
}

}  // namespace

LogLineParts SplitLogLine(std::string_view line) {
    const std::size_t tab = line.find('\t');
    if (tab == kTabAfterShortStamp || tab == kTabAfterLongStamp) {
        return LogLineParts{line[0], line.substr(2, tab - 2), line.substr(tab + 1)};
    }
    return LogLineParts{'1', {}, line};
}

std::size_t ParseLogData(std::string_view data, std::uint8_t* bytes, std::size_t capacity,
                         bool* asWritten) {
    std::size_t count = 0;
    const std::size_t size = data.size();
    // Saved logs write each byte as two hexadecimal digits and a blank: while
    // the line keeps to that form, three characters make a byte.
    const std::size_t triples = size / 3 < capacity ? size / 3 : capacity;
    const char* at = data.data();
    while (count < triples) {
        const int high = dataValue(at[0]);
        const int low = dataValue(at[1]);
        if ((high | low) < 0 || at[2] != ' ') break;
        bytes[count++] = static_cast<std::uint8_t>(high << 4 | low);
        at += 3;
    }
    std::size_t i = count * 3;
    if (asWritten != nullptr) {
        // Two digits more, and nothing after them: the hex log's own form.
        *asWritten =
            i + 2 == size && count < capacity && (dataValue(at[0]) | dataValue(at[1])) >= 0;
    }
    int high = 0;
    bool holding = false;
    for (; i < size && count < capacity; ++i) {
        const int value = dataValue(data[i]);
        if (value == kSkipped) continue;
        if (holding) {
            holding = false;
            bytes[count++] = pairValue(high, value);
            continue;
        }
        // Saved logs write each byte as two adjacent digits: take both at once.
        if (i + 1 < size) {
            const int low = dataValue(data[i + 1]);
            if (low != kSkipped) {
                bytes[count++] = pairValue(value, low);
                ++i;
                continue;
            }
        }
        high = value;
        holding = true;
    }
    return count;
}

OfflineDecoder::OfflineDecoder(PackageDecoder& decoder, const DisplayMirrors& mirrors)
    : OfflineDecoder(decoder, mirrors, ownFlags_) {}

OfflineDecoder::OfflineDecoder(PackageDecoder& decoder, const DisplayMirrors& mirrors,
                               DecodingFlags& flags)
    : decoder_(decoder),
      mirrors_(mirrors),
      DecoderIdle(flags.DecoderIdle),
      AbortDecoding(flags.AbortDecoding) {}

void OfflineDecoder::DecodeLogLines(std::string_view title, std::size_t handOnBytes) {
    // A decoded line is about half as long as a hex line of 30 bytes, a
    // regenerated hex line as long as its input; reserving for that spares
    // most regrowth on a long log. Blank lines give nothing.
    const std::size_t lines = OfflineInputLines.nonBlankLines();
    const std::size_t chars = OfflineInputLines.chars();
    if (chars + lines >= handOnBytes) {
        // Handed on in portions: the lists need room for one.
        decoder_.DecodedTextLines.reserve(handOnBytes / 40, handOnBytes / 3);
        decoder_.DecodedHexLines.reserve(handOnBytes / 40, handOnBytes);
    } else {
        decoder_.DecodedTextLines.reserve(lines + 3, chars / 2 + 256);
        decoder_.DecodedHexLines.reserve(lines, chars + lines + 256);
    }
    auto reader = InputLineList::Reader::releasing(OfflineInputLines);
    run(title, reader, handOnBytes);
}

void OfflineDecoder::DecodeLogStream(std::string_view title, LogLineReader& lines) {
    // A log without lines decodes to nothing at all, not even a title.
    struct AfterFirst {
        LogLineReader& reader;
        std::string_view first;
        bool firstTaken = false;
        bool next(std::string_view& line) {
            if (firstTaken) return reader.next(line);
            firstTaken = true;
            line = first;
            return true;
        }
    } rest{lines, {}};
    if (!lines.next(rest.first)) return;
    // Large enough that a write costs little per line, small enough to stay
    // in the cache.
    constexpr std::size_t kHandOnBytes = 256 * 1024;
    run(title, rest, kHandOnBytes);
}

template <class Lines>
void OfflineDecoder::run(std::string_view title, Lines& lines, std::size_t handOnBytes) {
    DecoderOutput& output = decoder_.output();
    decoder_.TextCount = 0;
    decoder_.HexCount = 0;
    DecoderIdle = false;
    output.setProgressText(" Decode...");
    AbortDecoding = false;

    LineList& textLines = decoder_.DecodedTextLines;
    LineList& hexLines = decoder_.DecodedHexLines;
    textLines.clear();
    hexLines.clear();
    output.focusTextLog();
    decoder_.ReceiveBuffer.fill(0);

    textLines.append(title);
    textLines.append(mirrors_.OnlyRSSI ? RssiHeader : TextHeader);

    bool aborted = false;
    std::string_view line;
    LinesRead = 0;
    while (lines.next(line)) {
        ++LinesRead;
        if (!line.empty()) decodeLine(line);
        if (textLines.text().size() + hexLines.text().size() >= handOnBytes) {
            output.showDecodedLines(textLines, hexLines);
            textLines.clear();
            hexLines.clear();
        }
        output.processPendingEvents();
        if (AbortDecoding) {
            aborted = true;
            break;
        }
    }
    // The input has been read as far as it will be; on a large log it is the
    // biggest thing in memory while the output takes the lines.
    OfflineInputLines.clear();

    output.setCountsText(CountsText(decoder_.TextCount, decoder_.HexCount));
    output.setProgressText(" Display...");
    textLines.append(aborted ? AbortMarker : EndMarker);
    output.showDecodedLines(textLines, hexLines);

    textLines.clear();
    hexLines.clear();
    output.setCountsText(CountsText(decoder_.TextCount, decoder_.HexCount));
    output.setProgressText("");
    DecoderIdle = true;
}

void OfflineDecoder::decodeLine(std::string_view line) {
    const LogLineParts parts = SplitLogLine(line);
    bool asWritten = false;
    const std::size_t count =
        ParseLogData(parts.data, decoder_.ReceiveBuffer.data(), ReceiveBufferSize, &asWritten);
    if (count >= 1 && count <= 63 && parts.portDigit >= '1' && parts.portDigit <= '4') {
        // A line the hex log wrote comes back unchanged as the package's hex
        // line: no need to write it anew.
        const bool regenerated = asWritten && (parts.stamp.empty() || line[1] == '$');
        decoder_.DecodePackage(count, parts.stamp, DecodeMode::Offline, parts.portDigit - '0',
                               regenerated ? line : std::string_view());
    }
}

}  // namespace zelvar
