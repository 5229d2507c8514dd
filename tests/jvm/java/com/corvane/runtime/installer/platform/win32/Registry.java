package com.corvane.runtime.installer.platform.win32;

public final class Registry {
    private Registry() {}

    static native boolean keyExists0(int root, String key, int view);
    static native boolean createKey0(int root, String key, int view);
    static native Object getValue0(int root, String key, String valueName, int view);
    static native boolean setValue0(int root, String key, String valueName, Object value, int type, int view);
    static native void deleteValue0(int root, String key, String valueName, int view);
    static native void deleteKey0(int root, String key, boolean recursive, int view);
    static native boolean saveKey0(int root, String key, String file, int view);
    static native boolean restoreKey0(int root, String key, String file, int view);
    static native String[] enumSubKeys0(int root, String key, int view);
    static native String[] enumValues0(int root, String key, int view);
    static native void changeNotifyAssociations0();
}
