#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <string_view>

#include "EditorControl.h"
#include "LogBytes.h"
#include "MonitorModel.h"
#include "MonitorView.h"
#include "Settings.h"
#include "UserDialogs.h"

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
class PublishControl;
class SettingsStore;
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
    void setDialogs(zelvar::UserDialogs* dialogs) { dialogs_.use(dialogs); }
    // Lists the system's serial ports for the "Port:" box at start-up.
    void setSerialPortLister(std::function<QStringList()> lister);
    // A close that nobody attends (a signal): it asks nothing, saves what it
    // can and leaves what it cannot save to the journal for the next start.
    void closeUnattended();

    // The monitor model, which the session, the GPS strip and the editor drive.
    zelvar::MonitorModel& model() { return model_; }
    const zelvar::MonitorModel& model() const { return model_; }
    // The views hold nothing new since they were last written.
    bool logsSaved() const { return model_.logsSaved(); }
    // Folder of the auto-saved logs, with a trailing separator.
    QString filesFolder() const { return model_.filesFolder(); }
    // The settings file; empty before the window was first shown.
    QString settingsFileName() const;
    // "Options > Publish..." and the publisher; nullptr in a build without MQTT.
    zelvar::PublishControl* publishing() const { return publishing_; }

    // --- commands, as their menu items give them ---
    void mnuDecodeClick() { model_.decodeChosen(); }
    void mnuClearClick() { model_.clearChosen(); }
    void mnuEditorClick();

    void RefreshDisplayMode();
    void RefreshTypeSummary();

    // Moves the lines still waiting for the views into them.
    void flushLogViews() { model_.flushLogViews(); }
    // The views' lines, for tests and the session.
    QStringList textLogLines();
    QStringList hexLogLines();

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

    // Status panels 1..7, and the S-meter of port 1..4 at position 0..9
    // (the monitor model's view, also for tests and screenshots).
    QString statusText(int panel) const override;
    void setStatusText(int panel, const QString& text) override;
    void setSMeter(int port, int position) override;

signals:
    // The close sequence has run and the window closes: the program ends.
    void closed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // --- the rest of zelvar::MonitorView ---
    void appendLines(zelvar::LogPane pane, std::string_view joined) override;
    void appendStore(zelvar::LogPane pane, zelvar::LineStore&& lines) override;
    bool logEmpty(zelvar::LogPane pane) const override;
    zelvar::LogBytes logSnapshot(zelvar::LogPane pane) const override;
    zelvar::LogBytes takeLog(zelvar::LogPane pane) override;
    void refreshDisplayMode() override { RefreshDisplayMode(); }
    void setStatusHint(int panel, const QString& hint) override;
    void drawStatusNow() override;
    void updateSMeterHints() override;
    QString gpsPortName() const override;
    void showGpsLabels(const QString& time, const QString& lat, const QString& lon,
                       const QString& pdop) override;
    void setGpsLabelsVisible(bool visible) override;
    bool toggled(zelvar::ViewToggle toggle) const override;
    void setToggled(zelvar::ViewToggle toggle, bool on) override;
    void setControlEnabled(zelvar::ViewControl control, bool enabled) override;
    void phaseChanged(zelvar::RunPhase phase) override;

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
    zelvar::LogView* logView(zelvar::LogPane pane) const;
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
    bool editorVisible() const;
    void editorVisibilityChanged(bool visible);
    void mnuSettingsClick();
    void mnuCopyTextClick();
    QString lastTextLine(int fromEnd) const;

    zelvar::Settings& settings_;
    // Declared before the model, which asks the user through them.
    zelvar::WindowDialogs dialogs_{*this};
    zelvar::MonitorModel model_;

    zelvar::EditorControl* editor_ = nullptr;
    TOptionsForm* options_ = nullptr;
    std::unique_ptr<zelvar::SettingsStore> store_;
    std::function<QStringList()> serialPortLister_;

    zelvar::PortNameBox* portBox_ = nullptr;  // cbPort

    std::array<QLabel*, 7> statusPanels_{};
    zelvar::PublishControl* publishing_ = nullptr;  // a child
    bool startedUp_ = false;
    bool settingsRead_ = false;
    bool settingsTroubleShown_ = false;
};
