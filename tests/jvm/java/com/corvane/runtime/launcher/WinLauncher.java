package com.corvane.runtime.launcher;

import jvmtest.MainRecorder;

// The entry class of the installer kind.
public final class WinLauncher {
    private WinLauncher() {}

    public static void main(String[] args) throws Exception {
        MainRecorder.mainCalled(WinLauncher.class.getName(), args);
    }
}
