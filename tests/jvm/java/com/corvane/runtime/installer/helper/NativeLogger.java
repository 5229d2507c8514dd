package com.corvane.runtime.installer.helper;

public final class NativeLogger {
    private NativeLogger() {}

    public static native void cleanup0();
}
