package com.corvane.runtime.installer.platform.win32;

public final class Win32UserInfo {
    private Win32UserInfo() {}

    static native boolean isMemberOfGroup0(int groupRid);
    static native boolean executeElevated0(String executable, String arguments, String workingDirectory, int show);
    static native int getElevationType0();
    static native String addUser0(String name, String password, String fullName, String comment, String group,
                                  boolean passwordNeverExpires, boolean cannotChangePassword);
    static native int deleteUser0(String server, String name);
    static native int deleteLocalGroup0(String server, String name);
    static native String getAccountName0(String sid, boolean qualified);
    static native String getUserProfileDirectory0(String domain, String name);
    static native String getUserSid0();
    static native boolean setLsaAccountRight0(String account, String right, boolean grant);
}
