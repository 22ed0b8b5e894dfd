#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "BusyRuns.h"
#include "DecoderOutput.h"
#include "EditorHost.h"
#include "GpsStripHost.h"
#include "LineStore.h"
#include "MonitorDialogs.h"
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
// offline decoding run, the GPS state, the hand-over of live packages to the
// publisher, the save control with the journal and the recovery of the last
// run's, and the decisions of Clear, Save As, the rollover and the close.
// The decoders, the monitoring session, the GPS strip and the editor drive it
// through their host interfaces; it speaks to its window through MonitorView
// and asks the user through MonitorDialogs.
class MonitorModel : public DecoderOutput,
                     public SessionHost,
                     public GpsStripHost,
                     public EditorHost {
public:
    // `view` and `dialogs` are the window's; they outlive the model.
    MonitorModel(const Settings& settings, MonitorView& view, MonitorDialogs& dialogs);
    ~MonitorModel() override;

    // --- wiring ---
    // What the monitoring session and the GPS strip work on, for whoever
    // builds them.
    SessionParts sessionParts() { return {*this, decoder_, busy_}; }
    GpsStripParts gpsStripParts() { return {*this, gps_, busy_}; }
    // Not owned; nullptr detaches.
    void setMonitoringControl(MonitoringControl* control) { session_ = control; }
    void setGpsStripCommands(GpsStripCommands* commands) override { gpsCommands_ = commands; }

    // The window first shown: the auto-saved logs go into `folder` (with a
    // trailing separator), what a crashed run left in its journals is
    // recovered, and this run's journal starts.
    void startUp(const QString& folder);
    // How long an offline decoding runs between letting window events run
    // (a few milliseconds; tests that watch those events set 0).
    void setEventInterval(qint64 ms) { eventIntervalMs_ = ms; }

    // --- the window's commands ---
    // "Start Monitoring" chosen: its check mark has toggled already.
    void startMonitoringChosen();
    // "Start GPS" clicked (the toggle shows its new state), and "Copy GPS
    // Coordinates to Clipboard".
    void startGpsClicked();
    void copyGpsChosen();
    // File > Decode: a saved log through the offline decoder into the views.
    void decodeChosen();
    // Esc in either log view stops an offline decoding.
    void escapePressed() { busy_.abortDecoding(); }
    void clearChosen();   // Options > Clear Data Fields
    void saveAsChosen();  // File > Save Data As
    // Whether a command that runs no event loop of its own may run now (a
    // decoding under way is asked to stop).
    bool commandMayRun(Command command) { return busy_.ask(command) == BusyRuns::Answer::Go; }
    // Status panel 1 and its tooltip, from the check marks of "Auto Save"
    // and the state of the saves.
    void refreshAutoSaveStatus();

    // The close sequence, which ends in `done` (the window goes). False, and
    // nothing done, while a run that lets events through is under way
    // (`again` closes once it ends), or when the logs could not be saved and
    // the user keeps the window to save them elsewhere.
    struct CloseSteps {
        std::function<void()> again;
        std::function<void()> storeSettings;  // on the way
        std::function<void()> done;
    };
    bool closeSequence(const CloseSteps& steps);
    // A close that nobody attends (a signal): it asks nothing, saves what it
    // can and leaves what it cannot save to the journal for the next start.
    void setUnattendedClose() { unattendedClose_ = true; }

    // --- state ---
    const DisplayMirrors& mirrors() const { return mirrors_; }
    // The check mark "Display Only RSSI".
    void setOnlyRssi(bool on) { mirrors_.OnlyRSSI = on; }
    const GpsState& gps() const { return gps_; }
    // Every live signal report, the window closed or open.
    const SignalHistory& signalHistory() const { return signalHistory_; }
    void setSignalHistoryLimit(std::size_t bytes) { signalHistory_.setMemoryLimit(bytes); }
    const OfflineDecoder& offlineDecoder() const { return offline_; }
    // The live decoder.
    const PackageDecoder& decoder() const { return decoder_; }
    // The program's runs that let events through: the windows' commands and
    // runs take part in them.
    BusyRuns& busyRuns() { return busy_; }
    // The views hold nothing new since they were last written.
    bool logsSaved() const { return logsSaved_; }
    // Folder of the auto-saved logs, with a trailing separator.
    const QString& filesFolder() const { return filesFolder_; }

    // The live logs on their way to the disk: waits for the background saves
    // that have begun; whether the last of them failed.
    void finishBackgroundSaves();
    bool backgroundSavesFailing() const;
    // Writes the journal of the live logs through to the disk and names its files.
    std::vector<std::string> syncJournal();

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
    // New auto-save files every 65 535 packages, when due.
    void rolloverCheck() override;
    void packageDecoded(const PackageFields& package) override;
    void setCountsText(std::string_view text) override;
    void setProgressText(std::string_view text) override;
    void focusTextLog() override { view_.phaseChanged(RunPhase::Decoding); }
    void processPendingEvents() override;
    void showDecodedLines(const LineList& textLines, const LineList& hexLines) override;

    // --- SessionHost ---
    const Settings& sessionSettings() const override { return settings_; }
    bool startMonitoringChecked() const override;
    void setStartMonitoringChecked(bool checked) override;
    bool monitoring() const override { return monitoring_; }
    void setMonitoring(bool running) override { monitoring_ = running; }
    bool closing() const override { return busy_.Closing(); }
    bool offlineDecodingRuns() const override { return !busy_.DecoderIdle(); }
    void liveDataReceived() override { logsSaved_ = false; }
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
    // Decodes the offline decoder's input under a title, or the log file at
    // `path` read into it first: resets the port state, keeps the settings
    // dialog and the editor's Decode button out of the way meanwhile.
    void decodeOfflineInput(const QString& title, const QString& path = {});
    // The part of decodeOfflineInput inside its run once there is input;
    // gives the text of a failure.
    QString decodeInput(const QString& title);
    // The ended decoding's lines into the views, in one step.
    void showDecoded();
    // Lets window events run when the last time was long enough ago.
    void letEventsThroughIfDue();
    // Writes the views to base + ".txt" and base + ".hex" (the hex view only
    // with "Hex Log" checked when hexGated). Throws LogFileError.
    void saveViews(const QString& base, bool freeName, bool hexGated);
    // The auto-save of Clear and close; when it fails the user chooses to
    // save elsewhere, to go on without saving, or to cancel (false). An
    // unattended close goes on without saving and without asking.
    bool autoSaveOrChoose(bool closing);
    void backgroundSaveFailed(const QString& folder, const QString& text);
    bool autoSaveDue() const;
    // Saves on a thread of its own what a crashed or killed run left in the
    // journals of `folder`, with its progress and outcome in status panel 3.
    void startRecovery(const QString& folder);

    const Settings& settings_;
    MonitorView& view_;
    MonitorDialogs& dialogs_;
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
    bool unattendedClose_ = false;
    QString filesFolder_;
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

    // The running decoding's lines, until the views take them.
    LineStore decodedText_;
    LineStore decodedHex_;
    // Offline decoding lets window events run only every few milliseconds:
    // often enough for Esc and the progress to feel immediate, rarely enough
    // to cost nothing measurable.
    QElapsedTimer sinceEvents_;
    qint64 eventIntervalMs_ = 20;
    unsigned eventCheckCounter_ = 0;
};

}  // namespace zelvar
