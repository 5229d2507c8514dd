package com.corvane.runtime.installer.platform.win32;

public final class VistaTaskDialog {
    private VistaTaskDialog() {}

    static native int show0(long owner, String title, String instruction, String content, int icon, int commonButtons,
                            int defaultButton, String verification, String[] buttons, int flags);
    static native void init0();
}
