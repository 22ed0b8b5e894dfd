#include <gtest/gtest.h>

#include <QCoreApplication>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "FakeWindow.h"
#include "PackageFields.h"

namespace {

using zelvar::BusyRuns;
using zelvar::Command;
using zelvar::RunKind;
using zelvar::ViewToggle;

class CountingSession : public zelvar::MonitoringControl {
public:
    void startMonitoringChosen() override { ++choices; }
    void stopForClose() override { ++stops; }
    int choices = 0;
    int stops = 0;
};

class MonitorModelTest : public ::testing::Test, public FakeWindow {
protected:
    MonitorModelTest() { model.setMonitoringControl(&session); }

    CountingSession session;
};

// "Start Monitoring" under another run: a question or a stop refuses it and
// takes back the check mark the user just set; a decoding is asked to stop
// and the session gets the choice.
TEST_F(MonitorModelTest, StartMonitoringFollowsTheRunsUnderWay) {
    view.setToggled(ViewToggle::StartMonitoring, true);
    {
        const BusyRuns::Run asking = model.busyRuns().begin(RunKind::Question);
        model.startMonitoringChosen();
    }
    EXPECT_FALSE(view.toggled(ViewToggle::StartMonitoring));
    EXPECT_EQ(session.choices, 0);

    view.setToggled(ViewToggle::StartMonitoring, true);
    {
        const BusyRuns::Run decoding = model.busyRuns().begin(RunKind::Decoding);
        model.startMonitoringChosen();
        EXPECT_TRUE(model.busyRuns().AbortDecoding());
        EXPECT_TRUE(model.offlineDecodingRuns());
    }
    EXPECT_TRUE(view.toggled(ViewToggle::StartMonitoring));
    EXPECT_EQ(session.choices, 1);

    model.startMonitoringChosen();
    EXPECT_EQ(session.choices, 2);
}

// The error box's own event loop lets commands in: while it stands, the
// window's state is under a question.
TEST_F(MonitorModelTest, AnErrorBoxIsAQuestion) {
    std::optional<BusyRuns::Answer> clear;
    dialogs.whileBoxShown = [&] { clear = model.busyRuns().ask(Command::Clear); };
    model.showError(QStringLiteral("failed"));
    ASSERT_EQ(dialogs.errors.size(), 1u);
    EXPECT_EQ(clear, BusyRuns::Answer::Refused);
    EXPECT_EQ(model.busyRuns().ask(Command::Clear), BusyRuns::Answer::Go);
}

// The editor's "Decode..." hands its lines to the offline run, unless
// another run is under way: then the input stays as it was.
TEST_F(MonitorModelTest, TheEditorsDecodingWaitsForNoOtherRun) {
    {
        const BusyRuns::Run asking = model.busyRuns().begin(RunKind::Question);
        model.decodeEditorLines(zelvar::LineList::fromText("1$F4BEE070\t00 01"),
                                QStringLiteral("Editor"));
    }
    EXPECT_TRUE(view.text.empty());
    EXPECT_TRUE(model.offlineDecoder().input().empty());

    std::size_t lines = 0;
    view.whileDecodingStarts = [&] { lines = model.offlineDecoder().input().nonBlankLines(); };
    model.decodeEditorLines(zelvar::LineList::fromText("1$F4BEE070\t00 01\n\n2$F4BEE070\t00 02"),
                            QStringLiteral("Editor"));
    ASSERT_FALSE(view.text.empty());
    EXPECT_EQ(view.lines(zelvar::LogPane::Text).front(), QStringLiteral("Editor"));
    EXPECT_EQ(lines, 2u);
}

// Signal reports carry the own position only in the RSSI display with the
// GPS port open.
TEST_F(MonitorModelTest, OwnPositionInReportsNeedsOnlyRssiAndAnOpenGpsPort) {
    EXPECT_FALSE(model.ownPositionInReports());
    model.setOnlyRssi(true);
    EXPECT_FALSE(model.ownPositionInReports());
    model.gpsStripParts().gps.Connected = true;
    EXPECT_TRUE(model.ownPositionInReports());
    model.setOnlyRssi(false);
    EXPECT_FALSE(model.ownPositionInReports());
}

// A burst of lines goes into each view as one block, the counts with it;
// until then the text log is not empty for the decoder.
TEST_F(MonitorModelTest, LinesOfABurstReachTheViewsAsOneBlock) {
    EXPECT_TRUE(model.textLogEmpty());
    for (int i = 0; i < 3; ++i) model.appendTextLine(std::to_string(i));
    model.appendHexLine("AA");
    model.setCountsText(" T 3 / H 1");
    EXPECT_FALSE(model.textLogEmpty());
    EXPECT_TRUE(view.textBlocks.empty());
    model.flushLogViews();
    EXPECT_EQ(view.textBlocks, std::vector<std::string>{"0\n1\n2"});
    EXPECT_EQ(view.hexBlocks, std::vector<std::string>{"AA"});
    EXPECT_EQ(view.counts, std::vector<QString>{QStringLiteral(" T 3 / H 1")});
    // Cleared counts are not drawn by a later flush.
    model.setCountsText(" T 4 / H 2");
    model.clearCountsText();
    model.flushLogViews();
    EXPECT_EQ(view.counts.back(), QString());
    EXPECT_EQ(view.textBlocks.size(), 1u);
}

// Only a package taken live goes to the publisher: the fields an offline
// decoding hands over are no station's news.
TEST_F(MonitorModelTest, OnlyLivePackagesArePublished) {
    EXPECT_FALSE(model.takesPackages());
    int published = 0;
    model.setPackagePublisher([&](const zelvar::PackageFields&) { ++published; });
    EXPECT_TRUE(model.takesPackages());
    const zelvar::PackageFields fields{};
    model.liveHexLine("1$F4BEE070\t00 01");
    model.packageDecoded(fields);
    model.packageDecoded(fields);
    EXPECT_EQ(published, 1);
    model.setPackagePublisher(nullptr);
    EXPECT_FALSE(model.takesPackages());
    model.liveHexLine("1$F4BEE070\t00 02");
    model.packageDecoded(fields);
    EXPECT_EQ(published, 1);
}

}  // namespace
