#pragma once

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "LogBytes.h"

namespace zelvar {

// A place in a log: a line and a byte offset into it.
struct TextPos {
    std::size_t line = 0;
    std::size_t column = 0;
    friend bool operator==(const TextPos&, const TextPos&) = default;
    friend auto operator<=>(const TextPos&, const TextPos&) = default;
};

// The lines of a log view, kept once as the bytes they are saved as (every
// line followed by CR LF) with the start of each line beside them. The bytes
// lie in chunks of about a megabyte that a snapshot shares: a save reads them
// on another thread while lines keep arriving, and a chunk changed after a
// snapshot is copied first (the chunks are implicitly shared). Appending,
// dropping the last line and emptying cost the same however long the log is;
// an edit rewrites the chunks it touches.
class LineStore {
public:
    std::size_t lineCount() const { return lines_; }
    bool empty() const { return lines_ == 0; }
    // Saved size: the lines with their CR LF.
    std::size_t byteCount() const { return bytes_; }
    // A line without its line end.
    std::string_view line(std::size_t index) const;

    // Appends LF-joined lines; nothing when both the text and the store are
    // empty (an empty view holds no line).
    void appendLines(std::string_view joined);
    // Takes the lines of another store over, after its own, without copying
    // them; the other store is left empty.
    void append(LineStore&& more);
    void removeLastLine();
    void clear();

    // Replaces what lies between two places with LF-joined text; gives the
    // place after the new text. Places beyond a line end count as its end.
    TextPos replace(TextPos from, TextPos to, std::string_view text);
    // What lies between two places, LF-joined.
    std::string text(TextPos from, TextPos to) const;
    TextPos endPos() const;
    TextPos clamp(TextPos pos) const;

    // The place at a byte offset into the LF-joined text, and back.
    std::size_t offsetOf(TextPos pos) const;
    TextPos posAt(std::size_t offset) const;

    // The saved bytes as they stand, sharing the chunks.
    LogBytes snapshot() const;

private:
    struct Chunk {
        QByteArray bytes;
        std::vector<std::uint32_t> starts;  // of its lines, into bytes
    };
    std::size_t chunkOf(std::size_t line) const;
    std::size_t lineEnd(const Chunk& chunk, std::size_t index) const;
    void appendLine(std::string_view line);
    void recount(std::size_t fromChunk);

    std::vector<Chunk> chunks_;
    std::vector<std::size_t> firstLine_;  // of each chunk
    std::vector<std::size_t> firstByte_;  // of each chunk, in the saved bytes
    std::size_t lines_ = 0;
    std::size_t bytes_ = 0;
};

}  // namespace zelvar
