#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "InputLineList.h"
#include "LogLineReader.h"
#include "PackageDecoder.h"

namespace zelvar {

// One line of a saved log split into its parts. A stamped line has its first
// TAB at the 11th or 12th character; any other line is data of port "1"
// without a stamp.
struct LogLineParts {
    char portDigit = '1';
    std::string_view stamp;
    std::string_view data;
};

LogLineParts SplitLogLine(std::string_view line);

// Turns a line's data into bytes: only the characters '0'..'F' (0x30..0x46)
// count, taken two at a time, each pair read by its leading hexadecimal
// digits. Stores at most `capacity` bytes and returns how many it stored.
// `asWritten`, when given, tells whether the data is exactly the hex text of
// those bytes as the hex log writes it.
std::size_t ParseLogData(std::string_view data, std::uint8_t* bytes, std::size_t capacity,
                         bool* asWritten = nullptr);

// The two flags of an offline decoding run: no decoding is running; please
// stop the running one. The window's busy-run owner keeps the program's;
// elsewhere a decoder keeps its own.
struct DecodingFlags {
    bool DecoderIdle = true;
    bool AbortDecoding = false;
};

// Runs a saved log through the package decoder: fills the decoder's
// collecting lists under a title and a column header, ends them with "End"
// (or "Esc" when stopped) and hands them to the output.
class OfflineDecoder {
public:
    OfflineDecoder(PackageDecoder& decoder, const DisplayMirrors& mirrors);
    OfflineDecoder(PackageDecoder& decoder, const DisplayMirrors& mirrors, DecodingFlags& flags);
    OfflineDecoder(const OfflineDecoder&) = delete;
    OfflineDecoder& operator=(const OfflineDecoder&) = delete;

    // The lines waiting for DecodeLogLines, filled by the caller.
    const InputLineList& input() const { return OfflineInputLines; }
    void appendInput(std::string_view line) { OfflineInputLines.append(line); }
    void reserveInput(std::size_t chars) { OfflineInputLines.reserve(chars); }
    void shareInput(std::shared_ptr<const std::string> lines) {
        OfflineInputLines.share(std::move(lines));
    }
    void clearInput() { OfflineInputLines.clear(); }

    // Decodes the input and hands the output both lists in one step, or,
    // given a size, each time the lists pass it (an output that gathers the
    // portions never holds the lists and its copy of them at once). The
    // input gives its memory back as it is read. The caller fills the input,
    // resets the port state and checks that the input is not empty.
    void DecodeLogLines(std::string_view title,
                        std::size_t handOnBytes = std::numeric_limits<std::size_t>::max());

    // The same run over a log read as it is decoded, for a log of any size:
    // the collected lines are handed to the output, and the lists emptied,
    // each time they pass a few hundred kilobytes, so the output sees the
    // same lines in the same order in several portions. Nothing happens for
    // a log without lines. The caller resets the port state. A read error
    // leaves the run as an exception from the reader.
    void DecodeLogStream(std::string_view title, LogLineReader& lines);

    // No offline decoding is running.
    bool idle() const { return DecoderIdle; }
    // Asks the running decoding to stop after its current line.
    void requestAbort() { AbortDecoding = true; }
    bool abortRequested() const { return AbortDecoding; }
    // Lines of the log taken so far in the running decoding, blank ones too:
    // while a package is decoded, its line number.
    std::uint64_t linesRead() const { return LinesRead; }

private:
    template <class Lines>
    void run(std::string_view title, Lines& lines, std::size_t handOnBytes);
    void decodeLine(std::string_view line);

    PackageDecoder& decoder_;
    const DisplayMirrors& mirrors_;
    DecodingFlags ownFlags_;  // when none are given
    InputLineList OfflineInputLines;
    bool& DecoderIdle;
    bool& AbortDecoding;
    std::uint64_t LinesRead = 0;
};

}  // namespace zelvar
