#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "BusyRuns.h"
#include "DecoderOutput.h"
#include "EditorHost.h"
#include "GpsStripHost.h"
#include "MonitorView.h"
#include "OfflineDecoder.h"
#include "OwnFix.h"
#include "PackageDecoder.h"
#include "SessionHost.h"
#include "Settings.h"
#include "SignalHistory.h"

namespace zelvar {

class LogSaveControl;
class RecoveryRun;

// The monitor without its window: the settings it works with, the runs that
// let window events through, the live and offline decoders with the display
// mirrors they read and the lines they made on their way to the views, the
// GPS state, the hand-over of live packages to the publisher, the save
// control with the journal and the recovery of the last run's, and whether a
// session runs and the logs are saved. The decoders, the monitoring session,
// the GPS strip and the editor drive it through their host interfaces; it
// speaks to its window through MonitorView.
class MonitorModel : public DecoderOutput,
                     public SessionHost,
                     public GpsStripHost,
                     public EditorHost {
public:
    // `view` is the window; it outlives the model.
    MonitorModel(const Settings& settings, MonitorView& view);
    ~MonitorModel() override;

    // --- wiring; not owned, nullptr detaches ---
    void setMonitoringControl(MonitoringControl* control) { session_ = control; }
    void setGpsStripCommands(GpsStripCommands* commands) override { gpsCommands_ = commands; }

    // --- the window's commands ---
    // "Start Monitoring" chosen: its check mark has toggled already.
    void startMonitoringChosen();
    // "Start GPS" clicked (the toggle shows its new state), and "Copy GPS
    // Coordinates to Clipboard".
    void startGpsClicked();
    void copyGpsChosen();
    // The close sequence: a running session ends with the exit command; an
    // open GPS port is closed.
    void stopSessionForClose();
    void closeGpsPort();

    // --- state ---
    const DisplayMirrors& mirrors() const { return mirrors_; }
    // The check marks "Display Only RSSI" and "Hex Log".
    void setOnlyRssi(bool on) { mirrors_.OnlyRSSI = on; }
    void setHexLog(bool on) { mirrors_.HexLog = on; }
    const GpsState& gps() const { return gps_; }
    // Every live signal report, the window closed or open.
    const SignalHistory& signalHistory() const { return signalHistory_; }
    SignalHistory& signalHistory() { return signalHistory_; }
    const OfflineDecoder& offlineDecoder() const { return offline_; }
    // The offline run, which the window drives while it shows its lines.
    OfflineDecoder& offlineRun() { return offline_; }
    // The views hold nothing new since they were last written.
    bool logsSaved() const { return logsSaved_; }
    void setLogsSaved(bool saved) { logsSaved_ = saved; }

    // The window's saves go through the save control; every live package
    // goes into its journal.
    LogSaveControl& saveControl() { return *saving_; }
    // Saves on a thread of its own what a crashed or killed run left in the
    // journals of `folder`, with its progress and outcome in status panel 3.
    void startRecovery(const QString& folder);
    // The journal being recovered stays for the next start, which recovers it once.
    void stopRecovery();

    // While set, the fields of every package decoded live go to `publish`.
    void setPackagePublisher(std::function<void(const PackageFields&)> publish);
    // Moves the lines still waiting for the views into them.
    void flushLogViews();
    void clearCountsText();  // status panel 2

    // --- DecoderOutput ---
    bool textLogEmpty() const override;
    void appendHexLine(std::string_view line) override;
    void liveHexLine(std::string_view line) override;
    void setSMeter(int port, int position) override { view_.setSMeter(port, position); }
    void signalReport(int port, std::string_view stamp, std::string_view dbm, bool live) override;
    void rolloverCheck() override { view_.rolloverCheck(); }
    void packageDecoded(const PackageFields& package) override;
    void setCountsText(std::string_view text) override;
    void setProgressText(std::string_view text) override;
    void focusTextLog() override { view_.focusTextLog(); }
    void processPendingEvents() override { view_.processPendingEvents(); }
    void showDecodedLines(const LineList& textLines, const LineList& hexLines) override {
        view_.showDecodedLines(textLines, hexLines);
    }

    // --- SessionHost ---
    PackageDecoder& decoder() override { return decoder_; }
    const Settings& sessionSettings() const override { return settings_; }
    bool startMonitoringChecked() const override;
    void setStartMonitoringChecked(bool checked) override;
    bool monitoring() const override { return monitoring_; }
    void setMonitoring(bool running) override { monitoring_ = running; }
    bool closing() const override { return busy_.Closing(); }
    bool offlineDecodingRuns() const override { return !busy_.DecoderIdle(); }
    void liveDataReceived() override { logsSaved_ = false; }
    BusyRuns& busyRuns() override { return busy_; }
    void sessionStarting() override;
    void sessionEnding() override;
    void sessionEnded() override;
    void setAddressFieldsEnabled(bool enabled) override;
    void setStatusText(int panel, const QString& text) override;
    void setStatusHint(int panel, const QString& hint) { view_.setStatusHint(panel, hint); }
    void setSessionStatusText(const QString& text, const QString& hint) override;
    bool ownPositionInReports() const override { return mirrors_.OnlyRSSI && gps_.Connected; }
    // An unexpected failure of a command, with the system's text.
    void showError(const QString& text) override;
    void appendTextLine(std::string_view line) override;
    void resetSMeters() override;
    void UpdateSMeterHints() override;
    void zeroSMeter(int port) override;

    // --- GpsStripHost ---
    const Settings& gpsSettings() const override { return settings_; }
    GpsState& gpsState() override { return gps_; }
    bool gpsToggleDown() const override;
    void setGpsToggle(bool down) override;
    QString gpsPortName() const override;
    void setGpsPortBoxEnabled(bool enabled) override;
    void showGpsLabels(const QString& time, const QString& lat, const QString& lon,
                       const QString& pdop) override;
    void setGpsLabelsVisible(bool visible) override;
    void setCopyGpsEnabled(bool enabled) override;
    void refreshDisplayMode() override;
    QString statusText(int panel) const override;

    // --- EditorHost ---
    void decodeEditorLines(LineList lines, const QString& title) override;
    void setMainDecodeEnabled(bool enabled) override;

private:
    void scheduleFlush();

    const Settings& settings_;
    MonitorView& view_;
    // Declared before the decoders, which keep references to them.
    BusyRuns busy_;  // the runs that let events through, with the decoding's flags
    DisplayMirrors mirrors_;
    GpsState gps_;
    SignalHistory signalHistory_;
    PackageDecoder decoder_;
    OfflineDecoder offline_;

    MonitoringControl* session_ = nullptr;
    GpsStripCommands* gpsCommands_ = nullptr;
    bool monitoring_ = false;  // the monitoring session runs
    bool logsSaved_ = true;
    std::unique_ptr<LogSaveControl> saving_;
    std::unique_ptr<RecoveryRun> recovery_;
    std::function<void(const PackageFields&)> publish_;
    bool livePackage_ = false;  // the package being decoded was taken live

    // Lines that arrive in one burst wait here and go into the views as one
    // block: appending line by line cannot keep up with a busy network.
    std::string pendingText_;
    std::string pendingHex_;
    std::string pendingCounts_;
    bool countsPending_ = false;
    QTimer flushTimer_;
    QElapsedTimer sinceFlush_;
    QElapsedTimer pendingSince_;
};

}  // namespace zelvar
