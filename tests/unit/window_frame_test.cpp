// The custom border's geometry: where the client area starts for normal, maximised and
// full-screen windows, the auto-hide taskbar strip, the Windows 11 top border, and the
// decisions of hit testing, frame updates and the system menu.
#include <gtest/gtest.h>

#include "natives/window_frame.h"

namespace {

using natives::FrameRect;
using natives::FrameState;

// A 1000 x 700 window at (100, 50) whose default handling took 31 pixels of title bar and
// 8 pixels of border on the other edges.
FrameState windowAt(bool maximized) {
    FrameState state;
    state.originalTop = maximized ? -8 : 50;
    state.proposed = maximized ? FrameRect{0, 23, 1920, 1032} : FrameRect{108, 81, 1092, 742};
    state.maximized = maximized;
    state.resizeHandleHeight = 8;
    state.buildNumber = 19045;
    return state;
}

TEST(WindowFrame, NormalWindowLosesOnlyItsTitleBar) {
    FrameState state = windowAt(false);
    EXPECT_EQ(customClientArea(state), (FrameRect{108, 50, 1092, 742}));
    // Auto-hide edges and the resize strip belong to maximised windows only.
    state.autoHideEdges = natives::kAutoHideBottom;
    EXPECT_EQ(customClientArea(state), (FrameRect{108, 50, 1092, 742}));
}

TEST(WindowFrame, MaximisedWindowKeepsResizeStripAndAutoHideTaskbarPixels) {
    FrameState state = windowAt(true);
    EXPECT_EQ(customClientArea(state), (FrameRect{0, 0, 1920, 1032}));
    state.autoHideEdges = natives::kAutoHideBottom;
    EXPECT_EQ(customClientArea(state), (FrameRect{0, 0, 1920, 1031}));
    state.autoHideEdges = natives::kAutoHideTop | natives::kAutoHideLeft | natives::kAutoHideRight;
    EXPECT_EQ(customClientArea(state), (FrameRect{1, 1, 1919, 1032}));
    // Windows 11's top border is not added for a maximised window.
    state.autoHideEdges = 0;
    state.buildNumber = 22000;
    state.hasVisibleTopBorder = true;
    state.visibleTopBorder = 1;
    EXPECT_EQ(customClientArea(state), (FrameRect{0, 0, 1920, 1032}));
}

TEST(WindowFrame, FullScreenWindowUsesTheWholeWindow) {
    FrameState state = windowAt(true);
    state.fullScreen = true;
    state.autoHideEdges = natives::kAutoHideBottom;
    EXPECT_EQ(customClientArea(state), (FrameRect{0, -8, 1920, 1032}));
}

TEST(WindowFrame, VisibleTopBorderFromBuild22000) {
    FrameState state = windowAt(false);
    state.hasVisibleTopBorder = true;
    state.visibleTopBorder = 2;
    EXPECT_EQ(customClientArea(state).top, 50);
    state.buildNumber = 22000;
    EXPECT_EQ(customClientArea(state).top, 52);
    state.hasVisibleTopBorder = false;  // the DWM could not tell
    EXPECT_EQ(customClientArea(state).top, 50);
}

TEST(WindowFrame, ResizeBorderNeedsAThickFrame) {
    EXPECT_TRUE(natives::onResizeBorder(7, 8, true));
    EXPECT_FALSE(natives::onResizeBorder(8, 8, true));
    EXPECT_FALSE(natives::onResizeBorder(0, 8, false));
}

TEST(WindowFrame, SizeOverrideFollowsTheJavaFrameState) {
    EXPECT_EQ(natives::sizeOverrideForState(0), -1);
    EXPECT_EQ(natives::sizeOverrideForState(1), 1);
    EXPECT_EQ(natives::sizeOverrideForState(1 | 6), 1);
    EXPECT_EQ(natives::sizeOverrideForState(6), 2);
    EXPECT_EQ(natives::sizeOverrideForState(2), -1);  // maximised in one direction only
    EXPECT_EQ(natives::sizeOverrideForState(4), -1);
}

TEST(WindowFrame, SystemMenuItems) {
    using States = natives::SystemMenuStates;
    EXPECT_EQ(natives::systemMenuStates(false, true, true, true), (States{false, true, true, true, true}));
    EXPECT_EQ(natives::systemMenuStates(true, true, true, true), (States{true, false, false, true, false}));
    EXPECT_EQ(natives::systemMenuStates(false, false, false, false), (States{false, true, false, false, false}));
}

}  // namespace
