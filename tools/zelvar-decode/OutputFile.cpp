#include "OutputFile.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace zelvar {

namespace {

constexpr std::size_t kBlock = 256 * 1024;

// The folder part of a path, with its trailing slash; empty for a bare name.
std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Follows symbolic links at the end of `path` to the name a write really
// replaces, which may not exist yet. Returns 0 or the error number.
int resolveLinks(std::string& path) {
    for (int hops = 0;; ++hops) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return 0;
        if (hops == 40) return ELOOP;
        std::vector<char> link(static_cast<std::size_t>(info.st_size) + 256);
        const ssize_t size = ::readlink(path.c_str(), link.data(), link.size());
        if (size < 0) return errno;
        // A full buffer: the link grew since lstat.
        if (static_cast<std::size_t>(size) == link.size()) return ENAMETOOLONG;
        const std::string target(link.data(), static_cast<std::size_t>(size));
        path = !target.empty() && target[0] == '/' ? target : folderOf(path) + target;
    }
}

mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

OutputFile::OutputFile(int fd, std::string name) : name_(std::move(name)), fd_(fd) {
    if (!IdentityOf(fd_, name_, identity_)) fail(errno);
    buffer_.reserve(kBlock);
}

OutputFile::OutputFile(const std::string& path, const std::vector<FileIdentity>& inputs)
    : name_("hex output file '" + path + "'"), target_(path), ownsFd_(true) {
    try {
        open(inputs);
    } catch (...) {
        release();
        throw;
    }
}

void OutputFile::open(const std::vector<FileIdentity>& inputs) {
    struct stat info {};
    // A pipe or device is opened by the name given: the links of /dev/stdout
    // and /dev/fd/N lead through /proc to names such as "pipe:[N]" that no
    // path reaches.
    const bool special = ::stat(target_.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
    if (!special) {
        if (const int error = resolveLinks(target_); error != 0) fail(error);
    }
    const bool exists = special || ::stat(target_.c_str(), &info) == 0;
    if (!exists && errno != ENOENT) fail(errno);
    if (exists && IdentityOf(target_, name_, identity_)) {
        if (std::string refused = OutputOverInput(inputs, {identity_}); !refused.empty()) {
            throw OutputError(refused);
        }
    }
    if (exists && S_ISDIR(info.st_mode)) fail(EISDIR);
    if (exists && !S_ISREG(info.st_mode)) {
        fd_ = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (fd_ < 0) fail(errno);
    } else {
        // A file the user may not write is not replaced behind their back.
        if (exists && ::access(target_.c_str(), W_OK) != 0) fail(errno);
        std::string name = folderOf(target_) + ".zelvar-decode.XXXXXX";
        fd_ = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd_ < 0) fail(errno);
        temporary_ = std::move(name);
        if (::fchmod(fd_, exists ? info.st_mode & 07777 : newFileMode()) != 0) fail(errno);
    }
    if (!exists && !IdentityOf(fd_, name_, identity_)) fail(errno);
    // What commit() replaces is a regular file, whatever stands there now.
    if (!temporary_.empty()) identity_.regular = true;
    buffer_.reserve(kBlock);
}

OutputFile::~OutputFile() {
    release();
}

void OutputFile::release() {
    if (ownsFd_ && fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
}

void OutputFile::write(std::string_view bytes) {
    // Large pieces go out as they are, without a copy into the buffer.
    if (bytes.size() >= kBlock / 4) {
        flush();
        writeOut(bytes);
        return;
    }
    if (buffer_.size() + bytes.size() > kBlock) flush();
    buffer_.append(bytes);
}

void OutputFile::commit() {
    flush();
    if (!ownsFd_) return;
    // Complete on disk before it takes the old file's place.
    if (!temporary_.empty() && ::fsync(fd_) != 0) fail(errno);
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0) fail(errno);
    if (temporary_.empty()) return;
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) fail(errno);
    temporary_.clear();
}

void OutputFile::flush() {
    writeOut(buffer_);
    buffer_.clear();
}

void OutputFile::writeOut(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) fail(written < 0 ? errno : EIO);
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

void OutputFile::fail(int error) const {
    throw OutputError("cannot write " + name_ + ": " + std::strerror(error));
}

}  // namespace zelvar
