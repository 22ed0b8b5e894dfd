#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

namespace zelvar {

// Reads the lines of a log from an open file one block at a time, so that a
// log of any size needs memory for one block and its longest line only. The
// file is read, never mapped: a mapped file that someone truncates meanwhile
// would end the process with SIGBUS. Lines end at CR LF, LF or a lone CR; a
// line end at the very end of the file does not start another line (the same
// rule as LineList::fromText).
class LogLineReader {
public:
    // Reads from `fd`, which stays open and owned by the caller.
    explicit LogLineReader(int fd, std::size_t blockSize = 256 * 1024);

    // The next line without its line end, valid until the next call; false
    // after the last line. Throws std::system_error when the file cannot be
    // read.
    bool next(std::string_view& line);

private:
    // Moves the unread rest to the front and reads more behind it.
    void fill();

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
};

}  // namespace zelvar
