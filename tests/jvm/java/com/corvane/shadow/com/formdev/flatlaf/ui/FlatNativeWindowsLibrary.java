package com.corvane.shadow.com.formdev.flatlaf.ui;

import java.awt.Window;

public final class FlatNativeWindowsLibrary {
    private FlatNativeWindowsLibrary() {}

    static native long getOSBuildNumberImpl();
    static native long getHWND(Window window);
    static native boolean setWindowCornerPreference(long window, int preference);
    static native boolean dwmSetWindowAttributeBOOL(long window, int attribute, boolean value);
    static native boolean dwmSetWindowAttributeDWORD(long window, int attribute, int value);
}
