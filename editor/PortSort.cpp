#include "PortSort.h"

#include <array>
#include <utility>

namespace zelvar {

int PortOf(std::string_view line) {
    return !line.empty() && line[0] >= '1' && line[0] <= '4' ? line[0] - '0' : 0;
}

LineList SortByPorts(const LineList& lines) {
    // One pass to size the result, then one per port: the lines are copied
    // once, straight to their place.
    std::array<std::size_t, 5> count{};
    std::array<std::size_t, 5> chars{};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        const int port = PortOf(line);
        ++count[static_cast<std::size_t>(port)];
        chars[static_cast<std::size_t>(port)] += line.size() + 1;
    }
    LineList sorted;
    sorted.reserve(lines.size() - count[0], lines.text().size() - chars[0]);
    for (int port = 1; port <= 4; ++port) {
        if (count[static_cast<std::size_t>(port)] == 0) continue;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const std::string_view line = lines[i];
            if (PortOf(line) == port) sorted.append(line);
        }
    }
    return sorted;
}

bool SortDatabyPorts(std::string documentText, LineList& workLines, TransformOutput& output) {
    return SortDatabyPorts([&documentText] { return std::move(documentText); }, workLines, output);
}

bool SortDatabyPorts(const DocumentReader& documentText, LineList& workLines,
                     TransformOutput& output) {
    return SortDatabyPorts([&documentText] { return LineList::fromText(documentText()); },
                           workLines, output);
}

bool SortDatabyPorts(const std::function<LineList()>& documentLines, LineList& workLines,
                     TransformOutput& output) {
    bool empty = true;
    LineList sorted;
    output.runAside([&] {
        const LineList lines = documentLines();
        empty = lines.empty();
        sorted = SortByPorts(lines);
    });
    if (empty) return false;
    output.clearText();
    // Their memory goes before the result is shown.
    workLines = LineList();
    output.showLines(sorted);
    return true;
}

}  // namespace zelvar
