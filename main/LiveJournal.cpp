#include "LiveJournal.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <unistd.h>
#include <cerrno>
#include <algorithm>
#include <cstring>

namespace zelvar {

namespace {

constexpr std::string_view kSuffix = ".journal";

std::string systemText(int error) {
    return std::strerror(error);
}

bool writeAll(int fd, const std::string& bytes, int& error) {
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            error = errno;
            return false;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

LiveJournal::LiveJournal(std::string folder, std::function<void()> statusChanged,
                         JournalTiming timing)
    : folder_(std::move(folder)), statusChanged_(std::move(statusChanged)), timing_(timing) {
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
    for (auto& [id, segment] : segments_) {
        if (segment.fd >= 0) ::close(segment.fd);
    }
}

void LiveJournal::append(std::string_view line) {
    std::lock_guard lock(mutex_);
    std::string& pending = segments_[current_].pending;
    pending.append(line);
    pending.append("\r\n", 2);
}

std::uint64_t LiveJournal::rotate() {
    std::lock_guard lock(mutex_);
    const std::uint64_t closed = current_++;
    if (auto found = segments_.find(closed); found != segments_.end()) found->second.closed = true;
    return closed;
}

void LiveJournal::discard(std::uint64_t segment) {
    {
        std::lock_guard lock(mutex_);
        auto found = segments_.find(segment);
        if (found == segments_.end()) return;
        found->second.closed = true;
        found->second.pending.clear();
        found->second.removing = true;
    }
    wake_.notify_all();
}

void LiveJournal::discardThrough(std::uint64_t segment) {
    {
        std::lock_guard lock(mutex_);
        for (auto& [id, s] : segments_) {
            if (id > segment) break;
            s.closed = true;
            s.pending.clear();
            s.removing = true;
        }
    }
    wake_.notify_all();
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
    // erases segments, so the files can be worked on without the lock while
    // the window goes on collecting lines.
    for (auto it = segments_.begin(); it != segments_.end();) {
        Segment& segment = it->second;
        if (segment.removing) {
            removeSegment(segment);
            it = segments_.erase(it);
            continue;
        }
        std::string bytes = std::exchange(segment.pending, {});
        const bool closedEmpty = segment.closed && bytes.empty() && segment.path.empty();
        if (closedEmpty) {
            it = segments_.erase(it);
            continue;
        }
        const std::uint64_t id = it->first;
        lock.unlock();
        std::string error;
        int code = 0;
        if (!bytes.empty()) {
            if (segment.fd < 0) openSegment(id, segment, error);
            if (segment.fd >= 0) {
                if (writeAll(segment.fd, bytes, code)) {
                    segment.dirty = true;
                } else {
                    error = "Cannot write file \"" + segment.path + "\". " + systemText(code);
                }
            }
        }
        if (error.empty() && syncAll && segment.dirty) {
            if (::fdatasync(segment.fd) == 0) {
                segment.dirty = false;
            } else {
                code = errno;
                error = "Cannot write file \"" + segment.path + "\". " + systemText(code);
            }
        }
        const bool worked = !bytes.empty() && error.empty();
        lock.lock();
        if (!error.empty()) {
            setFailure(std::move(error));
        } else if (worked) {
            setFailure({});
        }
        ++it;
    }
}

void LiveJournal::openSegment(std::uint64_t id, Segment& segment, std::string& error) {
    const std::string name = prefix_ + "-" + std::to_string(id);
    const std::string path = folder_ + "/" + name + std::string(kSuffix);
    // Made and locked under a name the recovery does not look at, then given
    // its real one: a program starting meanwhile never sees it unlocked.
    const std::string making = folder_ + "/." + name + ".new";
    const int fd = ::open(making.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "Cannot create file \"" + path + "\". " + systemText(errno);
        return;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::rename(making.c_str(), path.c_str()) != 0) {
        error = "Cannot create file \"" + path + "\". " + systemText(errno);
        ::unlink(making.c_str());
        ::close(fd);
        return;
    }
    segment.fd = fd;
    segment.path = path;
}

void LiveJournal::removeSegment(Segment& segment) {
    if (segment.fd < 0) return;
    // Removed while still locked, so nobody can take it for a left-behind one.
    ::unlink(segment.path.c_str());
    ::close(segment.fd);
    segment.fd = -1;
}

void LiveJournal::setFailure(std::string text) {
    if (text == failure_) return;
    failure_ = std::move(text);
    if (statusChanged_) statusChanged_();
}

std::vector<AbandonedJournal> TakeAbandonedJournals(const std::string& folder) {
    std::vector<AbandonedJournal> found;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return found;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.size() > kSuffix.size() && name.front() != '.' && name.ends_with(kSuffix)) {
            names.emplace_back(name);
        }
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string path = folder + "/" + name;
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);  // a running program's own
            continue;
        }
        found.push_back({path, fd});
    }
    return found;
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
