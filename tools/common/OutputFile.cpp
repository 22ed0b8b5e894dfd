#include "OutputFile.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "DurableFile.h"

namespace zelvar {

namespace {

constexpr std::size_t kBlock = 256 * 1024;

}  // namespace

OutputFile::OutputFile(int fd, std::string name) : name_(std::move(name)), fd_(fd) {
    if (!IdentityOf(fd_, name_, identity_)) fail(errno);
    buffer_.reserve(kBlock);
}

OutputFile::OutputFile(const std::string& path, const std::vector<FileIdentity>& inputs)
    : OutputFile(path, inputs, "hex output file '" + path + "'") {}

OutputFile::OutputFile(const std::string& path, const std::vector<FileIdentity>& inputs,
                       std::string name)
    : name_(std::move(name)), target_(path), ownsFd_(true) {
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
    try {
        if (!special) target_ = FollowLinks(target_, name_);
    } catch (const FileWriteError& error) {
        fail(error.reason());
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
        try {
            replacement_ = ReplacementFor(target_, name_);
        } catch (const FileWriteError& error) {
            fail(error.reason());
        }
        if (!exists) {
            identity_ = {name_, replacement_->device(), replacement_->inode(), true};
        }
    }
    // What commit() replaces is a regular file, whatever stands there now.
    if (replacement_) identity_.regular = true;
    buffer_.reserve(kBlock);
}

OutputFile::~OutputFile() {
    release();
}

void OutputFile::release() {
    if (ownsFd_ && fd_ >= 0) ::close(fd_);
    fd_ = -1;
    // A replacement not put in place goes with its object.
    replacement_.reset();
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
    if (replacement_) {
        try {
            replacement_->finish();
            replacement_->place(target_, Placement::Replace);
            SyncFolder(FolderOf(target_));
        } catch (const FileWriteError& error) {
            fail(error.reason());
        }
        return;
    }
    if (!ownsFd_) return;
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0) fail(errno);
}

void OutputFile::flush() {
    writeOut(buffer_);
    buffer_.clear();
}

void OutputFile::writeOut(std::string_view bytes) {
    if (replacement_) {
        try {
            replacement_->write(bytes);
        } catch (const FileWriteError& error) {
            fail(error.reason());
        }
        return;
    }
    if (const int error = WriteAll(fd_, bytes); error != 0) fail(error);
}

void OutputFile::fail(int error) const {
    fail(std::string(std::strerror(error)));
}

void OutputFile::fail(const std::string& reason) const {
    std::string message = "cannot write ";
    message.append(name_).append(": ").append(reason);
    throw OutputError(message);
}

}  // namespace zelvar
