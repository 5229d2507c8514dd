package com.corvane.runtime.installer.platform.win32;

public final class ObjectPicker {
    private ObjectPicker() {}

    public static final class Result {
        public String name;
        public String path;
    }

    static native Result[] show0(boolean users, boolean groups, boolean computers, boolean multiSelect,
                                 boolean localOnly);
}
