package com.corvane.runtime.installer.platform.win32;

public final class ShellLink {
    private ShellLink() {}

    static native boolean createWide0(String linkFile, String target, String arguments, String workingDirectory,
                                      String description, boolean runAsAdministrator, String iconFile, int iconIndex);
    static native boolean changeNotifyString0(String event, String path);
    static native boolean initialize0();
    static native boolean uninitialize();
}
