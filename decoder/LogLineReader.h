#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

namespace zelvar {

// The block a saved log is read in.
inline constexpr std::size_t kLogReadBlock = 256 * 1024;
// No package comes near this; a longer line is no log line, and holding it
// would let one line of a damaged or foreign file take any memory.
inline constexpr std::size_t kLongestLogLine = std::size_t{1} << 20;

// Reads the lines of a log from an open file one block at a time, so that a
// log of any size needs memory for one block and its longest line only. The
// file is read, never mapped: a mapped file that someone truncates meanwhile
// would end the process with SIGBUS. Lines end at CR LF, LF or a lone CR; a
// line end at the very end of the file does not start another line (the same
// rule as LineList::fromText).
class LogLineReader {
public:
    // Reads from `fd`, which stays open and owned by the caller. A line
    // longer than `longestLine` bytes (0: no limit) is skipped, not given,
    // so that the memory needed stays within a few times that limit.
    explicit LogLineReader(int fd, std::size_t blockSize = kLogReadBlock,
                           std::size_t longestLine = 0);

    // The next line without its line end, valid until the next call; false
    // after the last line. Throws std::system_error when the file cannot be
    // read.
    bool next(std::string_view& line);

    // The lines skipped as too long so far, and the bytes read.
    std::size_t skippedLines() const { return skipped_; }
    std::size_t bytesRead() const { return bytesRead_; }

private:
    // The next line, whatever its length.
    bool nextAny(std::string_view& line);
    // Moves the unread rest to the front and reads more behind it.
    void fill();
    // Drops the rest of an overlong line up to its line end; false when the
    // file ends first.
    bool skipLongLine();

    int fd_;
    std::size_t capacity_;
    std::unique_ptr<char[]> buffer_;
    std::size_t begin_ = 0;  // first unread byte
    std::size_t end_ = 0;    // end of the bytes read
    // Where the next LF stands (end_ when there is none), searched once per
    // buffer fill: a log of lone CRs would otherwise be searched to the
    // block's end for every line.
    std::size_t nextLf_ = 0;
    bool lfKnown_ = false;
    bool skipLf_ = false;  // a CR ended the last block: a LF next belongs to it
    bool atEnd_ = false;
    std::size_t longestLine_;
    bool skipping_ = false;  // inside an overlong line
    std::size_t skipped_ = 0;
    std::size_t bytesRead_ = 0;
};

}  // namespace zelvar
