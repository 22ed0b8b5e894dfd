#pragma once

#include <string>

namespace zelvar {

// Why the windows cannot be shown in this environment, in one line, or
// empty. The desktop platforms (X11, Wayland) need the session's display,
// named in DISPLAY or WAYLAND_DISPLAY; without one Qt aborts with a message
// about platform plugins that does not say what is missing. A platform
// chosen that needs no display (QT_QPA_PLATFORM=offscreen, -platform) is
// left to Qt.
std::string MissingDisplay(int argc, char* argv[]);

}  // namespace zelvar
