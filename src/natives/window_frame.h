// The geometry and the decisions of the custom window border, kept apart from the window
// procedure that applies them: the client area the frame leaves to the look and feel, the
// resize strip at the top, the size message the Java frame state asks for, and which items of
// the system menu a window offers. Portable: no Windows headers, plain numbers in and out.
#pragma once

namespace natives {

struct FrameRect {
    long left = 0;
    long top = 0;
    long right = 0;
    long bottom = 0;
    bool operator==(const FrameRect&) const = default;
};

// Edges of a monitor that carry a taskbar set to hide automatically.
enum AutoHideEdge : unsigned {
    kAutoHideTop = 1,
    kAutoHideBottom = 2,
    kAutoHideLeft = 4,
    kAutoHideRight = 8,
};

// Windows 11: the visible frame border is drawn inside the window and the client area starts
// below it.
inline constexpr unsigned long kFirstBuildWithVisibleTopBorder = 22000;

// What the non-client size calculation knows about one window.
struct FrameState {
    FrameRect proposed;           // the client rectangle the default handling proposed
    long originalTop = 0;         // the window's top edge before that handling
    bool maximized = false;
    bool fullScreen = false;      // the Java side's answer, asked only for maximised windows
    long resizeHandleHeight = 0;  // padded border + sizing frame, for the window's DPI
    unsigned autoHideEdges = 0;   // AutoHideEdge bits of the window's monitor, 0 unless auto-hide is on
    unsigned long buildNumber = 0;
    bool hasVisibleTopBorder = false;  // the DWM could tell the visible border's thickness
    long visibleTopBorder = 0;
};

// The client rectangle without the standard title bar: the top back at the window's edge; a
// maximised window (not full screen) keeps a resize strip at the top and leaves one pixel free
// on each edge where an auto-hiding taskbar must still be revealed; any other window starts
// below the visible top border on Windows 11.
FrameRect customClientArea(const FrameState& state);

// The top strip of the window on which the pointer resizes it, in window coordinates.
bool onResizeBorder(long y, long resizeHandleHeight, bool hasThickFrame);

// The first parameter WM_SIZE carries while the frame is recomputed for a Java frame state:
// minimised (1) for the iconified bit, maximised (2) when both maximised bits are set, else -1
// (no override).
int sizeOverrideForState(int frameState);

struct SystemMenuStates {
    bool restore = false;
    bool move = false;
    bool size = false;
    bool minimize = false;
    bool maximize = false;
    bool operator==(const SystemMenuStates&) const = default;
};
SystemMenuStates systemMenuStates(bool maximized, bool hasThickFrame, bool hasMinimizeBox, bool hasMaximizeBox);

}  // namespace natives
