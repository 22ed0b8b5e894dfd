#include "DurableFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>
#include <vector>

namespace zelvar {

namespace {

// Hidden, so that nobody takes it for a log; the ending tells the clean-up
// which files are its business.
constexpr std::string_view kTemporaryPrefix = ".zelvar-";
constexpr std::string_view kTemporarySuffix = ".tmp";

std::atomic<FaultHook> faultHook{nullptr};

std::string randomTag() {
    static thread_local std::mt19937_64 generator{std::random_device{}()};
    static constexpr char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string tag;
    std::uint64_t value = generator();
    for (int i = 0; i < 12; ++i, value /= 36) tag.push_back(digits[value % 36]);
    return tag;
}

// 0 when moved, EEXIST when `to` is taken, else the system's error.
int moveWithoutReplacing(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    // File systems without the flag: a second name never replaces either,
    // and the first one goes once the second stands.
    if (errno != EINVAL && errno != ENOSYS) return errno;
    if (::link(from.c_str(), to.c_str()) != 0) return errno;
    ::unlink(from.c_str());
    return 0;
}

}  // namespace

DurableFile::DurableFile(const std::string& folder, std::string shownName,
                         std::optional<mode_t> mode)
    : shownName_(std::move(shownName)) {
    while (true) {
        path_ = folder;
        path_.append("/").append(kTemporaryPrefix).append(randomTag()).append(kTemporarySuffix);
        fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd_ < 0) {
            if (errno == EEXIST) continue;
            fail("Cannot create file", errno);
        }
        // A program starting just now may have taken the lock first and
        // removed the name as left behind: then this file is nobody's.
        int locked;
        do locked = ::flock(fd_, LOCK_EX);
        while (locked != 0 && errno == EINTR);
        struct stat info {};
        if (locked != 0 || ::fstat(fd_, &info) != 0 || (mode && ::fchmod(fd_, *mode) != 0)) {
            const int error = errno;
            ::unlink(path_.c_str());
            ::close(fd_);
            fd_ = -1;
            fail("Cannot create file", error);
        }
        if (info.st_nlink == 0) {
            ::close(fd_);
            continue;
        }
        device_ = info.st_dev;
        inode_ = info.st_ino;
        return;
    }
}

DurableFile::~DurableFile() {
    if (fd_ < 0) return;
    // Removed while still locked, so a clean-up never meets it unlocked.
    if (!placed_ && !unplaced_) ::unlink(path_.c_str());
    ::close(fd_);
}

FileWriteError FileFailure(const char* what, const std::string& name, int error) {
    std::string text = what;
    text.append(" \"").append(name).append("\". ").append(std::strerror(error));
    return FileWriteError(text, std::strerror(error));
}

void DurableFile::fail(const char* what, int error) const {
    throw FileFailure(what, shownName_, error);
}

void DurableFile::write(std::string_view bytes) {
    std::string_view left = bytes;
    const int error = WriteAll(fd_, left);
    size_ += bytes.size() - left.size();
    if (error != 0) fail("Cannot write file", error);
}

void DurableFile::finish() {
    if (::fdatasync(fd_) != 0) fail("Cannot write file", errno);
}

bool DurableFile::place(const std::string& path, Placement placement) {
    if (placement == Placement::Replace) {
        if (::rename(path_.c_str(), path.c_str()) != 0) fail("Cannot write file", errno);
    } else if (const int error = moveWithoutReplacing(path_, path); error == EEXIST) {
        return false;
    } else if (error != 0) {
        fail("Cannot write file", error);
    }
    path_ = path;
    placed_ = true;
    return true;
}

void DurableFile::unplace() {
    if (!placed_) return;
    ::unlink(path_.c_str());
    placed_ = false;
    unplaced_ = true;
}

int WriteAll(int fd, std::string_view& bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return written < 0 ? errno : EIO;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string FollowLinks(const std::string& path, const std::string& shownName) {
    const auto failed = [&shownName](int error) {
        return FileFailure("Cannot write file", shownName, error);
    };
    std::string followed = path;
    for (int hops = 0;; ++hops) {
        struct stat info {};
        if (::lstat(followed.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return followed;
        if (hops == 40) throw failed(ELOOP);
        std::vector<char> link(static_cast<std::size_t>(info.st_size) + 256);
        const ssize_t size = ::readlink(followed.c_str(), link.data(), link.size());
        if (size < 0) throw failed(errno);
        // A full buffer: the link grew since lstat.
        if (static_cast<std::size_t>(size) == link.size()) throw failed(ENAMETOOLONG);
        std::string target(link.data(), static_cast<std::size_t>(size));
        if (target.empty() || target[0] != '/') {
            const auto slash = followed.find_last_of('/');
            if (slash != std::string::npos) target.insert(0, followed, 0, slash + 1);
        }
        followed = std::move(target);
    }
}

std::unique_ptr<DurableFile> ReplacementFor(const std::string& target,
                                            const std::string& shownName) {
    struct stat info {};
    std::optional<mode_t> mode;
    if (::stat(target.c_str(), &info) == 0) {
        const int error = S_ISDIR(info.st_mode)                 ? EISDIR
                          : ::access(target.c_str(), W_OK) != 0 ? errno
                                                                : 0;
        if (error != 0) throw FileFailure("Cannot write file", shownName, error);
        mode = info.st_mode & 07777;
    }
    return std::make_unique<DurableFile>(FolderOf(target), shownName, mode);
}

void SaveWholeFile(const std::string& path, const std::string& shownName,
                   const std::vector<std::string_view>& pieces) {
    const std::string target = FollowLinks(path, shownName);
    const std::unique_ptr<DurableFile> file = ReplacementFor(target, shownName);
    for (const std::string_view piece : pieces) file->write(piece);
    file->finish();
    file->place(target, Placement::Replace);
    SyncFolder(FolderOf(target));
}

bool MoveWithoutReplacing(const std::string& from, const std::string& to) {
    const int error = moveWithoutReplacing(from, to);
    if (error == EEXIST) return false;
    if (error != 0) {
        throw FileFailure("Cannot write file", to, error);
    }
    return true;
}

void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int error = fd < 0 ? errno : 0;
    if (fd >= 0) {
        // Some file systems cannot sync a folder and say so: nothing to lose there.
        if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) error = errno;
        ::close(fd);
    }
    if (error != 0) {
        throw FileFailure("Cannot write folder", folder, error);
    }
}

bool FolderHolds(const std::string& folder, std::string_view extension, dev_t device,
                 ino_t inode) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return false;
    bool found = false;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        // Not by d_ino: on some file systems (overlays) it is not the inode
        // that stat gives.
        if (!name.ends_with(extension)) continue;
        struct stat info {};
        if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(info.st_mode) && info.st_dev == device && info.st_ino == inode) {
            found = true;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

void RemoveLeftTemporaries(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (!name.starts_with(kTemporaryPrefix) || !name.ends_with(kTemporarySuffix)) continue;
        const int fd = ::openat(::dirfd(dir), entry->d_name,
                                O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat info {};
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            // Still the file that was locked, not one made since under the name.
            struct stat named {};
            if (::fstatat(::dirfd(dir), entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
                named.st_dev == info.st_dev && named.st_ino == info.st_ino) {
                ::unlinkat(::dirfd(dir), entry->d_name, 0);
            }
        }
        ::close(fd);
    }
    ::closedir(dir);
}

void SetFaultHook(FaultHook hook) {
    faultHook.store(hook);
}

void ReachFaultPoint(FaultPoint point) {
    if (const FaultHook hook = faultHook.load()) hook(point);
}

}  // namespace zelvar
