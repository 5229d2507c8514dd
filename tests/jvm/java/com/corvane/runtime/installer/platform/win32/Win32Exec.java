package com.corvane.runtime.installer.platform.win32;

public final class Win32Exec {
    private Win32Exec() {}

    static native int launch0(String executable, String arguments);
}
