package com.corvane.runtime.installer.platform.win32;

public final class ACLHandling {
    private ACLHandling() {}

    static native boolean addACE(String path, boolean read, boolean write, boolean execute, boolean delete,
                                 boolean inherit, int accessMask, String account, int aceType);
}
