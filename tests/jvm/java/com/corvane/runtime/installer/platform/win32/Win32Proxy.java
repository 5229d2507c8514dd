package com.corvane.runtime.installer.platform.win32;

public final class Win32Proxy {
    private Win32Proxy() {}

    static native int getIEConfig0(String[] result);
    static native int getDefaultConfig0(String[] result);
    static native long getAutoProxyConfig0(String[] result, String url, String configUrl, int flags,
                                           int autoDetectFlags, boolean autoLogon);
    static native boolean loadFunctions0();
}
