package com.corvane.runtime.installer.platform.win32;

public final class FileVersion {
    private FileVersion() {}

    static native int compare0(String firstFile, String secondFile);
}
