#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

namespace zelvar {

// The most a whole-file read takes: the editor's open, File > Decode and
// zelvar-edit refuse more. The windows hold a file several times over while
// they show it; beyond this, a file is no log a window can work with.
inline constexpr std::size_t kWholeFileLimit = std::size_t{256} << 20;

// The limit as messages give it, such as "256 MiB".
std::string LimitText(std::size_t limit);

// Why a file could not be read whole; what() is the reason alone, such as
// "No such file or directory" or "Larger than 256 MiB".
class WholeFileError : public std::runtime_error {
public:
    WholeFileError(const std::string& reason, bool opening)
        : std::runtime_error(reason), opening_(opening) {}
    // The file could not be opened (or is no regular file), rather than read.
    bool opening() const { return opening_; }

private:
    bool opening_;
};

// Reads everything left in `fd`, up to `limit` bytes, whatever size the file
// claims: a device or a pipe claims none, and a file may grow meanwhile.
// Throws WholeFileError on a read error or beyond the limit.
std::string ReadAll(int fd, std::size_t limit = kWholeFileLimit);

// Opens `path` without waiting for a FIFO's writer, refuses anything but a
// regular file, and reads it whole with ReadAll.
std::string ReadWholeFile(const std::string& path, std::size_t limit = kWholeFileLimit);

// Opens `path` as any reader does, so that a FIFO waits for its writer, and
// reads it with ReadAll: for the tools that take a FIFO as well as a file.
std::string ReadFileOrFifo(const std::string& path, std::size_t limit = kWholeFileLimit);

// Closes a descriptor on every way out.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor();
    int get() const { return fd_; }

private:
    int fd_;
};

// Opens `path` for reading without waiting for a FIFO's writer and refuses
// anything but a regular file. Returns the descriptor; throws WholeFileError.
int OpenRegularFile(const std::string& path);

// The error for more than `limit` bytes.
WholeFileError TooLargeError(std::size_t limit);

}  // namespace zelvar
