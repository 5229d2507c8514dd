package com.corvane.runtime.installer.platform.win32;

public final class VistaFileChooser {
    private VistaFileChooser() {}

    static native void initialize0();
    static native String[] displayDialog0(long owner, String title, String okLabel, String folder, String fileName,
                                          int mode, int options, boolean multiSelect, String defaultExtension,
                                          String[] filterNames, String[] filterPatterns, int filterIndex,
                                          String[] places, boolean[] placesOnTop);
}
