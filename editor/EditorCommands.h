#pragma once

#include <QObject>

#include "LineTransform.h"
#include "RichText.h"

class TEditorForm;

namespace zelvar {

// The editor's Options commands, markers, find buttons and "Decode...": the
// window's controls call these, the line work itself is the editor core's.
// Every command that lets window events run holds the editor while it runs,
// so a second one arriving meanwhile is refused.
class EditorCommands : public QObject {
    Q_OBJECT

public:
    explicit EditorCommands(TEditorForm& form);
    ~EditorCommands() override;

    // Modes 0 to 5, 7 and 8 with the menu's values; `command` names the
    // step that takes the run back.
    void runTransform(TransformMode mode, const QString& command);
    // "By Mask Value / Bit...": the byte from EditPByte, the type from EditPType.
    void mnuUserFilterClick();
    // "Return to the Old Values...".
    void mnuUndoFilterClick();
    void SortDatabyPorts1Click();

    void BtnRedMarkClick();
    void BtnBlueMarkClick();
    void BtnBoldMarkClick();
    void mnuResetTTAClick();

    void BtnFindPrevClick();
    void BtnFindNextClick();

    void SBDecodeClick();

private:
    void run(const Transform& transform, const QString& command);
    // Colours the selection, or what is typed next; marked already, black.
    void toggleColor(MarkColor color);
    void find(bool forward);

    TEditorForm& form_;
};

}  // namespace zelvar
