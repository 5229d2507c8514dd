package com.corvane.runtime.installer.platform.win32;

// Keeps every initFromLauncher call, in order, as "true" or "false" joined by ","; throws after
// recording when the system property jvmtest.initThrows is "true".
public final class Common {
    private Common() {}

    public static String initCalls = "";

    public static void initFromLauncher(boolean nativesRegistered) {
        initCalls = initCalls.isEmpty() ? String.valueOf(nativesRegistered) : initCalls + "," + nativesRegistered;
        if (Boolean.getBoolean("jvmtest.initThrows")) throw new IllegalStateException("initFromLauncher failed");
    }
}
