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

bool ProcessLines(const DocumentReader& documentText, const Transform& transform,
                  LineList& workLines, bool& stopFlag, TransformOutput& output) {
    // Cleared before any event runs: a stop asked while the text is read
    // ends the run after its first line.
    stopFlag = false;
    output.setActivityText(" Processing... ");
    // The lines are held here until the run ends, so that nothing the window
    // runs meanwhile can change the list under the loop.
    LineList lines;
    output.runAside([&] { lines = LineList::fromText(documentText()); });
    if (lines.empty()) {
        output.setActivityText("");
        return false;
    }

    const bool filter = IsFilter(transform.mode);
    LineList result;
    if (filter) {
        result.reserve(lines.size() / 8, lines.text().size() / 8);
    } else {
        result.reserve(lines.size(), lines.text().size() + lines.text().size() / 4);
    }
    output.processPendingEvents();

    std::string line;
    const std::size_t last = lines.size() - 1;
    std::size_t done = 0;
    for (std::size_t i = 0; i <= last; ++i) {
        line.clear();
        if (TransformLine(lines[i], transform, line)) result.append(line);
        done = i + 1;
        if (IsProgressStep(i, last)) {
            output.setProgressText(ProgressText(i, last));
            output.processPendingEvents();
        }
        if (stopFlag) break;
    }

    output.setActivityText(" Display...");
    if (!filter) {
        // A stopped conversion keeps the lines it did not reach as they were.
        output.runAside([&] {
            for (std::size_t i = done; i <= last; ++i) result.append(lines[i]);
            std::swap(lines, result);
            // The text before the run is the window's to keep, not ours.
            result = LineList();
        });
    }
    output.clearText();
    output.processPendingEvents();
    // The old values go before the result is shown: a day's log is held in
    // as few copies as the run needs.
    workLines = std::move(lines);
    output.showLines(filter ? result : workLines);
    output.setProgressText("");
    output.setActivityText("");
    return true;
}

}  // namespace zelvar
