#pragma once

#include <functional>
#include <string_view>

#include "LineList.h"

namespace zelvar {

// What the editor's line commands need from the editor window. Every operation
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
    // Runs a long step that needs nothing of the window; the window may let
    // its events run meanwhile.
    virtual void runAside(const std::function<void()>& step) { step(); }
    // Empties the text area before the result is shown.
    virtual void clearText() {}
    // Replaces the text area's content with these lines as plain text, a line
    // break after each (lines.text() is exactly that text).
    virtual void showLines(const LineList& /*lines*/) {}
    // The lines a filter keeps, one by one as the run goes, then shown in
    // one step: a window can build its text as they come, without a list
    // of them besides. By default they are collected and given to showLines,
    // in room for the most a filter keeps (never written, the room costs
    // address space, not memory), so the list never moves as it grows.
    virtual void expectResult(std::size_t lines, std::size_t bytes) {
        result_.reserve(lines, bytes);
    }
    virtual void resultLine(std::string_view line) { result_.append(line); }
    virtual void showResult() {
        showLines(result_);
        result_ = LineList();
    }

private:
    LineList result_;
};

}  // namespace zelvar
