#pragma once

#include <span>

namespace zelvar {

struct WindowRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const WindowRect&, const WindowRect&) = default;
};

// The window manager's frame around a window's client area.
struct FrameMargins {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// The least client size a window takes, whatever it is given.
struct WindowSize {
    int width = 0;
    int height = 0;
};

// A window's bounds as the settings keep them: the frame's left and top
// edges, the client area's width and height. Gives the client area to place
// the window at so that its frame comes back where it was, as far as it fits:
// the frame always ends wholly inside one available screen, the one that
// holds most of it, cut to that screen's size and moved in just far enough.
// Bounds that meet no available screen put the window in the middle of the
// primary screen. A client area below `least` is taken at `least`, the size
// the window will have.
WindowRect PlaceStoredWindow(const WindowRect& stored, const FrameMargins& frame,
                             std::span<const WindowRect> availableScreens,
                             const WindowRect& primaryScreen, WindowSize least = {});

}  // namespace zelvar
