package com.corvane.runtime.installer.platform.win32;

import com.corvane.api.windows.WindowInfo;

public final class Misc {
    private Misc() {}

    static native void reboot0();
    static native String[] getRunningModules0(boolean allProcesses);
    static native String[] getEnvVarPairs0();
    static native void broadcastSettingChange0();
    static native long getPhysicalMemory0();
    static native long getFreeDiskSpace0(String path);
    static native boolean moveWithDelayUntilReboot0(String from, String to);
    static native void toFront0();
    static native int terminateProcesses0(int[] processIds, boolean force, int timeout);
    static native String getWindowTitle0(int processId);
    static native void setForegroundWindow0(long window);
    static native WindowInfo[] getTopLevelWindows0(Class<?> infoClass, int processId);
    static native int getPidFromHandle0(long process);
    static native boolean registerExtensionFunctions0(ClassLoader loader, String entryName, String packageName);
    static native int getMachine0();
    static native int getOsBuildNumber0();
}
