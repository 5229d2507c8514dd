package com.corvane.runtime.installer.platform.win32;

public final class LauncherState {
    private LauncherState() {}

    public static String pidValueName;
}
