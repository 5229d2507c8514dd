package com.corvane.runtime.installer.platform.win32;

import java.awt.Window;
import java.lang.reflect.Method;

public final class WinGuiHelper {
    private WinGuiHelper() {}

    static native Object getPeer0(Window window, Class<?> peerClass);
    static native long getHwnd0(Object peer, Method hwndMethod);
    static native void destroyHIcon0(long icon);
    static native long createHIcon0(byte[] image, int width, int height);
    static native void flashWindow0(long window, boolean flash);
}
