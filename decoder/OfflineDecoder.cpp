#include "OfflineDecoder.h"

#include "DateTime.h"
#include "LogFormat.h"

namespace zelvar {

namespace {

// Where the hex-log writer puts the TAB for an 8- and a 9-digit stamp.
constexpr std::size_t kTabAfterShortStamp = 10;
constexpr std::size_t kTabAfterLongStamp = 11;

// Only '0'..'F' count as data: digits, the seven signs between them and the
// capital letters, so blanks and lowercase text fall out.
bool countsAsData(char c) { return c >= 0x30 && c <= 0x46; }

// The value of a two-character group read by its leading hexadecimal digits:
// "3:" is 3, ":3" is 0. Both characters are already known to be '0'..'F'.
std::uint8_t pairValue(char high, char low) {
    auto digit = [](char c) { return c <= '9' ? c - '0' : c >= 'A' ? c - 'A' + 10 : -1; };
    const int h = digit(high);
    if (h < 0) return 0;
    const int l = digit(low);
    return static_cast<std::uint8_t>(l < 0 ? h : h * 16 + l);
}

}  // namespace

LogLineParts SplitLogLine(std::string_view line) {
    const std::size_t tab = line.find('\t');
    if (tab == kTabAfterShortStamp || tab == kTabAfterLongStamp) {
        return LogLineParts{line[0], line.substr(2, tab - 2), line.substr(tab + 1)};
    }
    return LogLineParts{'1', {}, line};
}

std::size_t ParseLogData(std::string_view data, std::uint8_t* bytes, std::size_t capacity) {
    std::size_t count = 0;
    char high = 0;
    bool holding = false;
    for (char c : data) {
        if (!countsAsData(c)) continue;
        if (!holding) {
            high = c;
            holding = true;
            continue;
        }
        holding = false;
        if (count == capacity) break;
        bytes[count++] = pairValue(high, c);
    }
    return count;
}

OfflineDecoder::OfflineDecoder(PackageDecoder& decoder, const DisplayMirrors& mirrors)
    : decoder_(decoder), mirrors_(mirrors) {}

void OfflineDecoder::DecodeLogLines(std::string_view title) {
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
    // A decoded line is about as long as a hex line of 30 bytes; reserving
    // for that spares most regrowth on a long log.
    textLines.reserve(OfflineInputLines.size() + 3, OfflineInputLines.text().size() / 2 + 256);
    hexLines.reserve(OfflineInputLines.size(), OfflineInputLines.text().size() + 256);
    output.focusTextLog();
    decoder_.ReceiveBuffer.fill(0);

    textLines.append(title);
    textLines.append(mirrors_.OnlyRSSI ? RssiHeader : TextHeader);

    bool aborted = false;
    for (std::size_t i = 0; i < OfflineInputLines.size(); ++i) {
        const LogLineParts parts = SplitLogLine(OfflineInputLines[i]);
        const std::size_t count =
            ParseLogData(parts.data, decoder_.ReceiveBuffer.data(), ReceiveBufferSize);
        if (count >= 1 && count <= 63 && parts.portDigit >= '1' && parts.portDigit <= '4') {
            decoder_.DecodePackage(count, parts.stamp, DecodeMode::Offline,
                                   parts.portDigit - '0');
        }
        output.processPendingEvents();
        if (AbortDecoding) {
            aborted = true;
            break;
        }
    }

    output.setCountsText(CountsText(decoder_.TextCount, decoder_.HexCount));
    output.setProgressText(" Display...");
    textLines.append(aborted ? AbortMarker : EndMarker);
    output.showDecodedLines(textLines, hexLines);

    textLines.clear();
    hexLines.clear();
    OfflineInputLines.clear();
    output.setCountsText(CountsText(decoder_.TextCount, decoder_.HexCount));
    output.setProgressText("");
    DecoderIdle = true;
}

}  // namespace zelvar
