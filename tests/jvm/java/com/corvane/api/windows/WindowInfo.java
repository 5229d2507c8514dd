package com.corvane.api.windows;

// What getTopLevelWindows0 fills for each window.
public final class WindowInfo {
    public long handle;
    public String title;
    public int processId;
}
