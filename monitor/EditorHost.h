#pragma once

#include <QString>
#include "LineList.h"

namespace zelvar {

// What the editor window needs of the main window, and no more: its offline
// decoding, its "Decode..." command and whether a session runs. The monitor
// model implements it.
class EditorHost {
public:
    virtual ~EditorHost() = default;

    // Decodes the lines through the offline decoder under the header title;
    // the results go to the main window's views. The lines share the
    // editor's text.
    virtual void decodeEditorLines(LineList lines, const QString& title) = 0;
    // The main window's own "Decode..." command.
    virtual void setMainDecodeEnabled(bool enabled) = 0;
    // True while a monitoring session runs.
    virtual bool monitoring() const = 0;
};

}  // namespace zelvar
