package com.corvane.shadow.com.formdev.flatlaf.ui;

public final class FlatNativeLibrary {
    private FlatNativeLibrary() {}

    static native int getApiVersion();
}
