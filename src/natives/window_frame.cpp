#include "natives/window_frame.h"

namespace natives {

FrameRect customClientArea(const FrameState& state) {
    FrameRect area = state.proposed;
    area.top = state.originalTop;
    if (state.maximized && !state.fullScreen) {
        area.top += state.resizeHandleHeight;
        // A maximised window covers an auto-hidden taskbar entirely; the pixel left free is
        // where the pointer reveals it.
        if (state.autoHideEdges & kAutoHideTop) area.top += 1;
        if (state.autoHideEdges & kAutoHideBottom) area.bottom -= 1;
        if (state.autoHideEdges & kAutoHideLeft) area.left += 1;
        if (state.autoHideEdges & kAutoHideRight) area.right -= 1;
    } else if (state.buildNumber >= kFirstBuildWithVisibleTopBorder && state.hasVisibleTopBorder) {
        area.top += state.visibleTopBorder;
    }
    return area;
}

bool onResizeBorder(long y, long resizeHandleHeight, bool hasThickFrame) {
    return hasThickFrame && y < resizeHandleHeight;
}

int sizeOverrideForState(int frameState) {
    constexpr int kIconified = 1;
    constexpr int kMaximizedBoth = 2 | 4;
    if (frameState & kIconified) return 1;
    if ((frameState & kMaximizedBoth) == kMaximizedBoth) return 2;
    return -1;
}

SystemMenuStates systemMenuStates(bool maximized, bool hasThickFrame, bool hasMinimizeBox, bool hasMaximizeBox) {
    SystemMenuStates states;
    states.restore = maximized;
    states.move = !maximized;
    states.size = hasThickFrame && !maximized;
    states.minimize = hasMinimizeBox;
    states.maximize = hasMaximizeBox && !maximized;
    return states;
}

}  // namespace natives
