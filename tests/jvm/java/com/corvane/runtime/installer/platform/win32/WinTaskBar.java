package com.corvane.runtime.installer.platform.win32;

public final class WinTaskBar {
    private WinTaskBar() {}

    static native void initTaskBar0();
    static native void setOverlayIcon0(long window, long icon);
    static native void setProgress0(long window, long completed, long total);
    static native void setState0(long window, int state);
}
