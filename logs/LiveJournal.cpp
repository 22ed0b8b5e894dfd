#include "LiveJournal.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <unistd.h>
#include <cerrno>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace zelvar {

namespace {

constexpr std::string_view kSuffix = ".journal";
// Beside a segment: the save that holds its lines (see markSaved).
constexpr std::string_view kSavedSuffix = ".saved";

std::string savedMarkPath(const std::string& segmentPath) {
    return segmentPath.substr(0, segmentPath.size() - kSuffix.size()) + std::string(kSavedSuffix);
}

}  // namespace

LiveJournal::LiveJournal(std::string folder, std::function<void()> statusChanged,
                         JournalTiming timing, std::uint64_t limitBytes)
    : folder_(std::move(folder)),
      statusChanged_(std::move(statusChanged)),
      timing_(timing),
      limitBytes_(limitBytes) {
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    prefix_ = "zelvar-" + std::to_string(::getpid()) + "-" + std::to_string(now.count());
    thread_ = std::thread([this] { run(); });
}

LiveJournal::~LiveJournal() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void LiveJournal::append(std::string_view line) {
    std::lock_guard lock(mutex_);
    const std::uint64_t bytes = line.size() + 2;
    if (totalBytes_ + bytes > limitBytes_) {
        // The segment stands for the lines it did not take until a save
        // of it closes the gap.
        segments_[current_];
        ++dropped_;
        openGap(current_);
        return;
    }
    Segment& segment = segments_[current_];
    segment.pending.append(line);
    segment.pending.append("\r\n", 2);
    segment.bytes += bytes;
    totalBytes_ += bytes;
}

std::uint64_t LiveJournal::rotate() {
    std::lock_guard lock(mutex_);
    const std::uint64_t closed = current_++;
    if (auto found = segments_.find(closed); found != segments_.end()) found->second.closed = true;
    return closed;
}

std::string LiveJournal::segmentPath(std::uint64_t id) const {
    return folder_ + "/" + prefix_ + "-" + std::to_string(id) + std::string(kSuffix);
}

void LiveJournal::markSaved(const std::vector<std::uint64_t>& segments, const DurableFile& key) {
    std::vector<std::uint64_t> onDisk;
    {
        std::lock_guard lock(mutex_);
        for (const std::uint64_t id : segments) {
            auto found = segments_.find(id);
            if (found == segments_.end()) continue;
            // A segment without a file gets none until the save is done with
            // it: then there is nothing to find twice.
            if (!found->second.file) {
                found->second.saving = true;
            } else {
                onDisk.push_back(id);
            }
        }
    }
    std::vector<std::pair<std::uint64_t, std::unique_ptr<DurableFile>>> marks;
    for (const std::uint64_t id : onDisk) marks.emplace_back(id, MarkSegmentSaved(segmentPath(id), key));
    if (marks.empty()) return;
    SyncFolder(folder_);
    std::lock_guard lock(mutex_);
    for (auto& [id, mark] : marks) {
        if (auto found = segments_.find(id); found != segments_.end()) {
            found->second.savedMark = std::move(mark);
        }
    }
}

void LiveJournal::unmarkSaved(const std::vector<std::uint64_t>& segments) {
    std::lock_guard lock(mutex_);
    for (const std::uint64_t id : segments) {
        auto found = segments_.find(id);
        if (found == segments_.end()) continue;
        found->second.saving = false;
        if (!found->second.savedMark) continue;
        found->second.savedMark->unplace();
        found->second.savedMark.reset();
    }
}

void LiveJournal::markRemoving(std::uint64_t id, Segment& segment) {
    segment.closed = true;
    totalBytes_ -= segment.bytes;
    segment.bytes = 0;
    segment.pending.clear();
    segment.removing = true;
    if (id == gapSegment_) {
        // A gap ends with the save of the segment it began in; a later
        // segment that still cannot be written opens it again.
        gapSegment_ = 0;
        if (statusChanged_) statusChanged_();
    }
}

void LiveJournal::discard(const std::vector<std::uint64_t>& segments) {
    {
        std::lock_guard lock(mutex_);
        for (const std::uint64_t id : segments) {
            if (auto found = segments_.find(id); found != segments_.end()) {
                markRemoving(id, found->second);
            }
        }
    }
    wake_.notify_all();
}

void LiveJournal::discardThrough(std::uint64_t segment) {
    {
        std::lock_guard lock(mutex_);
        for (auto& [id, s] : segments_) {
            if (id > segment) break;
            markRemoving(id, s);
        }
    }
    wake_.notify_all();
}

std::vector<std::uint64_t> LiveJournal::segmentsThrough(std::uint64_t segment) const {
    std::lock_guard lock(mutex_);
    std::vector<std::uint64_t> ids;
    for (const auto& [id, s] : segments_) {
        if (id > segment) break;
        if (!s.removing) ids.push_back(id);
    }
    return ids;
}

void LiveJournal::discardAll() {
    discardThrough(rotate());
}

void LiveJournal::sync() {
    std::unique_lock lock(mutex_);
    const std::uint64_t ticket = ++syncRequests_;
    wake_.notify_all();
    written_.wait(lock, [&] { return syncsDone_ >= ticket || stopping_; });
}

std::string LiveJournal::failure() const {
    std::lock_guard lock(mutex_);
    return failure_;
}

bool LiveJournal::hasGap() const {
    std::lock_guard lock(mutex_);
    return gapSegment_ != 0;
}

std::uint64_t LiveJournal::droppedLines() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

void LiveJournal::openGap(std::uint64_t segment) {
    if (gapSegment_ != 0) return;
    gapSegment_ = segment;
    if (statusChanged_) statusChanged_();
}

std::vector<std::string> LiveJournal::files() const {
    std::vector<std::string> paths;
    DIR* dir = ::opendir(folder_.c_str());
    if (dir == nullptr) return paths;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.starts_with(prefix_) && name.ends_with(kSuffix)) {
            paths.push_back(folder_ + "/" + std::string(name));
        }
    }
    ::closedir(dir);
    std::sort(paths.begin(), paths.end());
    return paths;
}

void LiveJournal::run() {
    // Named, so that its share of the processor can be told apart.
    pthread_setname_np(pthread_self(), "zelvar-journal");
    std::unique_lock lock(mutex_);
    auto lastSync = std::chrono::steady_clock::now();
    while (true) {
        const std::uint64_t requested = syncRequests_;
        wake_.wait_for(lock, timing_.writeEvery, [&] {
            if (stopping_ || syncRequests_ != requested) return true;
            for (const auto& [id, segment] : segments_) {
                if (segment.removing) return true;
            }
            return false;
        });
        const auto now = std::chrono::steady_clock::now();
        const bool syncNow =
            stopping_ || syncRequests_ != syncsDone_ || now - lastSync >= timing_.syncEvery;
        const std::uint64_t answering = syncRequests_;
        writeOut(lock, syncNow);
        if (syncNow) {
            lastSync = now;
            syncsDone_ = answering;
            written_.notify_all();
        }
        if (stopping_) return;
    }
}

void LiveJournal::writeOut(std::unique_lock<std::mutex>& lock, bool syncAll) {
    // Only this thread makes, writes, syncs and removes the files, and only it
    // erases segments, so the files can be written without the lock while
    // the window goes on collecting lines; a file descriptor only changes
    // under the lock.
    for (auto it = segments_.begin(); it != segments_.end();) {
        Segment& segment = it->second;
        if (segment.removing) {
            removeSegment(segment);
            it = segments_.erase(it);
            continue;
        }
        if (segment.saving && !segment.file) {
            ++it;
            continue;
        }
        std::string bytes = std::exchange(segment.pending, {});
        const bool closedEmpty = segment.closed && bytes.empty() && !segment.file &&
                                 it->first != gapSegment_;
        if (closedEmpty) {
            removeSegment(segment);
            it = segments_.erase(it);
            continue;
        }
        const std::uint64_t id = it->first;
        std::string error;
        std::uint64_t written = 0;
        // Made while the lock is held (once a segment): a save that comes
        // meanwhile must know for sure whether the segment has a file.
        if (!bytes.empty() && !segment.file) openSegment(id, segment, error);
        lock.unlock();
        if (segment.file) {
            const std::uint64_t before = segment.file->size();
            try {
                if (!bytes.empty()) {
                    segment.dirty = true;
                    segment.file->write(bytes);
                }
                if (syncAll && segment.dirty) {
                    segment.file->finish();
                    segment.dirty = false;
                }
            } catch (const FileWriteError& failure) {
                error = failure.what();
            }
            written = segment.file->size() - before;
        }
        lock.lock();
        // What did not reach the file stays, ahead of what came meanwhile: a
        // line cut short by a full disk is completed by the next write.
        if (written < bytes.size() && !segment.removing) {
            segment.pending.insert(0, bytes, written);
        }
        if (!error.empty()) {
            setFailure(std::move(error));
            openGap(id);
        } else if (!bytes.empty()) {
            setFailure({});
        }
        ++it;
    }
}

void LiveJournal::openSegment(std::uint64_t id, Segment& segment, std::string& error) {
    // Locked before it has its name: a program starting meanwhile never
    // takes it for one left behind.
    const std::string path = segmentPath(id);
    try {
        auto file = std::make_unique<DurableFile>(folder_, path);
        if (!file->place(path, Placement::KeepExisting)) {
            throw FileFailure("Cannot create file", path, EEXIST);
        }
        segment.file = std::move(file);
    } catch (const FileWriteError& failure) {
        error = failure.what();
    }
}

void LiveJournal::removeSegment(Segment& segment) {
    // Removed while still locked, so nobody can take it for a left-behind
    // one; the record of its save goes only after it.
    if (segment.file) segment.file->unplace();
    segment.file.reset();
    if (segment.savedMark) segment.savedMark->unplace();
    segment.savedMark.reset();
}

void LiveJournal::setFailure(std::string text) {
    if (text == failure_) return;
    failure_ = std::move(text);
    if (statusChanged_) statusChanged_();
}

namespace {

// "zelvar-<pid>-<ms>-<n>" and the ending: the names this program gives its
// segments and their records. Any other file is the user's.
bool isSegmentName(std::string_view name, std::string_view ending) {
    if (!name.starts_with("zelvar-") || !name.ends_with(ending)) return false;
    name.remove_prefix(7);
    name.remove_suffix(ending.size());
    int numbers = 0;
    bool digits = false;
    for (const char c : name) {
        if (c >= '0' && c <= '9') {
            digits = true;
        } else if (c == '-' && digits) {
            ++numbers;
            digits = false;
        } else {
            return false;
        }
    }
    return digits && numbers == 2;
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether `fd`, locked, is still the file that `path` names: its owner may
// have released or renamed it between the open and the lock.
bool stillNamed(int fd, const std::string& path) {
    struct stat held {};
    struct stat named {};
    return ::fstat(fd, &held) == 0 && held.st_nlink > 0 &&
           ::lstat(path.c_str(), &named) == 0 && sameFile(held, named);
}

std::string setAsideText(const std::string& path, const char* reason) {
    std::string error;
    const std::string aside = SetJournalAside(path, error);
    std::string text = "\"";
    text.append(path).append("\" ").append(reason);
    if (aside.empty()) return text.append(". ").append(error);
    text.append(": set aside as \"").append(aside.substr(aside.rfind('/') + 1)).append("\"");
    return text;
}

// A record whose segment is gone, left by a program killed between the two
// removals: it stands for nothing any more.
void removeLeftRecord(const std::string& folder, const std::string& name) {
    const std::string path = folder + "/" + name;
    const std::string segment =
        path.substr(0, path.size() - kSavedSuffix.size()) + std::string(kSuffix);
    struct stat info {};
    if (::lstat(segment.c_str(), &info) == 0) return;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        stillNamed(fd, path) && ::lstat(segment.c_str(), &info) != 0) {
        ::unlink(path.c_str());
    }
    ::close(fd);
}

}  // namespace

std::vector<AbandonedJournal> TakeAbandonedJournals(const std::string& folder) {
    std::vector<AbandonedJournal> found;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return found;
    std::vector<std::string> names;
    std::vector<std::string> records;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (isSegmentName(name, kSuffix)) names.emplace_back(name);
        if (isSegmentName(name, kSavedSuffix)) records.emplace_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string path = folder + "/" + name;
        // Never blocks on a pipe, never follows a link to a device.
        const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        struct stat info {};
        if (fd < 0) {
            const int error = errno;
            if (::lstat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
                found.push_back({path, -1, 0, setAsideText(path, "is not a regular file")});
            } else if (error != ENOENT) {
                std::string text = "Cannot open file \"";
                text.append(path).append("\". ").append(std::strerror(error));
                found.push_back({path, -1, 0, std::move(text)});
            }
            continue;
        }
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            ::close(fd);
            found.push_back({path, -1, 0, setAsideText(path, "is not a regular file")});
            continue;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || !stillNamed(fd, path)) {
            ::close(fd);  // a running program's own, or just released by it
            continue;
        }
        ::fstat(fd, &info);
        const auto bytes = static_cast<std::uint64_t>(info.st_size);
        if (bytes > kJournalRecoveryLimitBytes) {
            std::string text = setAsideText(path, "is larger than a journal can be");
            ::close(fd);
            found.push_back({path, -1, bytes, std::move(text)});
            continue;
        }
        found.push_back({path, fd, bytes, {}});
    }
    for (const std::string& name : records) removeLeftRecord(folder, name);
    return found;
}

std::string SetJournalAside(const std::string& path, std::string& error) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string aside = path;
        if (attempt > 0) aside.append(".").append(std::to_string(attempt));
        aside.append(".bad");
        try {
            if (MoveWithoutReplacing(path, aside)) return aside;
        } catch (const FileWriteError& failure) {
            error = failure.what();
            return {};
        }
    }
    error = "No free name to set it aside under.";
    return {};
}

bool SegmentSaved(const std::string& segmentPath) {
    const std::string mark = savedMarkPath(segmentPath);
    const int fd = ::open(mark.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    char text[64] = {};
    struct stat info {};
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    const ssize_t got = regular ? ::read(fd, text, sizeof text - 1) : -1;
    ::close(fd);
    unsigned long long device = 0;
    unsigned long long inode = 0;
    if (got <= 0 || std::sscanf(text, "%llu %llu", &device, &inode) != 2) return false;
    const std::string folder = segmentPath.substr(0, segmentPath.rfind('/'));
    return FolderHolds(folder, ".hex", static_cast<dev_t>(device), static_cast<ino_t>(inode)) ||
           FolderHolds(folder, ".txt", static_cast<dev_t>(device), static_cast<ino_t>(inode));
}

std::unique_ptr<DurableFile> MarkSegmentSaved(const std::string& segmentPath,
                                              const DurableFile& key) {
    const std::string folder = segmentPath.substr(0, segmentPath.rfind('/'));
    const std::string path = savedMarkPath(segmentPath);
    auto mark = std::make_unique<DurableFile>(folder, path);
    mark->write(std::to_string(key.device()) + " " + std::to_string(key.inode()) + "\n");
    mark->finish();
    mark->place(path, Placement::Replace);
    return mark;
}

void ForgetSegmentSaved(const std::string& segmentPath) {
    ::unlink(savedMarkPath(segmentPath).c_str());
}

void ReleaseJournal(AbandonedJournal& journal) {
    if (journal.fd < 0) return;
    ::unlink(journal.path.c_str());
    ::close(journal.fd);
    journal.fd = -1;
}

void KeepJournal(AbandonedJournal& journal) {
    if (journal.fd < 0) return;
    ::close(journal.fd);
    journal.fd = -1;
}

}  // namespace zelvar
