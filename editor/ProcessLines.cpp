#include "ProcessLines.h"

#include <utility>

namespace zelvar {

std::string ProgressText(std::size_t index, std::size_t last) {
    // Appended piece by piece: GCC 12 at -O3 takes " " + std::to_string(...)
    // for an overlapping copy (a false -Wrestrict).
    std::string text(1, ' ');
    text.append(std::to_string(index)).append(" / ").append(std::to_string(last));
    return text;
}

void RestoreWorkLines(const LineList& workLines, TransformOutput& output) {
    output.clearText();
    output.showLines(workLines);
}

bool IsProgressStep(std::size_t index, std::size_t last) {
    return last <= 1000 || (index & 0x3E8u) == 0;
}

bool ProcessLines(std::string documentText, const Transform& transform, LineList& workLines,
                  bool& stopFlag, TransformOutput& output) {
    if (documentText.empty()) return false;
    return ProcessLines([&documentText] { return std::move(documentText); }, transform, workLines,
                        stopFlag, output);
}

namespace {

// The lines of a text read whole, when the run first asks for them, for the
// callers that hold the text as one string.
class ListReader : public LineReader {
public:
    explicit ListReader(const DocumentReader& read) : read_(read) {}
    std::size_t lineCount() override {
        lines_ = LineList::fromText(read_());
        return lines_.size();
    }
    std::string_view next() override { return lines_[next_++]; }
    std::size_t sizeHint() const override { return lines_.text().size(); }
    LineList lines() const override { return lines_; }

private:
    const DocumentReader& read_;
    LineList lines_;
    std::size_t next_ = 0;
};

// The most bytes a conversion makes of one byte of data: "Hex_to_Byte..."
// turns two hex characters into three digits and a blank.
constexpr std::size_t kMostGrowth = 2;

}  // namespace

std::size_t SharedLines::lineCount() {
    lines_ = LineList::fromShared(std::move(text_));
    return lines_.size();
}

bool ProcessLines(const DocumentReader& documentText, const Transform& transform,
                  LineList& workLines, bool& stopFlag, TransformOutput& output) {
    ListReader reader(documentText);
    return ProcessLines(reader, transform, workLines, stopFlag, output);
}

bool ProcessLines(LineReader& document, const Transform& transform, LineList& workLines,
                  bool& stopFlag, TransformOutput& output) {
    // Cleared before any event runs: a stop asked while the lines are
    // counted ends the run after its first line.
    stopFlag = false;
    output.setActivityText(" Processing... ");
    std::size_t count = 0;
    output.runAside([&] { count = document.lineCount(); });
    if (count == 0) {
        output.setActivityText("");
        return false;
    }

    // A filter keeps the lines as they were for "Return to the Old Values...",
    // a conversion its result. Reserved room that is never written costs
    // address space, not memory: the result never moves to a larger buffer.
    const bool filter = IsFilter(transform.mode);
    const std::size_t bytes = document.sizeHint() + count;
    LineList result;
    // A filter's old values are the document's lines, shared where they can be.
    LineList old = filter ? document.lines() : LineList();
    const bool copyOld = filter && old.size() != count;
    if (filter) output.expectResult(count, bytes);
    if (copyOld) {
        old = LineList();
        old.reserve(count, bytes);
    } else if (!filter) {
        result.reserve(count, kMostGrowth * bytes);
    }
    output.processPendingEvents();

    std::string line;
    const std::size_t last = count - 1;
    std::size_t done = 0;
    for (std::size_t i = 0; i <= last; ++i) {
        const std::string_view read = document.next();
        if (copyOld) old.append(read);
        line.clear();
        if (TransformLine(read, transform, line)) {
            if (filter) {
                output.resultLine(line);
            } else {
                result.append(line);
            }
        }
        done = i + 1;
        if (IsProgressStep(i, last)) {
            output.setProgressText(ProgressText(i, last));
            output.processPendingEvents();
        }
        if (stopFlag) break;
    }

    output.setActivityText(" Display...");
    // A stopped conversion keeps the lines it did not reach as they were; a
    // filter keeps all of them as the old values.
    if (!filter || copyOld) {
        LineList& rest = filter ? old : result;
        output.runAside([&] {
            for (std::size_t i = done; i <= last; ++i) rest.append(document.next());
        });
    }
    output.clearText();
    output.processPendingEvents();
    // The old values go before the result is shown: a day's log is held in
    // as few copies as the run needs.
    workLines = std::move(filter ? old : result);
    if (filter) {
        output.showResult();
    } else {
        output.showLines(workLines);
    }
    output.setProgressText("");
    output.setActivityText("");
    return true;
}

}  // namespace zelvar
