#include <gtest/gtest.h>

#include <QCoreApplication>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "MonitorModel.h"
#include "PackageFields.h"

namespace {

using zelvar::BusyRuns;
using zelvar::Command;
using zelvar::RunKind;
using zelvar::ViewToggle;

// The window's side as the model sees it: check marks it reads, the lines it
// was given, and what happened while an offline decoding started.
class FakeView : public zelvar::MonitorView {
public:
    void appendLines(zelvar::LogPane pane, std::string_view joined) override {
        (pane == zelvar::LogPane::Text ? textBlocks : hexBlocks).emplace_back(joined);
    }
    void appendStore(zelvar::LogPane pane, zelvar::LineStore&& lines) override {
        if (pane == zelvar::LogPane::Text && !lines.empty()) decodedTitles.emplace_back(lines.line(0));
    }
    bool logEmpty(zelvar::LogPane pane) const override {
        return (pane == zelvar::LogPane::Text ? textBlocks : hexBlocks).empty();
    }
    zelvar::LogBytes logSnapshot(zelvar::LogPane) const override { return {}; }
    zelvar::LogBytes takeLog(zelvar::LogPane) override { return {}; }
    void refreshDisplayMode() override {}
    QString statusText(int) const override { return {}; }
    void setStatusText(int panel, const QString& text) override {
        if (panel == 2) counts.push_back(text);
    }
    void setStatusHint(int, const QString&) override {}
    void drawStatusNow() override {}
    void setSMeter(int, int) override {}
    void updateSMeterHints() override {}
    QString gpsPortName() const override { return {}; }
    void showGpsLabels(const QString&, const QString&, const QString&, const QString&) override {}
    void setGpsLabelsVisible(bool) override {}
    bool toggled(ViewToggle toggle) const override {
        return toggle == ViewToggle::StartMonitoring ? startMonitoring : startGps;
    }
    void setToggled(ViewToggle toggle, bool on) override {
        (toggle == ViewToggle::StartMonitoring ? startMonitoring : startGps) = on;
    }
    void setControlEnabled(zelvar::ViewControl, bool) override {}
    void phaseChanged(zelvar::RunPhase phase) override {
        if (phase == zelvar::RunPhase::DecodingStarting && whileDecoding) whileDecoding();
    }

    std::vector<std::string> textBlocks;
    std::vector<std::string> hexBlocks;
    std::vector<QString> counts;
    bool startMonitoring = false;
    bool startGps = false;
    std::vector<std::string> decodedTitles;  // the first line of each decoding
    std::function<void()> whileDecoding;
};

// The user's answers, and what happened while an error box stood.
class FakeDialogs : public zelvar::MonitorDialogs {
public:
    QString openLogFile() override { return {}; }
    QString saveLogsAs(const QString&) override { return {}; }
    void showError(const QString& text) override {
        errors.push_back(text);
        if (whileBoxShown) whileBoxShown();
    }
    zelvar::UnsavedChoice askUnsavedLogs(const QString&, bool) override {
        return zelvar::UnsavedChoice::Cancel;
    }
    bool confirmLoss(bool) override { return false; }

    std::vector<QString> errors;
    std::function<void()> whileBoxShown;
};

class CountingSession : public zelvar::MonitoringControl {
public:
    void startMonitoringChosen() override { ++choices; }
    void stopForClose() override { ++stops; }
    int choices = 0;
    int stops = 0;
};

class MonitorModelTest : public ::testing::Test {
protected:
    MonitorModelTest() { model.setMonitoringControl(&session); }

    // The flush timer needs an application.
    int argc = 1;
    char name[8] = "monitor";
    char* argv[1] = {name};
    QCoreApplication app{argc, argv};
    zelvar::Settings settings;
    FakeView view;
    FakeDialogs dialogs;
    CountingSession session;
    zelvar::MonitorModel model{settings, view, dialogs};
};

// "Start Monitoring" under another run: a question or a stop refuses it and
// takes back the check mark the user just set; a decoding is asked to stop
// and the session gets the choice.
TEST_F(MonitorModelTest, StartMonitoringFollowsTheRunsUnderWay) {
    view.startMonitoring = true;
    {
        const BusyRuns::Run asking = model.busyRuns().begin(RunKind::Question);
        model.startMonitoringChosen();
    }
    EXPECT_FALSE(view.startMonitoring);
    EXPECT_EQ(session.choices, 0);

    view.startMonitoring = true;
    {
        const BusyRuns::Run decoding = model.busyRuns().begin(RunKind::Decoding);
        model.startMonitoringChosen();
        EXPECT_TRUE(model.busyRuns().AbortDecoding());
        EXPECT_TRUE(model.offlineDecodingRuns());
    }
    EXPECT_TRUE(view.startMonitoring);
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
    EXPECT_TRUE(view.decodedTitles.empty());
    EXPECT_TRUE(model.offlineDecoder().OfflineInputLines.empty());

    std::size_t lines = 0;
    view.whileDecoding = [&] { lines = model.offlineDecoder().OfflineInputLines.nonBlankLines(); };
    model.decodeEditorLines(zelvar::LineList::fromText("1$F4BEE070\t00 01\n\n2$F4BEE070\t00 02"),
                            QStringLiteral("Editor"));
    ASSERT_EQ(view.decodedTitles.size(), 1u);
    EXPECT_EQ(view.decodedTitles[0], "Editor");
    EXPECT_EQ(lines, 2u);
}

// Signal reports carry the own position only in the RSSI display with the
// GPS port open.
TEST_F(MonitorModelTest, OwnPositionInReportsNeedsOnlyRssiAndAnOpenGpsPort) {
    EXPECT_FALSE(model.ownPositionInReports());
    model.setOnlyRssi(true);
    EXPECT_FALSE(model.ownPositionInReports());
    model.gpsState().Connected = true;
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
