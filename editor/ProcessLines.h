#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "LineList.h"
#include "LineTransform.h"
#include "TransformOutput.h"

namespace zelvar {

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

// The document's text, read when a run needs it: the window reads it aside,
// while its events go on.
using DocumentReader = std::function<std::string()>;
bool ProcessLines(const DocumentReader& documentText, const Transform& transform,
                  LineList& workLines, bool& stopFlag, TransformOutput& output);

// A document's lines one after another, split as LineList::fromText splits
// a text: a run reads the window's own text line by line, so a day's log is
// never copied whole on its way into the result.
class LineReader {
public:
    virtual ~LineReader() = default;
    // How many lines the document has, asked once before the first line;
    // the window may count them aside.
    virtual std::size_t lineCount() = 0;
    // The next line; the view holds until the next call.
    virtual std::string_view next() = 0;
    // About how many bytes the lines take, to reserve the result's room.
    virtual std::size_t sizeHint() const = 0;
    // The lines counted, as a list sharing their text where the reader holds
    // one: a filter keeps it as the old values instead of a copy of each line.
    virtual LineList lines() const { return {}; }
};

// The lines of a shared text, split aside when the run counts them; the
// text itself is their list's when it is made of whole lines.
class SharedLines : public LineReader {
public:
    explicit SharedLines(std::shared_ptr<const std::string> text) : text_(std::move(text)) {}
    std::size_t lineCount() override;
    std::string_view next() override { return lines_[next_++]; }
    std::size_t sizeHint() const override { return lines_.text().size(); }
    LineList lines() const override { return lines_; }

private:
    std::shared_ptr<const std::string> text_;
    LineList lines_;
    std::size_t next_ = 0;
};
// The document must not change while the run reads it.
bool ProcessLines(LineReader& document, const Transform& transform, LineList& workLines,
                  bool& stopFlag, TransformOutput& output);

// "Return to the Old Values...": the text area gets workLines once more.
void RestoreWorkLines(const LineList& workLines, TransformOutput& output);

// The progress text of panel 1 at index i: " i / last".
std::string ProgressText(std::size_t index, std::size_t last);

// Whether index i of a run over last + 1 lines is a progress step: every
// index up to 1000 lines, beyond that only those with none of the bits of
// 1000 (0x3E8) set, so repainting does not slow a long run.
bool IsProgressStep(std::size_t index, std::size_t last);

}  // namespace zelvar
