package com.lumbra.runtime;

import jvmtest.MainRecorder;

// The entry class of the other launcher kinds; it also takes the splash text settings.
public final class WinLauncher {
    private WinLauncher() {}

    // The values of initAwtSplashConfig joined by "|", null until it is called. It throws after
    // recording when the system property jvmtest.splashThrows is "true".
    public static String splashConfig;

    public static void main(String[] args) throws Exception {
        MainRecorder.mainCalled(WinLauncher.class.getName(), args);
    }

    static void initAwtSplashConfig(boolean first, boolean splashSwitch, String text1, int x1, int y1, String color1,
                                    int a1, int b1, String text2, int x2, int y2, String color2, int a2, int b2) {
        splashConfig = String.join("|", String.valueOf(first), String.valueOf(splashSwitch), text1,
                                   String.valueOf(x1), String.valueOf(y1), color1, String.valueOf(a1),
                                   String.valueOf(b1), text2, String.valueOf(x2), String.valueOf(y2), color2,
                                   String.valueOf(a2), String.valueOf(b2));
        if (Boolean.getBoolean("jvmtest.splashThrows")) throw new IllegalStateException("no splash screen");
    }
}
