// The busy-run owner: the deferred commands and flags it keeps, and work set
// aside. Its table is tested through the commands' own call sites
// (tests/main/BusyRunSitesTest.cpp).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <optional>
#include <stdexcept>
#include <thread>

#include "BusyRuns.h"

using namespace zelvar;

TEST(BusyRuns, ADeferredCloseRunsOnceWhenTheLastRunEnds) {
    int argc = 0;
    QCoreApplication app(argc, nullptr);
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
    QCoreApplication::processEvents();
    EXPECT_EQ(closes + hides, 0);  // the question still stands
    question.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(hides, 1);
    EXPECT_FALSE(runs.busy());

    // A hide overtaken by a show never runs.
    {
        const BusyRuns::Run editor = runs.begin(RunKind::EditorCommand);
        EXPECT_EQ(runs.ask(Command::HideEditor, [&] { ++hides; }), BusyRuns::Answer::Deferred);
        runs.withdraw(Command::HideEditor);
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(hides, 1);
}

// A deferred command runs once the run has ended, not inside its end: one
// that begins a run of its own holds the next back, and one that fails
// leaves the rest to run.
TEST(BusyRuns, DeferredCommandsRunAfterTheRunEnded) {
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    BusyRuns runs;
    std::optional<BusyRuns::Run> question;
    int closes = 0;
    {
        const BusyRuns::Run editor = runs.begin(RunKind::EditorCommand);
        runs.ask(Command::HideEditor, [&] { question.emplace(runs.begin(RunKind::Question)); });
        runs.ask(Command::Close, [&] { ++closes; });
    }
    QCoreApplication::processEvents();
    ASSERT_TRUE(question);
    EXPECT_EQ(closes, 0);  // the question the hide began stands
    question.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(closes, 1);

    {
        const BusyRuns::Run editor = runs.begin(RunKind::EditorCommand);
        runs.ask(Command::HideEditor, [] { throw std::runtime_error("no room"); });
        runs.ask(Command::Close, [&] { ++closes; });
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(closes, 2);
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
