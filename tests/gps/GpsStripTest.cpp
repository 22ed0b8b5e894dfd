#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "EventLoopTest.h"
#include "GpsStrip.h"
#include "PtyPair.h"

using namespace zelvar;
using namespace std::chrono_literals;

namespace {

const std::string kRmc = "\n$GPRMC,123519.000,A,4807.0380,N,01131.0000,E,0.4,87.6,081226,,,A*57\r";
const std::string kGsa = "\n$GPGSA,A,3,04,05,09,12,,,,,,,,,9.9,2.0,3.0*33\r";

// The window as the strip sees it: control states, texts and what it was told.
class FakeWindow : public GpsStripView {
public:
    void showGpsLabels(const GpsLabels& l) override { labels = l; }
    void setGpsLabelsVisible(bool visible) override { labelsVisible = visible; }
    void setPortBoxEnabled(bool enabled) override { portBoxEnabled = enabled; }
    void setGpsCommandsEnabled(bool enabled) override { commandsEnabled = enabled; }
    void releaseGpsToggle() override { toggleDown = false; }
    void refreshDisplayMode() override { ++displayRefreshes; }
    void showError(const std::string& text, const std::string&) override { errors.push_back(text); }
    // As the window does: in the status panel the copy and clock texts use.
    void showNotice(const std::string& text) override {
        notices.push_back(text);
        status = " " + text;
    }
    std::string statusPanelText() const override { return status; }
    void setStatusPanelText(const std::string& text) override { status = text; }
    void copyToClipboard(const std::string& text) override { clipboard = text; }
    bool closing() const override { return false; }

    GpsLabels labels{"GPS", "Lat", "Lon", "PDOP"};
    bool labelsVisible = false;
    bool portBoxEnabled = true;
    bool commandsEnabled = false;
    bool toggleDown = false;
    int displayRefreshes = 0;
    std::vector<std::string> errors, notices;
    std::string status = " Types: all";
    std::string clipboard;
};

// Answers only when the test says so, as the system's prompt would.
class PromptingClock : public SystemClock {
public:
    int BaseBiasMinutes() const override { return -180; }
    void SetUtc(const ClockTime& utc, std::function<void(const ClockResult&)> done) override {
        requests.push_back(utc);
        answer = std::move(done);
    }
    std::vector<ClockTime> requests;
    std::function<void(const ClockResult&)> answer;
};

class Strip : public zelvar::test::EventLoopTest {
protected:
    void press(bool down, const std::string& name) {
        window.toggleDown = down;
        strip.startStopChosen(down, name);
    }

    void startWithFix() {
        press(true, pty.path);
        // One at a time: sentences read together are one line to the reader.
        ASSERT_TRUE(pty.send(kGsa));
        ASSERT_TRUE(spinUntil([&] { return !gps.fix.PdopText.empty(); }));
        ASSERT_TRUE(pty.send(kRmc));
        ASSERT_TRUE(spinUntil([&] { return !gps.fix.RmcTime.empty(); }));
    }

    Settings settings;
    GpsState gps;
    FakeWindow window;
    // Status texts stand a tenth of the program's second.
    GpsStrip strip{settings, gps, window, nullptr, GpsStrip::kStatusFlash / 10};
    PtyPair pty;
};

TEST_F(Strip, StartShowsTheFixStopClearsIt) {
    startWithFix();
    EXPECT_TRUE(gps.Connected);
    EXPECT_FALSE(window.portBoxEnabled);
    EXPECT_TRUE(window.commandsEnabled);
    EXPECT_TRUE(window.labelsVisible);
    EXPECT_EQ(window.displayRefreshes, 1);
    EXPECT_EQ(window.labels.time, "08.12.2026 16:35:19");
    EXPECT_EQ(window.labels.lat, "Lat: 4807.0380,N");
    EXPECT_EQ(window.labels.pdop, "PDOP: 3.6");
    EXPECT_EQ(gps.fix.LonText, "01131.0000,E");

    press(false, pty.path);
    EXPECT_FALSE(gps.Connected);
    EXPECT_FALSE(strip.port().Connected());
    EXPECT_TRUE(window.portBoxEnabled);
    EXPECT_FALSE(window.commandsEnabled);
    EXPECT_FALSE(window.labelsVisible);
    EXPECT_EQ(window.labels.time, "GPS");
    EXPECT_EQ(window.labels.pdop, "");
    EXPECT_TRUE(gps.fix.RmcTime.empty() && gps.fix.PdopText.empty());
    EXPECT_EQ(window.displayRefreshes, 2);
}

TEST_F(Strip, FailedStartLeavesTheStripStoppedUntilReleased) {
    press(true, "ttyZELVARMISSING0");
    EXPECT_EQ(window.errors, std::vector<std::string>{"Попытка открыть несуществующий COM-порт"});
    EXPECT_TRUE(window.toggleDown);
    EXPECT_TRUE(window.portBoxEnabled);
    EXPECT_FALSE(window.labelsVisible);
    EXPECT_FALSE(window.commandsEnabled);
    EXPECT_FALSE(gps.Connected);
    EXPECT_EQ(window.displayRefreshes, 0);
    press(false, "ttyZELVARMISSING0");
    EXPECT_EQ(window.errors.size(), 1u);
    EXPECT_EQ(window.labels.time, "GPS");
}

TEST_F(Strip, UnpluggedReceiverStopsTheStripOnce) {
    startWithFix();
    pty.closeMaster();
    ASSERT_TRUE(spinUntil([&] { return !window.notices.empty(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(window.notices, std::vector<std::string>{"GPS receiver disconnected"});
    EXPECT_FALSE(window.toggleDown);
    EXPECT_FALSE(gps.Connected);
    EXPECT_FALSE(strip.port().Connected());
    EXPECT_TRUE(window.portBoxEnabled);
    EXPECT_FALSE(window.labelsVisible);
    EXPECT_TRUE(gps.fix.LatText.empty());
    // Plugged in again, it starts as before.
    PtyPair again;
    press(true, again.path);
    EXPECT_TRUE(gps.Connected);
    EXPECT_TRUE(window.errors.empty());
}

TEST_F(Strip, UnplugWithinTheCopyTextKeepsItsNotice) {
    startWithFix();
    strip.copyCoordinates();
    pty.closeMaster();
    ASSERT_TRUE(spinUntil([&] { return !window.notices.empty(); }));
    // A timer started now falls due after the copy text's would have.
    bool past = false;
    QTimer::singleShot(GpsStrip::kStatusFlash / 10, [&past] { past = true; });
    ASSERT_TRUE(spinUntil([&] { return past; }, 10s));
    EXPECT_EQ(window.status, " GPS receiver disconnected");
}

TEST_F(Strip, CopyAndClockShowTheirStatusForASecond) {
    startWithFix();
    strip.copyCoordinates();
    EXPECT_EQ(window.clipboard, "4807.0380,N\t01131.0000,E");
    EXPECT_EQ(window.status, " 4807.0380,N  01131.0000,E");

    PromptingClock clock;
    strip.setClockFromGps(clock);
    strip.setClockFromGps(clock);  // refused while the system has not answered
    ASSERT_EQ(clock.requests.size(), 1u);
    EXPECT_EQ(clock.requests[0], (ClockTime{2026, 12, 8, 13, 35, 19, 0}));  // GMTCorrection 4, zone +3
    clock.answer(ClockResult{false, "no authorisation"});
    EXPECT_NE(window.status.find("  (clock not set: no authorisation)"), std::string::npos);
    EXPECT_EQ(window.status[0], ' ');

    // Both flashes came within the second: what was there before the first returns.
    ASSERT_TRUE(spinUntil([&] { return window.status == " Types: all"; }));

    // A time that is no number fails like any other conversion, status untouched.
    gps.fix.RmcTime = "1A3519.000";
    strip.setClockFromGps(clock);
    EXPECT_EQ(window.errors, std::vector<std::string>{"'1A' is not a valid integer value"});
    EXPECT_EQ(window.status, " Types: all");
    EXPECT_EQ(clock.requests.size(), 1u);
}

}  // namespace
