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

bool meets(const Box& a, const Box& b) {
    return a.left < b.right() && b.left < a.right() && a.top < b.bottom() && b.top < a.bottom();
}

}  // namespace

WindowRect PlaceStoredWindow(const WindowRect& stored, const FrameMargins& frame,
                             std::span<const WindowRect> availableScreens,
                             const WindowRect& primaryScreen) {
    const std::int64_t frameWidth = frame.left + frame.right;
    const std::int64_t frameHeight = frame.top + frame.bottom;
    Box outer = box(stored);
    outer.width += frameWidth;
    outer.height += frameHeight;

    Box limit = box(primaryScreen);
    bool onScreen = false;
    for (const WindowRect& screen : availableScreens) {
        const Box s = box(screen);
        onScreen = onScreen || meets(outer, s);
        // All screens together bound a window that spans several of them.
        const std::int64_t right = std::max(limit.right(), s.right());
        const std::int64_t bottom = std::max(limit.bottom(), s.bottom());
        limit.left = std::min(limit.left, s.left);
        limit.top = std::min(limit.top, s.top);
        limit.width = right - limit.left;
        limit.height = bottom - limit.top;
    }
    if (!onScreen) limit = box(primaryScreen);

    outer.width = std::clamp(outer.width, frameWidth, std::max(limit.width, frameWidth));
    outer.height = std::clamp(outer.height, frameHeight, std::max(limit.height, frameHeight));
    if (!onScreen) {
        outer.left = limit.left + (limit.width - outer.width) / 2;
        outer.top = limit.top + (limit.height - outer.height) / 2;
    }
    return {static_cast<int>(outer.left + frame.left), static_cast<int>(outer.top + frame.top),
            static_cast<int>(outer.width - frameWidth), static_cast<int>(outer.height - frameHeight)};
}

}  // namespace zelvar
