package com.lumbra.runtime.util;

public final class WinDel {
    private WinDel() {}

    public static String externalExecutable;
}
