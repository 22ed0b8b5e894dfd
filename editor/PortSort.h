#pragma once

#include "LineList.h"

namespace zelvar {

// "Sort Data by Ports...": the lines that begin with a port digit 1 to 4,
// grouped by port in ascending order, each group in the document's order.
// Lines without a port (empty ones too) are dropped.
LineList SortByPorts(const LineList& lines);

}  // namespace zelvar
