package com.corvane.runtime.installer.platform.win32;

public final class FolderInfo {
    private FolderInfo() {}

    static native String getSpecialFolder0(int folderId, boolean create);
    static native String getPathFromRegistry0(String valueName);
    static native String getWindowsDirectory0();
    static native String getSystemDirectory0();
    static native int getDriveType0(String root);
    static native String getShortPathName0(String path);
    static native String getUniversalPathName0(String path);
}
