#include "ReadWholeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace zelvar {

namespace {

constexpr std::size_t kBlock = 64 * 1024;

}  // namespace

FileDescriptor::~FileDescriptor() {
    ::close(fd_);
}

std::string LimitText(std::size_t limit) {
    std::string text;
    if (limit % (std::size_t{1} << 20) == 0) {
        text.append(std::to_string(limit >> 20)).append(" MiB");
    } else {
        text.append(std::to_string(limit)).append(" bytes");
    }
    return text;
}

WholeFileError TooLargeError(std::size_t limit) {
    std::string reason = "Larger than ";
    reason.append(LimitText(limit));
    return WholeFileError(reason, false);
}

std::string ReadAll(int fd, std::size_t limit) {
    std::string bytes;
    struct stat info {};
    // The claimed size only sizes the first buffer; the reads decide.
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
        const auto claimed = static_cast<std::size_t>(info.st_size);
        if (claimed > limit) throw TooLargeError(limit);
        bytes.reserve(claimed + 1);
    }
    std::size_t size = 0;
    for (;;) {
        // One byte beyond the limit tells a file of exactly the limit from a
        // larger one.
        if (size == bytes.size()) {
            const std::size_t room = std::max({bytes.capacity(), 2 * size, kBlock});
            bytes.resize(std::min(room, limit + 1));
        }
        const ssize_t got = ::read(fd, bytes.data() + size, bytes.size() - size);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            throw WholeFileError(std::strerror(errno), false);
        }
        size += static_cast<std::size_t>(got);
        if (size > limit) throw TooLargeError(limit);
    }
    bytes.resize(size);
    return bytes;
}

int OpenRegularFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) throw WholeFileError(std::strerror(errno), true);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = errno;
        const bool folder = S_ISDIR(info.st_mode);
        ::close(fd);
        throw WholeFileError(folder ? std::strerror(EISDIR)
                             : info.st_mode != 0 ? "Not a regular file"
                                                 : std::strerror(error),
                             true);
    }
    return fd;
}

std::string ReadWholeFile(const std::string& path, std::size_t limit) {
    const FileDescriptor file(OpenRegularFile(path));
    return ReadAll(file.get(), limit);
}

std::string ReadFileOrFifo(const std::string& path, std::size_t limit) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw WholeFileError(std::strerror(errno), true);
    const FileDescriptor file(fd);
    return ReadAll(file.get(), limit);
}

}  // namespace zelvar
