// The busy-run owner: its table row by row, as each command meets each kind
// of run, and the deferred commands and flags it keeps.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include "BusyRuns.h"

using namespace zelvar;

namespace {

constexpr RunKind kKinds[] = {RunKind::Decoding,   RunKind::SessionStop, RunKind::CloseSequence,
                              RunKind::Question,   RunKind::GpsCommand,  RunKind::EditorCommand};

// What happens to `command` while one run of `kind` is under way: whether it
// goes, is refused or waits, whether the run was asked to stop, and whether
// a waiting command ran once that run had ended.
std::string outcome(Command command, RunKind kind) {
    BusyRuns runs;
    bool stopped = false;
    int ranLater = 0;
    BusyRuns::Answer answer{};
    {
        const BusyRuns::Run run = runs.begin(kind, [&] { stopped = true; });
        answer = runs.ask(command, [&] { ++ranLater; });
        stopped = stopped || runs.AbortDecoding();
        if (ranLater != 0) return "ran before the run ended";
    }
    std::string text = answer == BusyRuns::Answer::Go        ? "go"
                       : answer == BusyRuns::Answer::Refused ? "refused"
                                                             : "waits";
    if (stopped) text += "+stop";
    if (answer == BusyRuns::Answer::Deferred && ranLater != 1) {
        text += " (ran " + std::to_string(ranLater) + "x)";
    }
    return text;
}

// A command's outcomes under a decoding, a session's stop, the close, a
// question, a GPS command and an editor command, in that order.
std::string row(Command command) {
    std::string text;
    for (const RunKind kind : kKinds) text += (text.empty() ? "" : ", ") + outcome(command, kind);
    return text;
}

}  // namespace

TEST(BusyRunTable, DecodeOnlyBesideAnEditorCommand) {
    EXPECT_EQ(row(Command::Decode), "refused, refused, refused, refused, refused, go");
}

TEST(BusyRunTable, SettingsDoNothingWhileBusy) {
    EXPECT_EQ(row(Command::Settings), "refused, refused, refused, refused, refused, go");
}

TEST(BusyRunTable, EditorDoesNothingWhileBusy) {
    EXPECT_EQ(row(Command::Editor), "refused, refused, refused, refused, refused, go");
}

TEST(BusyRunTable, StartMonitoringStopsADecoding) {
    EXPECT_EQ(row(Command::StartMonitoring), "go+stop, refused, refused, refused, refused, go");
}

TEST(BusyRunTable, ClearLeavesRunningWorkAlone) {
    EXPECT_EQ(row(Command::Clear), "refused, refused, refused, refused, refused, go");
}

TEST(BusyRunTable, SaveAsWritesADecodingsViews) {
    EXPECT_EQ(row(Command::SaveAs), "go, refused, refused, refused, refused, go");
}

TEST(BusyRunTable, GpsCommandsNotUnderAStopOrClose) {
    EXPECT_EQ(row(Command::GpsCommand), "go, refused, refused, refused, refused, go");
}

TEST(BusyRunTable, EditorCommandsOneAtATime) {
    EXPECT_EQ(row(Command::EditorCommand), "go, refused, refused, refused, go, refused");
}

TEST(BusyRunTable, HidingTheEditorStopsItsCommandFirst) {
    EXPECT_EQ(row(Command::HideEditor), "go, go, go, go, go, waits+stop");
}

TEST(BusyRunTable, CloseFollowsEveryRunButItsOwn) {
    EXPECT_EQ(row(Command::Close), "waits+stop, waits, refused, waits, waits, waits+stop");
}

TEST(BusyRuns, ADeferredCloseRunsOnceWhenTheLastRunEnds) {
    BusyRuns runs;
    int closes = 0;
    int hides = 0;
    std::optional<BusyRuns::Run> question = runs.begin(RunKind::Question);
    {
        const BusyRuns::Run editor = runs.begin(RunKind::EditorCommand);
        EXPECT_EQ(runs.ask(Command::Close, [&] { ++closes; }), BusyRuns::Answer::Deferred);
        EXPECT_EQ(runs.ask(Command::Close, [&] { ++closes; }), BusyRuns::Answer::Deferred);
        EXPECT_EQ(runs.ask(Command::HideEditor, [&] { ++hides; }), BusyRuns::Answer::Deferred);
    }
    EXPECT_EQ(closes + hides, 0);  // the question still stands
    question.reset();
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(hides, 1);
    EXPECT_FALSE(runs.busy());

    // A hide overtaken by a show never runs.
    {
        const BusyRuns::Run editor = runs.begin(RunKind::EditorCommand);
        EXPECT_EQ(runs.ask(Command::HideEditor, [&] { ++hides; }), BusyRuns::Answer::Deferred);
        runs.withdraw(Command::HideEditor);
    }
    EXPECT_EQ(hides, 1);
}

TEST(BusyRuns, KeepsTheDecodingAndCloseFlags) {
    BusyRuns runs;
    EXPECT_TRUE(runs.DecoderIdle());
    runs.abortDecoding();  // an Esc left over from before
    {
        const BusyRuns::Run decoding = runs.begin(RunKind::Decoding);
        EXPECT_FALSE(runs.DecoderIdle());
        EXPECT_FALSE(runs.AbortDecoding());
        // The decoder sets the flag itself at its end; a decoder that left
        // with an exception does not, and the run's end still does.
        runs.decodingFlags().DecoderIdle = false;
    }
    EXPECT_TRUE(runs.DecoderIdle());

    EXPECT_FALSE(runs.Closing());
    {
        const BusyRuns::Run closing = runs.begin(RunKind::CloseSequence);
        EXPECT_TRUE(runs.Closing());
        runs.closeCancelled();
    }
    EXPECT_FALSE(runs.Closing());
    {
        const BusyRuns::Run closing = runs.begin(RunKind::CloseSequence);
    }
    EXPECT_TRUE(runs.Closing());  // granted: the program ends closing
}

// Work set aside runs while the events do: it waits here for a timer that
// only the events can fire, and its failure comes back to the caller.
TEST(BusyRuns, WorkSetAsideLeavesTheEventsRunning) {
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    BusyRuns runs;
    const BusyRuns::Run run = runs.begin(RunKind::EditorCommand, [] {});
    std::atomic<bool> fired{false};
    QTimer::singleShot(0, &app, [&] { fired = true; });
    runs.runAside([&] {
        while (!fired) std::this_thread::yield();
    });
    EXPECT_TRUE(fired);
    EXPECT_THROW(runs.runAside([] { throw std::runtime_error("no room"); }), std::runtime_error);
}
