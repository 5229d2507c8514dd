package com.corvane.runtime.installer.platform.win32;

public final class Win32Firewall {
    private Win32Firewall() {}

    static native void initialize0();
    static native int addRule0(String name, String description, String application, int protocol, int direction,
                               String localPorts, String remotePorts, String localAddresses, String remoteAddresses,
                               String group, int profiles, boolean enabled);
    static native int deleteRules0(String name, String description, String application, int protocol, int direction,
                                   String localPorts, String remotePorts, String localAddresses,
                                   String remoteAddresses, String group);
    static native long getCurrentProfileTypes0();
}
