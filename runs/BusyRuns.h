#pragma once

#include <QObject>
#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "OfflineDecoder.h"

namespace zelvar {

// The runs that let window events through part-way: what those events start
// must not change the state such a run is working on.
enum class RunKind {
    Decoding,       // an offline decoding (File > Decode, the editor's "Decode...")
    SessionStop,    // the monitoring session stops
    CloseSequence,  // the main window closes
    Question,       // the main window asks (unsaved logs, "Save Data As...")
    GpsCommand,     // the GPS port opens or closes, the clock is set from the GPS
    EditorCommand,  // an editor command: a transform, the sort, a mark, find, open, save
    LogRead,        // the signal history window reads saved logs
};
inline constexpr std::size_t kRunKinds = 7;

// The user's commands that such events may bring.
enum class Command {
    Decode,           // File > Decode..., the editor's "Decode..."
    Settings,         // "Settings..."
    Editor,           // "Editor..."
    StartMonitoring,  // "Start Monitoring" checked or unchecked
    Clear,            // "Clear Data Fields..."
    SaveAs,           // "Save Data As...", "Export Coverage..."
    GpsCommand,       // the GPS strip's start/stop, "Set Time from GPS"
    EditorCommand,    // any editor command that lets events through
    HideEditor,       // the editor window hidden (its close box, the main window)
    HistoryCommand,   // the signal history's "Open Log...", "Export CSV...", "Save Image..."
    HideHistory,      // the signal history window closed
    Close,            // the main window asked to close
};
inline constexpr std::size_t kCommands = 12;

// What a run under way does to a command that arrives meanwhile: the command
// goes on; it is refused; the run is asked to stop and the command goes on
// (it then finds the run still there and does what it does then); or the
// command waits until the runs have ended, the run asked to stop first or not.
enum class Rule { Go, Refuse, Stop, Defer, StopThenDefer };

// The program's one table of these rules.
Rule RuleFor(Command command, RunKind run);

// Owns "a run that lets events through is under way" for the whole program,
// with the design's flags of the offline decoding and of the close. Main
// thread only.
class BusyRuns {
public:
    class [[nodiscard]] Run {
    public:
        Run(Run&& other) noexcept
            : owner_(std::exchange(other.owner_, nullptr)), id_(other.id_) {}
        Run(const Run&) = delete;
        Run& operator=(const Run&) = delete;
        Run& operator=(Run&&) = delete;
        ~Run() {
            if (owner_) owner_->end(id_);
        }

    private:
        friend class BusyRuns;
        Run(BusyRuns& owner, unsigned id) : owner_(&owner), id_(id) {}
        BusyRuns* owner_;
        unsigned id_;
    };

    // The answer to a command: now, never, or once the last run has ended.
    enum class Answer { Go, Refused, Deferred };

    // A run begins; `stop` asks it to end early. A decoding clears
    // AbortDecoding and is no longer idle; its stop sets AbortDecoding. The
    // close sequence sets Closing.
    Run begin(RunKind kind, std::function<void()> stop = {});

    // Applies the table to `command` against every run under way: refused
    // when one refuses it; otherwise the runs that must stop are asked to,
    // and when one makes it wait, `later` runs from the event loop once the
    // last run has ended (a command deferred again replaces its earlier
    // deferral, so it runs once).
    Answer ask(Command command, std::function<void()> later = {});
    // Asks for `command` and, when it may go now, begins its run of `kind`.
    std::optional<Run> tryBegin(Command command, RunKind kind, std::function<void()> stop = {},
                                std::function<void()> later = {});
    // A deferred command that no longer needs to run (a hide overtaken by a show).
    void withdraw(Command command) { deferred_[static_cast<std::size_t>(command)] = nullptr; }

    bool running(RunKind kind) const;
    bool busy() const { return !runs_.empty(); }

    // Lets pending window events run: only inside a run, where the table
    // guards what they start.
    void letEventsThrough();
    // Runs `work`, which needs nothing of the windows, on a thread of its
    // own while window events run as they come, and returns when it has
    // ended, with its exception if it threw. Outside a run it simply runs.
    void runAside(const std::function<void()>& work);

    // --- the design's flags ---
    // The offline decoder reads and writes these as its own.
    DecodingFlags& decodingFlags() { return decoding_; }
    bool DecoderIdle() const { return decoding_.DecoderIdle; }
    bool AbortDecoding() const { return decoding_.AbortDecoding; }
    // Esc in a log view: whatever runs, a decoding stops at its next line.
    void abortDecoding() { decoding_.AbortDecoding = true; }
    // From the start of the close sequence until it is given up.
    bool Closing() const { return closing_; }
    // The close sequence gave up (the logs could not be saved): the window stays.
    void closeCancelled() { closing_ = false; }

private:
    struct Entry {
        unsigned id;
        RunKind kind;
        std::function<void()> stop;
    };
    void end(unsigned id);
    // The deferred commands, in the order of Command, so a deferred close
    // comes after the rest; one that begins a run holds back the others
    // until that run too has ended.
    void runDeferred();

    std::vector<Entry> runs_;
    unsigned nextId_ = 0;
    std::array<std::function<void()>, kCommands> deferred_;
    QObject events_;  // the deferred commands are posted to it
    DecodingFlags decoding_;
    bool closing_ = false;
};

// Raises a flag for as long as it lives, for a guard against re-entry that
// is no user's command (a decoding pass that a message box could restart).
class [[nodiscard]] FlagScope {
public:
    explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& flag_;
};

}  // namespace zelvar
