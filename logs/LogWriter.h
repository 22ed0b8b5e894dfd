#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "DurableFile.h"

namespace zelvar {

// The two files of one save: base + ".txt" and base + ".hex", each written
// only when it has content. Pieces are written one after the other, so bytes
// kept from an earlier failed save go in front of the views' own.
struct LogPair {
    QString base;
    bool freeName = false;  // never replace: take base_1, base_2 ... when taken
    QList<QByteArray> text;
    QList<QByteArray> hex;
    // On the writing thread: once both files are on the disk and about to
    // get their names (may throw LogFileError), when that failed, and once
    // they have them. The journal hangs on these.
    std::function<void(const DurableFile&)> beforePlacing;
    std::function<void()> placingFailed;
    std::function<void()> placed;
};

// Writes both files of a pair; gives the base actually used. Throws LogFileError.
QString WriteLogPair(const LogPair& pair);

// Writes log pairs on a thread of its own, in the order they were handed in,
// so that a full view goes to disk while the window goes on reading its
// sockets. Besides the files and its own queue the thread runs each pair's
// hooks, which reach the live journal (under the journal's own mutex): their
// owner keeps what they hold alive until the writer has ended.
class LogWriter {
public:
    struct Outcome {
        std::uint64_t id = 0;
        QString base;   // as written
        QString error;  // the system's reason; empty when written
    };

    // `outcomeReady` is called on the writer thread after each pair; it may
    // only hand the news to another thread.
    explicit LogWriter(std::function<void()> outcomeReady = {});
    // Writes what was handed in, then ends the thread.
    ~LogWriter();
    LogWriter(const LogWriter&) = delete;
    LogWriter& operator=(const LogWriter&) = delete;

    std::uint64_t submit(LogPair pair);
    std::vector<Outcome> takeOutcomes();
    // Blocks until every pair handed in has been written or has failed.
    void waitIdle();
    bool idle() const;

private:
    void run();

    std::function<void()> outcomeReady_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idleChanged_;
    std::deque<std::pair<std::uint64_t, LogPair>> jobs_;
    std::vector<Outcome> outcomes_;
    std::uint64_t nextId_ = 1;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace zelvar
