package com.corvane.runtime.installer.platform.win32;

public final class Win32CommunicationBackend {
    private Win32CommunicationBackend() {}

    static native long getInvalidHandle0();
    static native long createListener0(String pipeName, long securityAttributes);
    static native byte[] readDataBlock0(long pipe);
    static native boolean writeDataBlock0(long pipe, byte[] block);
    static native long connectClient0(String pipeName);
    static native boolean connectNamedPipe0(long pipe);
    static native void disconnectNamedPipe0(long pipe);
    static native void closeHandle0(long handle);
    static native long createCurrentUserSecurityAttributes0();
    static native boolean isProcessAlive0(int processId);
    static native int getCurrentProcessId0();
}
