#pragma once

#include "WindowPlacement.h"

class QWidget;

namespace zelvar {

// Gives a top-level window bounds kept in the settings (PlaceStoredWindow).
// Given before the window is first created, the window manager puts the
// frame, not the client area, at the stored point. Once the window is first
// on screen and its frame is known, it is placed once more, should the frame
// take it off its screen or make it larger than that screen.
void RestoreWindowBounds(QWidget& window, const WindowRect& stored);

// What the settings keep of a window: the frame's left and top edges (of a
// hidden window, where they stood when it was hidden), the client area's
// width and height.
WindowRect StoredWindowBounds(const QWidget& window);

}  // namespace zelvar
