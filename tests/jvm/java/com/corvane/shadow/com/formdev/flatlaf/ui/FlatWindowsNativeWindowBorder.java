package com.corvane.shadow.com.formdev.flatlaf.ui;

import java.awt.Window;

public final class FlatWindowsNativeWindowBorder {
    private FlatWindowsNativeWindowBorder() {}

    static native int registryGetIntValue(String key, String valueName, int defaultValue);

    public static final class WndProc {
        private WndProc() {}

        static native long installImpl(Window window);
        static native void uninstallImpl(long procedure);
        static native void updateFrame(long window, int state);
        static native void setWindowBackground(long window, int red, int green, int blue);
        static native void showWindow(long window, int command);
    }
}
