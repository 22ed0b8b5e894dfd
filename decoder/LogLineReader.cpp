#include "LogLineReader.h"

#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace zelvar {

LogLineReader::LogLineReader(int fd, std::size_t blockSize, std::size_t longestLine)
    : fd_(fd),
      capacity_(blockSize == 0 ? 1 : blockSize),
      buffer_(new char[capacity_]),
      longestLine_(longestLine) {}

bool LogLineReader::skipLongLine() {
    while (true) {
        char* const data = buffer_.get();
        for (std::size_t at = begin_; at < end_; ++at) {
            if (data[at] != '\r' && data[at] != '\n') continue;
            skipping_ = false;
            begin_ = at + 1;
            if (data[at] == '\r') {
                if (begin_ < end_) {
                    if (data[begin_] == '\n') ++begin_;
                } else {
                    skipLf_ = !atEnd_;
                }
            }
            lfKnown_ = false;
            return true;
        }
        begin_ = end_ = 0;
        lfKnown_ = false;
        if (atEnd_) return false;
        fill();
    }
}

bool LogLineReader::next(std::string_view& line) {
    // A long line may also come whole within one buffer.
    while (nextAny(line)) {
        if (longestLine_ == 0 || line.size() <= longestLine_) return true;
        ++skipped_;
    }
    return false;
}

bool LogLineReader::nextAny(std::string_view& line) {
    while (true) {
        if (skipping_ && !skipLongLine()) return false;
        char* const data = buffer_.get();
        if (skipLf_ && begin_ < end_) {
            if (data[begin_] == '\n') ++begin_;
            skipLf_ = false;
        }
        // Blank lines come in long runs in some logs: no search for them.
        if (begin_ + 1 < end_ && (data[begin_] == '\n' || data[begin_] == '\r')) {
            line = std::string_view(data + begin_, 0);
            begin_ += data[begin_] == '\r' && data[begin_ + 1] == '\n' ? 2 : 1;
            return true;
        }
        if (!lfKnown_ || nextLf_ < begin_) {
            const void* lf = std::memchr(data + begin_, '\n', end_ - begin_);
            nextLf_ = lf != nullptr ? static_cast<std::size_t>(static_cast<const char*>(lf) - data)
                                    : end_;
            lfKnown_ = true;
        }
        const void* cr = std::memchr(data + begin_, '\r', nextLf_ - begin_);
        if (cr != nullptr) {
            const auto at = static_cast<std::size_t>(static_cast<const char*>(cr) - data);
            line = std::string_view(data + begin_, at - begin_);
            if (at + 1 < end_) {
                begin_ = data[at + 1] == '\n' ? at + 2 : at + 1;
            } else {
                begin_ = end_;
                skipLf_ = !atEnd_;
            }
            return true;
        }
        if (nextLf_ < end_) {
            line = std::string_view(data + begin_, nextLf_ - begin_);
            begin_ = nextLf_ + 1;
            return true;
        }
        if (longestLine_ != 0 && end_ - begin_ > longestLine_) {
            // No line end within the limit: the line is dropped as it comes.
            skipping_ = true;
            ++skipped_;
            begin_ = end_;
            continue;
        }
        if (atEnd_) {
            if (begin_ == end_) return false;
            line = std::string_view(data + begin_, end_ - begin_);
            begin_ = end_;
            return true;
        }
        fill();
    }
}

void LogLineReader::fill() {
    if (begin_ > 0) {
        std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    if (end_ == capacity_) {
        // One line longer than a block: the buffer grows to hold it.
        auto larger = std::make_unique<char[]>(capacity_ * 2);
        std::memcpy(larger.get(), buffer_.get(), end_);
        buffer_ = std::move(larger);
        capacity_ *= 2;
    }
    lfKnown_ = false;
    while (true) {
        const ssize_t got = ::read(fd_, buffer_.get() + end_, capacity_ - end_);
        if (got > 0) {
            end_ += static_cast<std::size_t>(got);
            bytesRead_ += static_cast<std::size_t>(got);
            return;
        }
        if (got == 0) {
            atEnd_ = true;
            return;
        }
        if (errno != EINTR) throw std::system_error(errno, std::generic_category());
    }
}

}  // namespace zelvar
