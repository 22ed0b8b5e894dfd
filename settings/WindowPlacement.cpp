#include "WindowPlacement.h"

#include <algorithm>
#include <cstdint>

namespace zelvar {

namespace {

// Stored values may be anything a damaged or hand-edited store holds; the
// sums below would overflow an int.
struct Box {
    std::int64_t left, top, width, height;
    std::int64_t right() const { return left + width; }
    std::int64_t bottom() const { return top + height; }
};

Box box(const WindowRect& r) {
    return {r.left, r.top, std::max(r.width, 0), std::max(r.height, 0)};
}

std::int64_t overlap(const Box& a, const Box& b) {
    const std::int64_t width = std::min(a.right(), b.right()) - std::max(a.left, b.left);
    const std::int64_t height = std::min(a.bottom(), b.bottom()) - std::max(a.top, b.top);
    return width > 0 && height > 0 ? width * height : 0;
}

// The edge that keeps a span of `size` within [low, low + room): where it
// was when it fits there, else moved in just far enough.
std::int64_t within(std::int64_t at, std::int64_t size, std::int64_t low, std::int64_t room) {
    return std::max(low, std::min(at, low + room - size));
}

}  // namespace

WindowRect PlaceStoredWindow(const WindowRect& stored, const FrameMargins& frame,
                             std::span<const WindowRect> availableScreens,
                             const WindowRect& primaryScreen, WindowSize least) {
    const std::int64_t frameWidth = frame.left + frame.right;
    const std::int64_t frameHeight = frame.top + frame.bottom;
    // The window will be no smaller than its least size, wherever it goes.
    Box outer = box(stored);
    outer.width = std::max<std::int64_t>(outer.width, least.width) + frameWidth;
    outer.height = std::max<std::int64_t>(outer.height, least.height) + frameHeight;

    // The screen that holds most of the window; a screen since removed or
    // changed leaves the window on the one it now lies on most.
    Box screen = box(primaryScreen);
    std::int64_t most = 0;
    for (const WindowRect& candidate : availableScreens) {
        const Box s = box(candidate);
        if (const std::int64_t area = overlap(outer, s); area > most) {
            most = area;
            screen = s;
        }
    }

    outer.width = std::max(std::min(outer.width, screen.width), frameWidth);
    outer.height = std::max(std::min(outer.height, screen.height), frameHeight);
    if (most == 0) {
        outer.left = screen.left + (screen.width - outer.width) / 2;
        outer.top = screen.top + (screen.height - outer.height) / 2;
    } else {
        outer.left = within(outer.left, outer.width, screen.left, screen.width);
        outer.top = within(outer.top, outer.height, screen.top, screen.height);
    }
    return {static_cast<int>(outer.left + frame.left), static_cast<int>(outer.top + frame.top),
            static_cast<int>(outer.width - frameWidth), static_cast<int>(outer.height - frameHeight)};
}

}  // namespace zelvar
