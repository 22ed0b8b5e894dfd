#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "LineList.h"
#include "ProcessLines.h"
#include "TransformOutput.h"

namespace zelvar {

// The port a line belongs to: its first character when that is a digit 1
// to 4, otherwise 0.
int PortOf(std::string_view line);

// The lines that begin with a port digit 1 to 4, grouped by port in
// ascending order, each group in the document's order. Lines without a port
// (empty ones too) are dropped.
LineList SortByPorts(const LineList& lines);

// "Sort Data by Ports..." over the whole document: shows the sorted lines
// and leaves workLines empty, so a following "Return to the Old Values..."
// empties the editor. No progress and no stop. A document without lines
// changes nothing and gives false.
bool SortDatabyPorts(std::string documentText, LineList& workLines, TransformOutput& output);
// The same with the text read aside, as the line commands read it.
bool SortDatabyPorts(const DocumentReader& documentText, LineList& workLines,
                     TransformOutput& output);
// The same with the lines made aside (the editor's share its text).
bool SortDatabyPorts(const std::function<LineList()>& documentLines, LineList& workLines,
                     TransformOutput& output);

}  // namespace zelvar
