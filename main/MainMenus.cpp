// The menus, and the rules by which the main window, the editor window and
// the settings dialog show and hide each other.
#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPalette>
#include <QProgressBar>

#include "CoverageMapExport.h"
#ifdef ZELVAR_HISTORY_WINDOW
#include "HistoryWindow.h"
#endif
#ifdef ZELVAR_PUBLISH
#include "PublishControl.h"
#endif
#include "LogView.h"
#include "WindowLook.h"
#include "ZelvarMain.h"
#include "ZelvarOptions.h"

namespace {

// The background of the hex view while the editor window makes it editable.
const QColor kCream = zelvar::EditableLogCream();

using zelvar::addCheck;
using zelvar::addCommand;

}  // namespace

void TMainForm::buildMenus() {
    QMenuBar* bar = menuBar();
    // "&" marks the Alt key of each menu and item; it is not shown as text.

    mnuFile = bar->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuDecode = addCommand(mnuFile, "mnuDecode", QStringLiteral("&Decode..."),
                           QKeySequence(Qt::CTRL | Qt::Key_D));
    mnuFile->addSeparator();
    mnuAutoSaveMenu = mnuFile->addMenu(QStringLiteral("&Auto Save"));
    mnuAutoSaveMenu->setObjectName(QStringLiteral("mnuAutoSaveMenu"));
    mnuAutoSave = addCheck(mnuAutoSaveMenu, "mnuAutoSave", QStringLiteral("Auto Save &On"));
    mnuAutoSave->setChecked(true);
    mnuAutoSaveMenu->addSeparator();
    mnu65535 =
        addCheck(mnuAutoSaveMenu, "mnu65535", QStringLiteral("&New File Every 65 535 Packages"));
    mnuFile->addSeparator();
    mnuSaveAs = addCommand(mnuFile, "mnuSaveAs", QStringLiteral("&Save Data As..."));
    QAction* exportCoverage =
        addCommand(mnuFile, "mnuExportCoverage", QStringLiteral("Export &Coverage..."));
    auto* coverage = new zelvar::CoverageMapExport(*this, model_.busyRuns(), settings_, [this] {
        flushLogViews();
        return Memo1->snapshot();
    });
    connect(exportCoverage, &QAction::triggered, coverage,
            &zelvar::CoverageMapExport::exportChosen);

    mnuAnalysis = bar->addMenu(QStringLiteral("&Analysis"));
    mnuAnalysis->setObjectName(QStringLiteral("mnuAnalysis"));
    mnuHexLog = addCheck(mnuAnalysis, "mnuHexLog", QStringLiteral("&Hex Log"),
                         QKeySequence(Qt::CTRL | Qt::Key_H));
    mnuAnalysis->addSeparator();
    mnuOnlyRSSI = addCheck(mnuAnalysis, "mnuOnlyRSSI", QStringLiteral("Display Only &RSSI"),
                           QKeySequence(Qt::CTRL | Qt::Key_R));
    mnuAnalysis->addSeparator();
    mnuStartUDP = addCheck(mnuAnalysis, "mnuStartUDP", QStringLiteral("&Start Monitoring"),
                           QKeySequence(Qt::CTRL | Qt::Key_M));
#ifdef ZELVAR_HISTORY_WINDOW
    mnuAnalysis->addSeparator();
    QAction* signalHistory =
        addCommand(mnuAnalysis, "mnuSignalHistory", QStringLiteral("Si&gnal History..."));
    connect(signalHistory, &QAction::triggered, this, [this] {
        // One window, kept when closed, so its zoom stays as the user left it.
        auto* window = findChild<zelvar::HistoryWindow*>();
        if (!window)
            window = new zelvar::HistoryWindow(
                model_.signalHistory(),
                [this](std::size_t bytes) { model_.setSignalHistoryLimit(bytes); }, settings_,
                model_.busyRuns(), this);
        window->show();
        window->raise();
        window->activateWindow();
    });
#endif

    mnuOptions = bar->addMenu(QStringLiteral("&Options"));
    mnuOptions->setObjectName(QStringLiteral("mnuOptions"));
    mnuClear = addCommand(mnuOptions, "mnuClear", QStringLiteral("&Clear Data Fields..."),
                          QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_X));
    mnuOptions->addSeparator();
    mnuSettings = addCommand(mnuOptions, "mnuSettings", QStringLiteral("&Settings..."),
                             QKeySequence(Qt::Key_F4));
#ifdef ZELVAR_PUBLISH
    publishing_ = new zelvar::PublishControl(
        {*this, model_, [this] { return settingsFileName(); }, [this] { return filesFolder(); }});
    QAction* publish = addCommand(mnuOptions, "mnuPublish", QStringLiteral("&Publish..."));
    connect(publish, &QAction::triggered, publishing_, &zelvar::PublishControl::dialogChosen);
#endif
    mnuOptions->addSeparator();
    mnuEditor = addCommand(mnuOptions, "mnuEditor", QStringLiteral("&Editor..."),
                           QKeySequence(Qt::CTRL | Qt::Key_E));
    mnuOptions->addSeparator();
    mnuCopyGPS =
        addCommand(mnuOptions, "mnuCopyGPS", QStringLiteral("Copy &GPS Coordinates to Clipboard"),
                   QKeySequence(Qt::CTRL | Qt::Key_G));
    mnuCopyGPS->setEnabled(false);
    connect(mnuCopyGPS, &QAction::triggered, this, [this] { model_.copyGpsChosen(); });
    mnuOptions->addSeparator();
    mnuCopyText =
        addCommand(mnuOptions, "mnuCopyText", QStringLiteral("Copy &Text Log to Clipboard"),
                   QKeySequence(Qt::CTRL | Qt::Key_T));

    connect(mnuDecode, &QAction::triggered, this, [this] { model_.decodeChosen(); });
    const auto refreshAutoSave = [this] { model_.refreshAutoSaveStatus(); };
    connect(mnuAutoSave, &QAction::triggered, this, refreshAutoSave);
    connect(mnu65535, &QAction::triggered, this, refreshAutoSave);
    connect(mnuSaveAs, &QAction::triggered, this, [this] { model_.saveAsChosen(); });
    connect(mnuHexLog, &QAction::triggered, this, refreshAutoSave);
    connect(mnuOnlyRSSI, &QAction::triggered, this, &TMainForm::RefreshDisplayMode);
    connect(mnuStartUDP, &QAction::triggered, this, [this] { model_.startMonitoringChosen(); });
    connect(mnuClear, &QAction::triggered, this, [this] { model_.clearChosen(); });
    connect(mnuSettings, &QAction::triggered, this, &TMainForm::mnuSettingsClick);
    connect(mnuEditor, &QAction::triggered, this, &TMainForm::mnuEditorClick);
    connect(mnuCopyText, &QAction::triggered, this, &TMainForm::mnuCopyTextClick);
}

void TMainForm::attachWindows(zelvar::EditorControl* editor, TOptionsForm* options) {
    editor_ = editor;
    options_ = options;
    if (editor_) {
        editor_->setHost(&model_);
        editor_->onVisibilityChanged(this,
                                     [this](bool visible) { editorVisibilityChanged(visible); });
    }
    if (options_) {
        connect(options_, &TOptionsForm::typeFlagsChanged, this, &TMainForm::RefreshTypeSummary);
        connect(options_, &TOptionsForm::updateSMeterHints, this, &TMainForm::updateSMeterHints);
    }
}

bool TMainForm::editorVisible() const {
    return editor_ && editor_->editorShown();
}

void TMainForm::mnuSettingsClick() {
    if (!options_ || !model_.commandMayRun(zelvar::Command::Settings)) return;
    if (options_->isVisible()) {
        options_->hide();
        return;
    }
    options_->show();
    if (editorVisible()) editor_->hideEditor();
}

void TMainForm::mnuEditorClick() {
    // An editor opened while closing would also keep the logs from being saved.
    if (!editor_ || !model_.commandMayRun(zelvar::Command::Editor)) return;
    if (editor_->editorShown()) {
        editor_->hideEditor();
        return;
    }
    // Live and offline decoding never share the views: no editor while a
    // session runs or is about to.
    if (model_.monitoring() || mnuStartUDP->isChecked()) return;
    if (options_ && options_->isVisible()) options_->hide();
    editor_->showEditor();
}

void TMainForm::hideEditor() {
    if (editorVisible()) editor_->hideEditor();
}

void TMainForm::editorVisibilityChanged(bool visible) {
    setLogViewsEditing(visible);
    model_.refreshAutoSaveStatus();
}

void TMainForm::setLogViewsEditing(bool editing) {
    Memo1->setReadOnly(!editing);
    Memo2->setReadOnly(!editing);
    QPalette palette = Memo1->palette();
    if (editing) palette.setColor(QPalette::Base, kCream);
    Memo2->setPalette(palette);
}

void TMainForm::setDecodeCommandsEnabled(bool enabled) {
    mnuDecode->setEnabled(enabled);
    mnuEditor->setEnabled(enabled);
}

void TMainForm::setHexViewEnabled(bool enabled) {
    Memo2->setEnabled(enabled);
}

void TMainForm::updateSMeterHints() {
    if (!options_) return;
    for (int port = 1; port <= 4; ++port) sMeter(port)->setToolTip(options_->ipText(port));
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    // Esc in either log view stops an offline decoding.
    if ((watched == Memo1 || watched == Memo2) && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        model_.escapePressed();
    }
    return QMainWindow::eventFilter(watched, event);
}
