#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "MonitorModel.h"

namespace {

using zelvar::BusyRuns;
using zelvar::Command;
using zelvar::RunKind;
using zelvar::ViewToggle;

// The window's side as the model sees it: check marks it reads, and what
// happened while it showed an error or ran an offline decoding.
class FakeView : public zelvar::MonitorView {
public:
    QString statusText(int) const override { return {}; }
    void setStatusText(int, const QString&) override {}
    void setStatusHint(int, const QString&) override {}
    void setSMeter(int, int) override {}
    void updateSMeterHints() override {}
    bool toggled(ViewToggle toggle) const override {
        return toggle == ViewToggle::StartMonitoring ? startMonitoring : startGps;
    }
    void setToggled(ViewToggle toggle, bool on) override {
        (toggle == ViewToggle::StartMonitoring ? startMonitoring : startGps) = on;
    }
    void setControlEnabled(zelvar::ViewControl, bool) override {}
    void sessionPhaseChanged(zelvar::SessionPhase) override {}
    QString gpsPortName() const override { return {}; }
    void showGpsLabels(const QString&, const QString&, const QString&, const QString&) override {}
    void setGpsLabelsVisible(bool) override {}
    void runOfflineDecoding(const QString& title) override {
        decodedTitles.push_back(title);
        if (whileDecoding) whileDecoding();
    }
    void refreshDisplayMode() override {}
    void showErrorBox(const QString& text) override {
        errors.push_back(text);
        if (whileBoxShown) whileBoxShown();
    }

    bool startMonitoring = false;
    bool startGps = false;
    std::vector<QString> errors;
    std::vector<QString> decodedTitles;
    std::function<void()> whileBoxShown;
    std::function<void()> whileDecoding;
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

    zelvar::Settings settings;
    zelvar::DecoderOutput output;
    FakeView view;
    CountingSession session;
    zelvar::MonitorModel model{settings, output, view};
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
    view.whileBoxShown = [&] { clear = model.busyRuns().ask(Command::Clear); };
    model.showError(QStringLiteral("failed"));
    ASSERT_EQ(view.errors.size(), 1u);
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
    EXPECT_EQ(view.decodedTitles[0], QStringLiteral("Editor"));
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

}  // namespace
