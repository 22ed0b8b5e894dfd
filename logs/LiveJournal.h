#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "DurableFile.h"

namespace zelvar {

// Every package received while monitoring, as its stamped hex line, kept in
// a file beside the auto-saved logs until a save holds it, so that a crash
// or a power cut loses at most the last second. The lines are collected in
// memory and written by a thread of its own: at least once a second, and
// pushed to the disk every few seconds.
//
// The journal is a chain of segments, one file each ("*.journal" in the
// folder). A save takes the lines so far by closing the current segment,
// and removes it once the save is on the disk. Each segment file is held
// with an flock for as long as this process lives, which tells a second
// program in the same folder that it is not left behind.
// The most the journal keeps, written and waiting: about eight million
// packages. Beyond it (auto-save off, or failing for long) it takes no more
// lines and says so, rather than fill the disk or the memory.
constexpr std::uint64_t kJournalLimitBytes = std::uint64_t{1} << 30;
// The largest segment a start recovers: twice the most the live journal
// keeps, so that no segment a run wrote is ever beyond it. A larger file of
// that name is set aside unread.
constexpr std::uint64_t kJournalRecoveryLimitBytes = 2 * kJournalLimitBytes;

struct JournalTiming {
    std::chrono::milliseconds writeEvery{200};
    std::chrono::milliseconds syncEvery{3000};
};

class LiveJournal {
public:
    // `statusChanged` is called when writing starts or stops failing, or a
    // gap in the journal opens or closes: on whichever thread made the change
    // (the journal's own, the window's through rotate and discard, the log
    // writer's through the save hooks), always with the journal's mutex held.
    // It may only hand the news on, and must not call the journal.
    LiveJournal(std::string folder, std::function<void()> statusChanged = {},
                JournalTiming timing = JournalTiming(),
                std::uint64_t limitBytes = kJournalLimitBytes);
    // Writes out what is collected; the segment files stay (see discardAll).
    ~LiveJournal();
    LiveJournal(const LiveJournal&) = delete;
    LiveJournal& operator=(const LiveJournal&) = delete;

    // One package's line (without line end).
    void append(std::string_view line);
    // Closes the current segment and starts the next; gives the closed one.
    std::uint64_t rotate();
    // A save known by `key` is about to take its name and hold the lines of
    // these segments: recorded beside each of them first, so that a program
    // killed between that save and the segments' release is not recovered
    // twice. Throws FileWriteError.
    void markSaved(const std::vector<std::uint64_t>& segments, const DurableFile& key);
    // That save failed: its records go before its file does.
    void unmarkSaved(const std::vector<std::uint64_t>& segments);
    // The lines of these segments are saved: their files go.
    void discard(const std::vector<std::uint64_t>& segments);
    void discardThrough(std::uint64_t segment);
    // The segments up to this one that are still kept.
    std::vector<std::uint64_t> segmentsThrough(std::uint64_t segment) const;
    // Everything so far goes, collected or written (Clear, a clean close).
    void discardAll();
    // Blocks until everything collected so far is written and synced.
    void sync();

    // Empty while writing works; else what failed, with the system's text.
    std::string failure() const;
    // Lines that a crash now could lose, because a write failed or the
    // journal was full when they came, and that no save holds yet.
    bool hasGap() const;
    // Lines not taken at all because the journal was full.
    std::uint64_t droppedLines() const;
    // Files of this journal that exist, by name.
    std::vector<std::string> files() const;

private:
    struct Segment {
        std::string pending;
        std::unique_ptr<DurableFile> file;  // made at the first write, under the lock
        bool dirty = false;  // written but not yet synced
        bool closed = false;
        bool removing = false;
        bool saving = false;  // a save holds its lines: no file is made for it meanwhile
        std::uint64_t bytes = 0;  // written and pending, counted against the limit
        std::unique_ptr<DurableFile> savedMark;
    };

    void run();
    // Writes every segment's pending lines; with `syncAll`, syncs them too.
    void writeOut(std::unique_lock<std::mutex>& lock, bool syncAll);
    void openSegment(std::uint64_t id, Segment& segment, std::string& error);
    void removeSegment(Segment& segment);
    void markRemoving(std::uint64_t id, Segment& segment);
    void setFailure(std::string text);
    void openGap(std::uint64_t segment);
    std::string segmentPath(std::uint64_t id) const;

    const std::string folder_;
    const std::function<void()> statusChanged_;
    const JournalTiming timing_;
    const std::uint64_t limitBytes_;
    std::string prefix_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable written_;
    std::map<std::uint64_t, Segment> segments_;
    std::uint64_t current_ = 1;
    std::uint64_t syncRequests_ = 0;
    std::uint64_t syncsDone_ = 0;
    std::string failure_;
    std::uint64_t totalBytes_ = 0;
    std::uint64_t gapSegment_ = 0;  // the first segment with lines not kept; 0: none
    std::uint64_t dropped_ = 0;
    bool stopping_ = false;
    std::thread thread_;
};

// The journal segments of a folder that no running program holds: those
// left behind by a program that ended without closing. Only regular files
// named as this program names its segments are taken, each locked; the
// caller recovers it and then calls Release (which deletes it). A file of
// such a name that is no regular file, or larger than
// kJournalRecoveryLimitBytes, is set aside unread (see SetJournalAside) and
// comes back with the reason, as does one that cannot be opened; those have
// no fd. Records of saves whose segment is gone, and whose writer too, are
// removed.
struct AbandonedJournal {
    std::string path;
    int fd = -1;
    std::uint64_t bytes = 0;
    std::string problem;  // set aside or not opened: what the user is told
};
std::vector<AbandonedJournal> TakeAbandonedJournals(const std::string& folder);
// Whether a save recorded beside this journal segment (see markSaved) stands
// in its folder: then the segment's lines are saved and it only has to go.
bool SegmentSaved(const std::string& segmentPath);
// Records beside a segment that the save known by `key` holds its lines; the
// record is locked while the returned file lives. Throws FileWriteError.
std::unique_ptr<DurableFile> MarkSegmentSaved(const std::string& segmentPath, const DurableFile& key);
// Removes the record of a segment that is gone (after ReleaseJournal).
void ForgetSegmentSaved(const std::string& segmentPath);
// Deletes the journal and lets its lock go.
void ReleaseJournal(AbandonedJournal& journal);
// Lets the lock go and leaves the journal for another try.
void KeepJournal(AbandonedJournal& journal);
// Renames a file that is no journal a start can recover to <name>.bad (or
// <name>.<n>.bad when that is taken), never following a link, never
// replacing a file, so that no later start reads it again. Gives the new
// name; empty with `error` set when it could not be moved.
std::string SetJournalAside(const std::string& path, std::string& error);

}  // namespace zelvar
