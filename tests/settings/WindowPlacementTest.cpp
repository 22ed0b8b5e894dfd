#include "WindowPlacement.h"

#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <vector>

namespace zelvar {

void PrintTo(const WindowRect& r, std::ostream* out) {
    *out << r.left << "," << r.top << " " << r.width << "x" << r.height;
}

namespace {

// An openbox frame: a 20-pixel title bar, 1-pixel sides, a 5-pixel bottom.
constexpr FrameMargins kFrame{1, 20, 1, 5};
constexpr WindowRect kPrimary{0, 0, 1280, 900};
const std::vector<WindowRect> kOneScreen{kPrimary};

// The frame's bounds of a client area placed with kFrame.
WindowRect frameOf(const WindowRect& client) {
    return {client.left - kFrame.left, client.top - kFrame.top,
            client.width + kFrame.left + kFrame.right, client.height + kFrame.top + kFrame.bottom};
}

bool within(const WindowRect& inner, const WindowRect& outer) {
    return inner.left >= outer.left && inner.top >= outer.top &&
           inner.left + inner.width <= outer.left + outer.width &&
           inner.top + inner.height <= outer.top + outer.height;
}

TEST(WindowPlacement, FrameComesBackWhereItWasStored) {
    // Stored again as the frame's corner and the client's size, the bounds
    // never creep by the frame from one run to the next.
    WindowRect stored{100, 100, 875, 300};
    for (int run = 0; run < 4; ++run) {
        const WindowRect client = PlaceStoredWindow(stored, kFrame, kOneScreen, kPrimary);
        EXPECT_EQ(client, (WindowRect{101, 120, 875, 300}));
        stored = {client.left - kFrame.left, client.top - kFrame.top, client.width, client.height};
    }
    // On a second screen a window stays there; partly off its screen, it is
    // moved in just far enough, keeping its size.
    const std::vector<WindowRect> two{kPrimary, {1280, -200, 1920, 1080}};
    EXPECT_EQ(PlaceStoredWindow({2000, -150, 1000, 800}, kFrame, two, kPrimary),
              (WindowRect{2001, -130, 1000, 800}));
    EXPECT_EQ(PlaceStoredWindow({-400, 700, 875, 300}, kFrame, kOneScreen, kPrimary),
              (WindowRect{1, 595, 875, 300}));
    EXPECT_EQ(PlaceStoredWindow({2000, -150, 1500, 800}, kFrame, two, kPrimary),
              (WindowRect{1699, -130, 1500, 800}));
}

TEST(WindowPlacement, AnyBoundsGiveAFrameInsideOneScreen) {
    // Side by side, the right one lower and smaller; then one above the other.
    const std::vector<std::vector<WindowRect>> layouts{
        kOneScreen,
        {kPrimary, {1280, 200, 1024, 600}},
        {{0, -1080, 1920, 1080}, kPrimary},
    };
    const std::vector<WindowRect> stored{
        {-1800, 100, 3000, 500},  // spanned a screen since removed
        {0, 0, 2400, 800},        // spanned two screens
        {1200, 850, 875, 300},    // across a corner
        {1000, 700, 875, 300},    // partly where no screen is
        {-400, -700, 875, 300},
        {INT_MIN, 100, -5, -5},   // fLeft=-2147483648 fWidth=-5 fHeight=-5
        {INT_MAX, INT_MAX, INT_MAX, INT_MAX},
        {100, 100, 99999999, 99999999},
    };
    for (const auto& screens : layouts) {
        for (const WindowRect& bounds : stored) {
            const WindowRect frame = frameOf(PlaceStoredWindow(bounds, kFrame, screens, kPrimary));
            bool inside = false;
            for (const WindowRect& screen : screens) inside = inside || within(frame, screen);
            EXPECT_TRUE(inside) << ::testing::PrintToString(bounds) << " -> "
                                << ::testing::PrintToString(frame);
        }
    }
    // Cut to the screen's width and moved onto it.
    EXPECT_EQ(PlaceStoredWindow({-1800, 100, 3000, 500}, kFrame, kOneScreen, kPrimary),
              (WindowRect{1, 120, 1278, 500}));
}

TEST(WindowPlacement, BoundsOffEveryScreenComeBackOntoThePrimaryNoLargerThanIt) {
    const std::vector<WindowRect> two{{-1920, 0, 1920, 1080}, {0, 0, 1280, 900}};
    const WindowRect primary{0, 0, 1280, 900};
    for (const WindowRect& stored : {WindowRect{100, INT_MIN, 875, 300},  // fTop=-2147483648
                                     WindowRect{3500, 100, 875, 300},     // a screen now gone
                                     WindowRect{5000, 5000, 4000, 3000},  // and too large
                                     WindowRect{INT_MAX, INT_MAX, INT_MAX, INT_MAX},
                                     WindowRect{INT_MIN, INT_MIN, -5, -5}}) {
        const WindowRect client = PlaceStoredWindow(stored, kFrame, two, primary);
        EXPECT_TRUE(within(frameOf(client), primary)) << ::testing::PrintToString(client);
    }
    // Centred, keeping its size where it fits.
    EXPECT_EQ(PlaceStoredWindow({100, INT_MIN, 875, 300}, kFrame, two, primary),
              (WindowRect{201 + 1, 287 + 20, 875, 300}));
}

TEST(WindowPlacement, AbsurdSizeOnScreenIsBoundedByTheScreens) {
    // fWidth=99999999 at the default corner.
    const WindowRect client = PlaceStoredWindow({100, 100, 99999999, 300}, kFrame, kOneScreen,
                                                kPrimary);
    EXPECT_EQ(client, (WindowRect{1, 120, 1278, 300}));
    // Spanning two screens, it is cut to the one that holds most of it.
    const std::vector<WindowRect> two{kPrimary, {1280, 0, 1280, 900}};
    EXPECT_EQ(PlaceStoredWindow({0, 0, 2400, 800}, kFrame, two, kPrimary),
              (WindowRect{1, 20, 1278, 800}));
    EXPECT_EQ(PlaceStoredWindow({1000, 0, 2400, 800}, kFrame, two, kPrimary),
              (WindowRect{1281, 20, 1278, 800}));
}

}  // namespace
}  // namespace zelvar
