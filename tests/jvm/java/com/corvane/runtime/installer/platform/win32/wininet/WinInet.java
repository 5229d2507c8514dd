package com.corvane.runtime.installer.platform.win32.wininet;

public final class WinInet {
    private WinInet() {}

    static native boolean init0();
    static native String getErrorMessage0(int error);
    static native int getErrorCode0(long request);
    static native int getErrorLocation0(long request);
    static native void clearError0(long request);
    static native void destroy0(long request);
    static native long connect0(String host, int port, String user, String password, int accessType, String proxy,
                                int connectTimeout, int readTimeout);
    static native void openRequest0(long request, String verb, String object, int flags, int secure);
    static native byte[] getHeaders0(long request);
    static native int read0(long request, byte[] buffer, int offset, int length);
    static native int internetErrorDlg0(long request, int error, int flags, long owner);
    static native int sendRequest0(long request, String headers, byte[] body);
    static native void setOption0(long request, int option, byte[] value);
    static native void setDwordOption0(long request, int option, int value);
}
