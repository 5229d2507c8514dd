package com.corvane.runtime.installer.platform.win32;

public final class Win32Handle {
    private Win32Handle() {}

    static native Object[] list0();
    static native boolean close0(int handle);
    static native String getDeviceName0(String drive);
}
