#include "LogWriter.h"

#include <pthread.h>

#include "LogFile.h"

namespace zelvar {

QString WriteLogPair(const LogPair& pair) {
    LogPairFiles files(pair.base);
    QString used;
    try {
        for (const QByteArray& piece : pair.text) files.writeText(piece);
        for (const QByteArray& piece : pair.hex) files.writeHex(piece);
        used = files.place(pair.freeName ? Placement::KeepExisting : Placement::Replace,
                           pair.beforePlacing);
    } catch (const LogFileError&) {
        if (pair.placingFailed) pair.placingFailed();
        throw;
    }
    ReachFaultPoint(FaultPoint::BeforeRelease);
    if (pair.placed) pair.placed();
    return used;
}

LogWriter::LogWriter(std::function<void()> outcomeReady)
    : outcomeReady_(std::move(outcomeReady)), thread_([this] { run(); }) {}

LogWriter::~LogWriter() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

std::uint64_t LogWriter::submit(LogPair pair) {
    std::uint64_t id = 0;
    {
        std::lock_guard lock(mutex_);
        id = nextId_++;
        jobs_.emplace_back(id, std::move(pair));
    }
    wake_.notify_all();
    return id;
}

std::vector<LogWriter::Outcome> LogWriter::takeOutcomes() {
    std::lock_guard lock(mutex_);
    return std::exchange(outcomes_, {});
}

void LogWriter::waitIdle() {
    std::unique_lock lock(mutex_);
    idleChanged_.wait(lock, [this] { return jobs_.empty() && !busy_; });
}

bool LogWriter::idle() const {
    std::lock_guard lock(mutex_);
    return jobs_.empty() && !busy_;
}

void LogWriter::run() {
    // Named, so that its share of the processor can be told apart.
    pthread_setname_np(pthread_self(), "zelvar-logsave");
    std::unique_lock lock(mutex_);
    while (true) {
        wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty()) return;  // stopping, and everything is written
        auto [id, pair] = std::move(jobs_.front());
        jobs_.pop_front();
        busy_ = true;
        lock.unlock();
        Outcome outcome{id, pair.base, {}};
        try {
            outcome.base = WriteLogPair(pair);
        } catch (const LogFileError& error) {
            outcome.error = error.text();
        }
        pair = LogPair();  // the bytes go now, not when the next job comes
        lock.lock();
        outcomes_.push_back(std::move(outcome));
        busy_ = false;
        if (jobs_.empty()) idleChanged_.notify_all();
        if (outcomeReady_) {
            lock.unlock();
            outcomeReady_();
            lock.lock();
        }
    }
}

}  // namespace zelvar
