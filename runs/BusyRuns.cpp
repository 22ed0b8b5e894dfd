#include "BusyRuns.h"

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>

namespace zelvar {

namespace {

constexpr Rule G = Rule::Go;
constexpr Rule R = Rule::Refuse;
constexpr Rule S = Rule::Stop;
constexpr Rule D = Rule::Defer;
constexpr Rule SD = Rule::StopThenDefer;

// Rows in the order of Command, columns in the order of RunKind:
//                                decoding  stop  close  question  gps  editor  log read
constexpr Rule kTable[kCommands][kRunKinds] = {
    /* Decode: one decoding at a time, never under a stop or a close */
    {R, R, R, R, R, G, G},
    /* Settings: nothing while decoding; a log read has its own copy */
    {R, R, R, R, R, G, G},
    /* Editor: nothing while decoding; no editor to keep the logs unsaved at a close */
    {R, R, R, R, R, G, G},
    /* StartMonitoring: stops a decoding and starts nothing then */
    {S, R, R, R, R, G, G},
    /* Clear: neither a decoding's counts nor the logs a stop or close saves */
    {R, R, R, R, R, G, G},
    /* SaveAs: a decoding's views may be saved as they stand */
    {G, R, R, R, R, G, G},
    /* GpsCommand: no port opened that a stop or close would leave behind */
    {G, R, R, R, R, G, G},
    /* EditorCommand: one at a time, none under a stop, a close or a question */
    {G, R, R, R, G, R, G},
    /* HideEditor: a running editor command stops first */
    {G, G, G, G, G, SD, G},
    /* HistoryCommand: nothing the window is reading into, nothing at a close */
    {G, G, R, G, G, G, R},
    /* HideHistory: once the logs are read */
    {G, G, G, G, G, G, D},
    /* Close: once the runs have ended; the running close is the one asked for */
    {SD, D, R, D, D, SD, SD},
};

}  // namespace

Rule RuleFor(Command command, RunKind run) {
    return kTable[static_cast<std::size_t>(command)][static_cast<std::size_t>(run)];
}

BusyRuns::Run BusyRuns::begin(RunKind kind, std::function<void()> stop) {
    if (kind == RunKind::Decoding) {
        decoding_.DecoderIdle = false;
        decoding_.AbortDecoding = false;
        stop = [this] { abortDecoding(); };
    }
    if (kind == RunKind::CloseSequence) closing_ = true;
    runs_.push_back({nextId_, kind, std::move(stop)});
    return Run(*this, nextId_++);
}

BusyRuns::Answer BusyRuns::ask(Command command, std::function<void()> later) {
    bool defer = false;
    for (const Entry& run : runs_) {
        const Rule rule = RuleFor(command, run.kind);
        if (rule == Rule::Refuse) return Answer::Refused;
        defer = defer || rule == Rule::Defer || rule == Rule::StopThenDefer;
    }
    // Copied first: a stop may let nothing run, but it must not see the list change.
    std::vector<std::function<void()>> stops;
    for (const Entry& run : runs_) {
        const Rule rule = RuleFor(command, run.kind);
        if ((rule == Rule::Stop || rule == Rule::StopThenDefer) && run.stop) stops.push_back(run.stop);
    }
    for (const auto& stop : stops) stop();
    if (!defer) return Answer::Go;
    deferred_[static_cast<std::size_t>(command)] = std::move(later);
    return Answer::Deferred;
}

std::optional<BusyRuns::Run> BusyRuns::tryBegin(Command command, RunKind kind,
                                                std::function<void()> stop,
                                                std::function<void()> later) {
    if (ask(command, std::move(later)) != Answer::Go) return std::nullopt;
    return begin(kind, std::move(stop));
}

bool BusyRuns::running(RunKind kind) const {
    return std::any_of(runs_.begin(), runs_.end(),
                       [kind](const Entry& run) { return run.kind == kind; });
}

void BusyRuns::letEventsThrough() {
    if (busy()) QCoreApplication::processEvents();
}

void BusyRuns::runAside(const std::function<void()>& work) {
    if (!busy()) {
        work();
        return;
    }
    std::atomic<bool> done{false};
    std::exception_ptr failure;
    // Posted to when the work ends, so that the wait below wakes.
    QObject waker;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        done = true;
        QMetaObject::invokeMethod(&waker, [] {}, Qt::QueuedConnection);
    });
    while (!done) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    worker.join();
    if (failure) std::rethrow_exception(failure);
}

void BusyRuns::end(unsigned id) {
    const auto entry =
        std::find_if(runs_.begin(), runs_.end(), [id](const Entry& run) { return run.id == id; });
    if (entry == runs_.end()) return;
    const RunKind kind = entry->kind;
    runs_.erase(entry);
    // Also when the decoder left with an exception.
    if (kind == RunKind::Decoding && !running(RunKind::Decoding)) decoding_.DecoderIdle = true;
    if (busy() || std::none_of(deferred_.begin(), deferred_.end(),
                               [](const auto& action) { return bool(action); })) {
        return;
    }
    // Not from here: the run's end is a destructor, and a command run inside
    // one would find its caller half gone.
    QMetaObject::invokeMethod(&events_, [this] { runDeferred(); }, Qt::QueuedConnection);
}

void BusyRuns::runDeferred() {
    for (auto& action : deferred_) {
        if (busy()) return;
        const std::function<void()> run = std::exchange(action, nullptr);
        if (!run) continue;
        try {
            run();
        } catch (const std::exception& error) {
            // The command's own failure: the commands after it still run.
            qWarning("A deferred command failed: %s", error.what());
        }
    }
}

}  // namespace zelvar
