#pragma once

#include <string>

#include "LineList.h"
#include "TransformOutput.h"

namespace zelvar {

// The lines that begin with a port digit 1 to 4, grouped by port in
// ascending order, each group in the document's order. Lines without a port
// (empty ones too) are dropped.
LineList SortByPorts(const LineList& lines);

// "Sort Data by Ports..." over the whole document: shows the sorted lines
// and leaves workLines empty, so a following "Return to the Old Values..."
// empties the editor. No progress and no stop. A document without lines
// changes nothing and gives false.
bool SortDatabyPorts(std::string documentText, LineList& workLines, TransformOutput& output);

}  // namespace zelvar
