#pragma once

#include <QFont>

namespace zelvar {

// The monospaced 8-point font of the log views: "Courier New" where it is
// installed, else the metric-compatible "Liberation Mono", else the system's
// fixed font, so that the tab-separated columns line up.
QFont LogViewFont();

// The status bar's panels have the widths of a narrow 8-point face; the
// desktop's wider default would cut the auto-save status short. "Tahoma",
// else the narrower "Liberation Sans", else the desktop's face, at 8 points.
QFont StatusBarFont();

}  // namespace zelvar
