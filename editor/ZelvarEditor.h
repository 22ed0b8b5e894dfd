#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "BusyRuns.h"
#include "EditorCommandHost.h"
#include "EditorControl.h"
#include "EditorText.h"
#include "RichText.h"
#include "Settings.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPushButton;
class QToolButton;
class RichEditArea;

namespace zelvar {
class EditorCommands;
class EditorDialogs;
class EditorHost;
}  // namespace zelvar

// The log editor window. It is created once at start-up and afterwards only
// shown and hidden; the main window reacts to both. Opening and dropping
// read the file completely before the document is replaced, so a file that
// cannot be read leaves the document as it was.
class TEditorForm : public QWidget,
                    public zelvar::EditorControl,
                    private zelvar::EditorCommandHost {
    Q_OBJECT

public:
    // `runs` are the program's, shared with the main window from the start.
    TEditorForm(zelvar::Settings& settings, zelvar::BusyRuns& runs, QWidget* parent = nullptr);
    ~TEditorForm() override;

    // --- zelvar::EditorControl ---
    void applyWindowSettings() override;
    // A maximised window keeps the bounds it had before.
    void storeWindowSettings() override;
    // Edits go back to the settings as they are made.
    void applyFieldSettings() override;
    void setHost(zelvar::EditorHost* host) override { host_ = host; }
    void onVisibilityChanged(QObject* context, std::function<void(bool visible)> listener) override;
    bool editorShown() const override { return isVisible(); }
    void showEditor() override { show(); }
    void hideEditor() override { hide(); }
    void setDecodeButtonEnabled(bool enabled) override;

    zelvar::EditorHost* host() const override { return host_; }
    // Not owned; nullptr returns to the platform's dialogs.
    void setDialogs(zelvar::EditorDialogs* dialogs) { dialogs_ = dialogs; }

    // --- document state, for reading ---
    QString docName() const override { return DocName; }
    QString docPath() const { return DocPath; }
    // Escape was pressed in the text area since the running transform began.
    bool stopAsked() const;
    bool workLinesEmpty() const;

    // The document's text and marks, and its replacement.
    zelvar::RichText document() const;
    void setDocument(zelvar::RichText text);
    // The lines as plain text: a new document, with nothing to undo.
    void setPlainDocument(const QString& text);
    // The result of `command` as plain UTF-8 text, which the document
    // shares, one step to undo; `join` keeps it in the step the command's
    // earlier replacement began. A long text is made ready while the
    // window's events go on.
    void replaceDocument(zelvar::SharedText utf8, const QString& command, bool join) override;
    QString plainText() const;
    // Split as the line commands and zelvar-edit split: a line break at the
    // very end does not start another line.
    QStringList lines() const;

    // A command that lets window events run is a run of its own while it
    // runs; nothing when the busy-run rules refuse it (another command runs,
    // the main window stops, closes or asks).
    [[nodiscard]] std::optional<zelvar::BusyRuns::Run> beginCommand() override;
    bool commandRunning() const { return runs_.running(zelvar::RunKind::EditorCommand); }
    // Hiding the window (its close box, the main window) during a command
    // stops the command and hides the window when it has ended.
    void setVisible(bool visible) override;

    // Status panels 0..2. A panel set without `draw` takes the text but is
    // drawn with the next text that is.
    QString statusText(int panel) const;
    void setStatusText(int panel, const QString& text, bool draw = true) override;

    // --- commands ---
    void mnuOpenRtfClick();
    void mnuSaveClick();
    void mnuSaveRtfClick();
    void mnuClearAllClick();
    // Files dropped on the window: the first one opens when it is an
    // existing .rtf, .hex or .txt file; anything else is ignored.
    void filesDropped(const QStringList& paths);
    // Steps of opening after the file was chosen. False when refused or
    // when the file could not be read (the error has been shown).
    bool openDocument(const QString& path);

signals:
    // Emitted each time the window is shown or hidden, after Editor is set.
    void visibilityChanged(bool visible);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    class LoadingArea;

    // The dialogs set with setDialogs, or the platform's.
    zelvar::EditorDialogs& dialogs();

    // --- zelvar::EditorCommandHost, for the commands ---
    zelvar::BusyRuns& runs() override { return runs_; }
    RichEditArea& textArea() override { return *RichEdit; }
    void showError(const QString& message) override;
    bool decodeButtonEnabled() const override;

    // --- document state ---
    QString DocName;        // "Not Saved" until a document is opened or saved
    QString DocPath;

    // --- controls (their names are also their object names) ---
    RichEditArea* RichEdit = nullptr;
    QLineEdit* EditFind = nullptr;
    QToolButton* BtnFindPrev = nullptr;
    QToolButton* BtnFindNext = nullptr;
    QToolButton* BtnRedMark = nullptr;
    QToolButton* BtnBoldMark = nullptr;
    QToolButton* BtnBlueMark = nullptr;
    QLineEdit* EditPType = nullptr;
    QLineEdit* EditPByte = nullptr;
    QPushButton* SBDecode = nullptr;
    QWidget* EStatusBar = nullptr;

    QMenuBar* MainMenu = nullptr;
    QMenu* mnuFile = nullptr;
    QMenu* mnuOptions = nullptr;
    QMenu* mnuRemove = nullptr;
    QMenu* mnuFilter = nullptr;
    QMenu* mnuConverter = nullptr;
    QAction* mnuOpenRtf = nullptr;
    QAction* mnuSave = nullptr;
    QAction* mnuSaveRtf = nullptr;
    QAction* mnuClearAll = nullptr;
    QAction* mnuResetTTA = nullptr;
    QAction* mnuClearTime = nullptr;
    QAction* mnuClear16 = nullptr;
    QAction* mnuClear32 = nullptr;
    QAction* mnuClearSpace = nullptr;
    QAction* mnuF0B05 = nullptr;
    QAction* mnuUserFilter = nullptr;
    QAction* mnuUndoFilter = nullptr;
    QAction* mnuHexToByte = nullptr;
    QAction* mnuByteToHex = nullptr;
    QAction* SortDatabyPorts1 = nullptr;
    QAction* mnuAddSpace = nullptr;

    QMenu* RichEditMenu = nullptr;  // the context menu
    QAction* mnuECut = nullptr;
    QAction* mnuECopy = nullptr;
    QAction* mnuEPaste = nullptr;
    QAction* nmuESelAll = nullptr;
    QAction* mnuEUndo = nullptr;
    QAction* mnuERedo = nullptr;

    void buildMenus();
    void buildBottomPanel(QWidget* panel);
    void buildStatusBar();
    void RichEditSelectionChange();
    // Undo and redo from the context menu, refused while a command runs.
    void mnuEUndoClick();
    void mnuERedoClick();
    // Their hints name the command they take back or make again.
    void updateUndoItems();
    void writeDocument(const QString& path);
    // Writes the document to DocPath; a failure is shown, and the caption stays.
    void saveToDocPath();
    void setCaptionForDocument();
    void connectCommands();

    zelvar::Settings& settings_;
    zelvar::BusyRuns& runs_;
    zelvar::EditorHost* host_ = nullptr;
    zelvar::EditorDialogs* dialogs_ = nullptr;
    std::unique_ptr<zelvar::EditorDialogs> ownDialogs_;
    std::array<QLabel*, 3> statusPanels_{};
    zelvar::EditorCommands* commands_ = nullptr;
};
