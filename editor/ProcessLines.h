#pragma once

#include <string>
#include <string_view>

#include "LineList.h"
#include "LineTransform.h"

namespace zelvar {

// What a run of ProcessLines needs from the editor window. Every operation
// does nothing unless overridden, so the command line and tests take only
// what they need.
class TransformOutput {
public:
    virtual ~TransformOutput() = default;

    // Status panel 1: " i / last" at the progress steps, then "".
    virtual void setProgressText(std::string_view /*text*/) {}
    // Status panel 2: " Processing... ", " Display...", then "".
    virtual void setActivityText(std::string_view /*text*/) {}
    // Lets pending window events run; this is where Escape sets the stop flag.
    virtual void processPendingEvents() {}
    // Empties the text area before the result is shown.
    virtual void clearText() {}
    // Replaces the text area's content with these lines as plain text, a line
    // break after each (lines.text() is exactly that text).
    virtual void showLines(const LineList& /*lines*/) {}
};

// The editor's line transform over the whole document: splits the text into
// workLines (as the offline decoder splits a file), applies the transform to
// each line, and shows the converted workLines or, for a filter, the kept
// lines, leaving workLines as "Return to the Old Values..." restores it.
// stopFlag is cleared at the start and polled after each line; when the
// window sets it, the run ends after that line: a conversion shows the lines
// done so far converted and the rest unchanged, a filter the lines kept so
// far. A document without lines changes nothing, workLines included, and
// the call returns false.
bool ProcessLines(std::string documentText, const Transform& transform, LineList& workLines,
                  bool& stopFlag, TransformOutput& output);

// The progress text of panel 1 at index i: " i / last".
std::string ProgressText(std::size_t index, std::size_t last);

// Whether index i of a run over last + 1 lines is a progress step: every
// index up to 1000 lines, beyond that only those with none of the bits of
// 1000 (0x3E8) set, so repainting does not slow a long run.
bool IsProgressStep(std::size_t index, std::size_t last);

}  // namespace zelvar
