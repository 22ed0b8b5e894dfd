#pragma once

#include <QString>
#include <optional>

#include "BusyRuns.h"
#include "EditorText.h"

class RichEditArea;

namespace zelvar {

class EditorHost;

// What the editor's commands need of their window, and no more: the window
// implements it, and its controls and fields stay its own.
class EditorCommandHost {
public:
    virtual ~EditorCommandHost() = default;

    // A run of its own for a command that lets window events through;
    // nothing when the busy-run rules refuse it.
    [[nodiscard]] virtual std::optional<BusyRuns::Run> beginCommand() = 0;
    virtual BusyRuns& runs() = 0;
    virtual RichEditArea& textArea() = 0;
    // Status panels 0..2; see TEditorForm::setStatusText.
    virtual void setStatusText(int panel, const QString& text, bool draw = true) = 0;
    // A command's result as plain UTF-8 text, which the document shares:
    // one step to undo, named `command`.
    virtual void replaceDocument(SharedText utf8, const QString& command, bool join) = 0;
    virtual QString docName() const = 0;
    virtual void showError(const QString& message) = 0;
    // The main window, once wired.
    virtual EditorHost* host() const = 0;
    virtual bool decodeButtonEnabled() const = 0;
    virtual void setDecodeButtonEnabled(bool enabled) = 0;

protected:
    EditorCommandHost() = default;
    EditorCommandHost(const EditorCommandHost&) = default;
    EditorCommandHost& operator=(const EditorCommandHost&) = default;
};

}  // namespace zelvar
