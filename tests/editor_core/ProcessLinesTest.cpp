#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "HexLogSample.h"
#include "OfflineDecoder.h"
#include "ProcessLines.h"

using zelvar::LineList;
using zelvar::Transform;
using zelvar::TransformFor;
using zelvar::TransformMode;

namespace {

// Records what a run tells the window, and sets the stop flag when the
// progress text it is waiting for has been shown.
class RecordingOutput : public zelvar::TransformOutput {
public:
    void setProgressText(std::string_view text) override {
        calls.push_back("progress" + std::string(text));
        lastProgress = text;
    }
    void setActivityText(std::string_view text) override {
        calls.push_back("activity" + std::string(text));
    }
    void processPendingEvents() override {
        calls.push_back("events");
        if (stopFlag != nullptr && !stopAt.empty() && lastProgress == stopAt) *stopFlag = true;
    }
    void clearText() override { calls.push_back("clear"); }
    void showLines(const LineList& lines) override {
        calls.push_back("show");
        shown = lines.text();
    }

    std::vector<std::string> calls;
    std::string shown;
    std::string lastProgress;
    std::string stopAt;
    bool* stopFlag = nullptr;
};

struct RunResult {
    std::string shown;
    std::string workLines;
};

RunResult run(const std::string& text, const Transform& transform) {
    LineList workLines;
    bool stop = false;
    RecordingOutput output;
    zelvar::ProcessLines(text, transform, workLines, stop, output);
    return {output.shown, workLines.text()};
}

std::string lfLines(const std::string& crlfText) {
    std::string text;
    for (const char c : crlfText) {
        if (c != '\r') text += c;
    }
    return text;
}

}  // namespace

TEST(ProcessLines, TellsTheWindowEachStepInOrder) {
    LineList workLines = LineList::fromText("old\n");
    bool stop = true;  // a flag left set by an earlier Escape does not stop this run
    RecordingOutput output;
    ASSERT_TRUE(zelvar::ProcessLines("1$F4BEE070\t0B\r\nx\r\r\n", TransformFor(TransformMode::PortDateTime),
                                     workLines, stop, output));
    const std::vector<std::string> expected = {
        "activity Processing... ", "events",
        "progress 0 / 2",          "events",
        "progress 1 / 2",          "events",
        "progress 2 / 2",          "events",
        "activity Display...",     "clear",
        "events",                  "show",
        "progress",                "activity"};
    EXPECT_EQ(output.calls, expected);
    EXPECT_EQ(output.shown, "0B\nx\n\n");
    EXPECT_EQ(workLines.text(), "0B\nx\n\n");
}

TEST(ProcessLines, EmptyDocumentChangesNothing) {
    LineList workLines = LineList::fromText("kept\n");
    bool stop = false;
    RecordingOutput output;
    EXPECT_FALSE(zelvar::ProcessLines("", TransformFor(TransformMode::Spaces), workLines, stop, output));
    EXPECT_TRUE(output.calls.empty());
    EXPECT_EQ(workLines.text(), "kept\n");
}

// "Return to the Old Values..." shows workLines: after a filter the text
// before it, after a conversion the converted text.
TEST(ProcessLines, WorkLinesHoldWhatUndoRestores) {
    const std::string log = "1$F4BEE070\t00 00 00 00 0B\r\n2$F4BEE071\t00 00 00 00 03\r\n";
    const RunResult filtered = run(log, TransformFor(TransformMode::Packets0B05));
    EXPECT_EQ(filtered.shown, "F4BEE070\t00 00 00 00 0B\n");
    EXPECT_EQ(filtered.workLines, lfLines(log));
    const RunResult converted = run(log, TransformFor(TransformMode::PortDateTime));
    EXPECT_EQ(converted.workLines, converted.shown);
    const RunResult none = run(log, zelvar::MaskTransform("4", "FF"));
    EXPECT_EQ(none.shown, "");
    EXPECT_EQ(none.workLines, lfLines(log));
}

// A filter's old values are the document's own text, not a copy of it, and
// a conversion's result is the text the window shows: the window holds each
// once. A document that is not whole lines is read from a copy made whole.
TEST(ProcessLines, OldValuesShareTheDocumentsText) {
    const auto document = std::make_shared<std::string>("1$F4BEE070\t00 00 00 00 0B\n3$F4\t00\n");
    LineList workLines;
    bool stop = false;
    RecordingOutput output;
    zelvar::SharedLines filtered(document);
    zelvar::ProcessLines(filtered, TransformFor(TransformMode::Packets0B05), workLines, stop,
                         output);
    EXPECT_EQ(workLines.share(), document);
    EXPECT_EQ(output.shown, "F4BEE070\t00 00 00 00 0B\n");

    zelvar::SharedLines notWhole(std::make_shared<std::string>("1$F4\t00\r\n2$F5\t01"));
    zelvar::ProcessLines(notWhole, TransformFor(TransformMode::Packets0B05), workLines, stop,
                         output);
    EXPECT_EQ(workLines.text(), "1$F4\t00\n2$F5\t01\n");
    // Changed while shared, a list changes a copy.
    LineList lines = LineList::fromShared(document);
    lines.append("more");
    EXPECT_EQ(*document, "1$F4BEE070\t00 00 00 00 0B\n3$F4\t00\n");
    EXPECT_EQ(lines.back(), "more");
}

// Beyond 1001 lines only the indices without a bit of 1000 set show
// progress and let events run; Escape there ends the run after that line.
TEST(ProcessLines, EscapeStopsAtAProgressStep) {
    const std::string log = zelvar::test::SampleHexLog(5000);
    const LineList original = LineList::fromText(log);
    for (const TransformMode mode : {TransformMode::Spaces, TransformMode::Packets0B05}) {
        SCOPED_TRACE(static_cast<int>(mode));
        LineList workLines;
        bool stop = false;
        RecordingOutput output;
        output.stopFlag = &stop;
        output.stopAt = " 2048 / 4999";
        zelvar::ProcessLines(log, TransformFor(mode), workLines, stop, output);

        std::vector<std::string> progress;
        for (const std::string& call : output.calls) {
            if (call.rfind("progress ", 0) == 0) progress.push_back(call);
        }
        std::vector<std::string> expected;
        for (std::size_t i = 0; i <= 2048; ++i) {
            if ((i & 1000) == 0) expected.push_back("progress " + std::to_string(i) + " / 4999");
        }
        EXPECT_EQ(progress, expected);

        std::string done;
        for (std::size_t i = 0; i < original.size(); ++i) {
            std::string line;
            const bool reached = i <= 2048;
            if (reached && zelvar::TransformLine(original[i], TransformFor(mode), line)) {
                done += line + "\n";
            } else if (!reached && mode == TransformMode::Spaces) {
                done += std::string(original[i]) + "\n";
            }
        }
        EXPECT_EQ(output.shown, done);
        EXPECT_EQ(workLines.text(), mode == TransformMode::Spaces ? done : original.text());
    }
}

// Over generated hex logs: conversions that undo each other give back the
// bare bytes, and the packet filter keeps exactly the packages of type 0B
// and 05 as the offline decoder reads them.
TEST(ProcessLines, RoundTripsAndFiltersOverAHexLog) {
    const std::string log = zelvar::test::SampleHexLog(3000, 11);
    const std::string bytes = run(log, TransformFor(TransformMode::PortDateTime)).shown;
    const std::string spaced =
        run(run(log, TransformFor(TransformMode::Spaces)).shown, TransformFor(TransformMode::DivideSpaces)).shown;
    EXPECT_EQ(spaced, bytes);
    const std::string decimal = run(log, TransformFor(TransformMode::HexToByte)).shown;
    EXPECT_EQ(run(decimal, TransformFor(TransformMode::ByteToHex)).shown, bytes);

    const LineList lines = LineList::fromText(log);
    std::string packets, type0B;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const zelvar::LogLineParts parts = zelvar::SplitLogLine(lines[i]);
        std::uint8_t data[64];
        const std::size_t count = zelvar::ParseLogData(parts.data, data, sizeof data);
        const std::string kept = std::string(parts.stamp) + "\t" + std::string(parts.data) + "\n";
        if (count > 4 && (data[4] == 0x0B || data[4] == 0x05)) packets += kept;
        if (count > 4 && data[4] == 0x0B) type0B += kept;
    }
    EXPECT_EQ(run(log, TransformFor(TransformMode::Packets0B05)).shown, packets);
    EXPECT_EQ(run(log, zelvar::MaskTransform("4", "0B")).shown, type0B);
    // The filters' own form passes a second filter unchanged.
    EXPECT_EQ(run(packets, TransformFor(TransformMode::Packets0B05)).shown, packets);
}
