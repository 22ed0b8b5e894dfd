#pragma once

#include <QObject>

#include "EditorCommandHost.h"
#include "LineList.h"
#include "LineTransform.h"
#include "RichText.h"

namespace zelvar {

// The editor's Options commands, markers, find buttons and "Decode...": the
// window's controls call these with what their fields hold, the line work
// itself is the editor core's, and the window is reached only through
// EditorCommandHost. Every command that lets window events run holds the
// editor while it runs, so a second one arriving meanwhile is refused.
class EditorCommands : public QObject {
    Q_OBJECT

public:
    EditorCommands(EditorCommandHost& window, QObject* parent);
    ~EditorCommands() override;

    // Modes 0 to 5, 7 and 8 with the menu's values; `command` names the
    // step that takes the run back.
    void runTransform(TransformMode mode, const QString& command);
    // "By Mask Value / Bit...": the byte from EditPByte, the type from EditPType.
    void mnuUserFilterClick(const QString& byte, const QString& type, const QString& command);
    // "Return to the Old Values...".
    void mnuUndoFilterClick(const QString& command);
    void SortDatabyPorts1Click(const QString& command);

    void BtnRedMarkClick();
    void BtnBlueMarkClick();
    void BtnBoldMarkClick();
    void mnuResetTTAClick();

    // The text of EditFind, searched for.
    void BtnFindPrevClick(const QString& what);
    void BtnFindNextClick(const QString& what);

    void SBDecodeClick();

    // Escape in the text area, or the window hidden: the running transform
    // stops after its line.
    void stop() { StopFlag = true; }
    bool stopAsked() const { return StopFlag; }
    bool workLinesEmpty() const { return WorkLines.empty(); }

private:
    void run(const Transform& transform, const QString& command);
    // Colours the selection, or what is typed next; marked already, black.
    void toggleColor(MarkColor color);
    void find(const QString& what, bool forward);

    EditorCommandHost& window_;
    bool StopFlag = false;
    LineList WorkLines;  // shared by the line transforms
};

}  // namespace zelvar
