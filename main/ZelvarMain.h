#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "EditorControl.h"
#include "LineStore.h"
#include "LogBytes.h"
#include "MonitorModel.h"
#include "MonitorView.h"
#include "Settings.h"

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QProgressBar;
class QSplitter;
class QToolButton;
class TOptionsForm;

namespace zelvar {
class LogView;
class PortNameBox;
class LogSaveControl;
class PublishControl;
class SettingsStore;
class UserDialogs;
}  // namespace zelvar

// The main window: the two log views, the menus, the GPS strip with the
// S-meters and the status bar; the view of the monitor model it owns.
class TMainForm : public QMainWindow, public zelvar::MonitorView {
    Q_OBJECT

public:
    // `settings` are the program's, shared with the editor and the settings dialog.
    explicit TMainForm(zelvar::Settings& settings, QWidget* parent = nullptr);
    ~TMainForm() override;

    // --- wiring, done by the program entry (and by tests) ---
    void attachWindows(zelvar::EditorControl* editor, TOptionsForm* options);
    // Where the settings are loaded from and saved to; the user's store when
    // none is set by the time the window is first shown.
    void setSettingsStore(std::unique_ptr<zelvar::SettingsStore> store);
    // Not owned; nullptr returns to the platform's dialogs.
    void setDialogs(zelvar::UserDialogs* dialogs);
    // Lists the system's serial ports for the "Port:" box at start-up.
    void setSerialPortLister(std::function<QStringList()> lister);
    // How long an offline decoding runs between letting window events run
    // (a few milliseconds; tests that watch those events set 0).
    void setEventInterval(qint64 ms) { eventIntervalMs_ = ms; }
    // A close that nobody attends (a signal): it asks nothing, saves what it
    // can and leaves what it cannot save to the journal for the next start.
    void closeUnattended();

    // The monitor model, which the session, the GPS strip and the editor drive.
    zelvar::MonitorModel& model() { return model_; }
    const zelvar::MonitorModel& model() const { return model_; }
    bool editorVisible() const;
    // The views hold nothing new since they were last written.
    bool logsSaved() const { return model_.logsSaved(); }
    // Folder of the auto-saved logs, with a trailing separator.
    QString filesFolder() const { return FilesDir; }
    // The settings file; empty before the window was first shown.
    QString settingsFileName() const;
    // "Options > Publish..." and the publisher; nullptr in a build without MQTT.
    zelvar::PublishControl* publishing() const { return publishing_; }

    // An unexpected failure of a command, with the system's text.
    void showError(const QString& text) { model_.showError(text); }

    // --- commands ---
    void mnuDecodeClick();
    void mnuSaveAsClick();
    void mnuClearClick();
    void mnuSettingsClick();
    void mnuEditorClick();
    void mnuCopyTextClick();
    // "Start Monitoring" chosen: the check mark has toggled; the session acts.
    void mnuStartUDPClick();
    // Esc in either log view stops an offline decoding.
    void Memo1KeyDown(int key);

    // Decodes OfflineInputLines under a title (File > Decode and the editor's
    // Decode button), or the log file at `path` read into them first: resets
    // the port state, keeps the settings dialog and the editor's Decode
    // button out of the way meanwhile.
    void decodeOfflineInput(const QString& title, const QString& path = {});

    void RefreshAutoSaveStatus();
    void RefreshDisplayMode();
    void RefreshTypeSummary();
    void RolloverCheck();
    // Writes the views to base + ".txt" and base + ".hex" (the hex view only
    // with "Hex Log" checked when hexGated). Throws zelvar::LogFileError.
    void SaveLogs(const QString& base, bool hexGated);

    // The live logs on their way to the disk: waits for the background saves
    // that have begun; whether the last of them failed.
    void finishBackgroundSaves();
    bool backgroundSavesFailing() const;
    // Writes the journal of the live logs through to the disk and names its files.
    std::vector<std::string> syncJournal();

    // Moves the lines still waiting for the views into them.
    void flushLogViews() { model_.flushLogViews(); }
    // The views' lines, for tests and the session.
    QStringList textLogLines();
    QStringList hexLogLines();
    // The text log's saved bytes as they stand, sharing the view's memory:
    // for whatever reads the log beside the window (the coverage export).
    zelvar::LogBytes textLogSnapshot();

    int hexPaneHeight() const;
    void setHexPaneHeight(int height);
    // Fills the "Port:" box and selects the remembered port.
    void setSerialPorts(const QStringList& names);

    void setDecodeCommandsEnabled(bool enabled);     // "Decode..." and "Editor..."
    void setHexViewEnabled(bool enabled);
    // Editable views with the cream hex view while the editor is shown,
    // read-only views in the window colour otherwise.
    void setLogViewsEditing(bool editing);
    void hideEditor();

    // Reads the settings before the window is first created (see readSettings).
    void setVisible(bool visible) override;

    bool monitoring() const { return model_.monitoring(); }

    // --- zelvar::MonitorView ---
    void appendLines(zelvar::LogPane pane, std::string_view joined) override;
    bool textLogEmpty() const override;
    void refreshAutoSaveStatus() override { RefreshAutoSaveStatus(); }
    void rolloverCheck() override { RolloverCheck(); }
    QString statusText(int panel) const override;
    void setStatusText(int panel, const QString& text) override;
    void setStatusHint(int panel, const QString& hint) override;
    void setSMeter(int port, int position) override;
    void updateSMeterHints() override;
    bool toggled(zelvar::ViewToggle toggle) const override;
    void setToggled(zelvar::ViewToggle toggle, bool on) override;
    void setControlEnabled(zelvar::ViewControl control, bool enabled) override;
    void sessionPhaseChanged(zelvar::SessionPhase phase) override;
    QString gpsPortName() const override;
    void showGpsLabels(const QString& time, const QString& lat, const QString& lon,
                       const QString& pdop) override;
    void setGpsLabelsVisible(bool visible) override;
    void showErrorBox(const QString& text) override;
    void runOfflineDecoding(const QString& title) override { decodeOfflineInput(title); }
    void focusTextLog() override;
    void processPendingEvents() override;
    void drawStatusNow() override;
    void showDecodedLines(const zelvar::LineList& textLines,
                          const zelvar::LineList& hexLines) override;
    void refreshDisplayMode() override { RefreshDisplayMode(); }

signals:
    // The close sequence has run and the window closes: the program ends.
    void closed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString FilesDir;         // folder of the auto-saved logs, with a trailing separator

    // --- controls (their names are also their object names) ---
    zelvar::LogView* Memo1 = nullptr;  // text log
    zelvar::LogView* Memo2 = nullptr;  // hex log
    QWidget* HexPanel = nullptr;
    QSplitter* LogSplitter = nullptr;
    QWidget* GPSPanel = nullptr;
    QToolButton* sbCOMM = nullptr;
    QComboBox* cbPort = nullptr;
    QLabel* LabelGPSTime = nullptr;
    QLabel* LabelLat = nullptr;
    QLabel* LabelLon = nullptr;
    QLabel* LabelPDOP = nullptr;
    QProgressBar* SMetr1 = nullptr;
    QProgressBar* SMetr2 = nullptr;
    QProgressBar* SMetr3 = nullptr;
    QProgressBar* SMetr4 = nullptr;

    QMenu* mnuFile = nullptr;
    QMenu* mnuAutoSaveMenu = nullptr;
    QMenu* mnuAnalysis = nullptr;
    QMenu* mnuOptions = nullptr;
    QAction* mnuDecode = nullptr;
    QAction* mnuAutoSave = nullptr;
    QAction* mnu65535 = nullptr;
    QAction* mnuSaveAs = nullptr;
    QAction* mnuHexLog = nullptr;
    QAction* mnuOnlyRSSI = nullptr;
    QAction* mnuStartUDP = nullptr;
    QAction* mnuClear = nullptr;
    QAction* mnuSettings = nullptr;
    QAction* mnuEditor = nullptr;
    QAction* mnuCopyGPS = nullptr;
    QAction* mnuCopyText = nullptr;

    QProgressBar* sMeter(int port) const;  // port 1..4
    void buildLogArea();
    void buildGpsStrip();
    void buildStatusBar();
    void buildMenus();
    void startUp();
    void readSettings();
    void loadSettings();
    void saveSettings();
    // The store written, or checked for being writable; a store that cannot
    // be written is reported once a run, in status panel 3.
    void storeSettings();
    void checkSettingsStore();
    void settingsNotSaved();
    void editorVisibilityChanged(bool visible);
    zelvar::UserDialogs& dialogs();
    // The auto-save of Clear and close; when it fails the user chooses to
    // save elsewhere, to go on without saving, or to cancel (false). An
    // unattended close goes on without saving and without asking.
    bool autoSaveOrChoose(bool closing);
    void saveViews(const QString& base, bool freeName, bool hexGated);
    void backgroundSaveFailed(const QString& folder, const QString& text);
    void appendToView(zelvar::LogView* view, std::string_view joined);
    // The part of decodeOfflineInput inside its run once there is input;
    // gives the text of a failure.
    QString decodeInput(const QString& title);
    // The ended decoding's lines into the views, in one step.
    void showDecoded();
    // Lets window events run when the last time was long enough ago (an
    // offline decoding only: the run guards what they start).
    void letEventsThroughIfDue();
    QString lastTextLine(int fromEnd) const;
    void removeLastTextLine();

    zelvar::Settings& settings_;
    zelvar::MonitorModel model_;
    // The model's parts that the window's commands and its offline run work on.
    zelvar::BusyRuns& busy_;
    zelvar::PackageDecoder& decoder_;
    zelvar::OfflineDecoder& offline_;
    zelvar::LogSaveControl* const saving_;
    // The running decoding's lines, until the views take them.
    zelvar::LineStore decodedText_;
    zelvar::LineStore decodedHex_;

    zelvar::EditorControl* editor_ = nullptr;
    TOptionsForm* options_ = nullptr;
    std::unique_ptr<zelvar::SettingsStore> store_;
    std::unique_ptr<zelvar::UserDialogs> ownDialogs_;
    zelvar::UserDialogs* dialogs_ = nullptr;
    std::function<QStringList()> serialPortLister_;

    zelvar::PortNameBox* portBox_ = nullptr;  // cbPort

    std::array<QLabel*, 7> statusPanels_{};
    zelvar::PublishControl* publishing_ = nullptr;  // a child
    bool startedUp_ = false;
    bool unattendedClose_ = false;
    bool settingsRead_ = false;
    bool settingsTroubleShown_ = false;

    // Offline decoding lets window events run only every few milliseconds:
    // often enough for Esc and the progress to feel immediate, rarely enough
    // to cost nothing measurable.
    QElapsedTimer sinceEvents_;
    qint64 eventIntervalMs_ = 20;
    unsigned eventCheckCounter_ = 0;
};
