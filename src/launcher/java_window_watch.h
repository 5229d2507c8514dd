// Watching for the Java side to take over: its first visible window (or the per-process run
// mark at 2) hides the startup dialog. Also the window operations the single-instance check
// uses to bring a running installer forward.
#pragma once

#include <windows.h>

namespace launcher {

// Where the watcher's progress starts: 100, 200 or 300 by how much runtime preparation came
// before.
void setWatchProgressStart(int position);

// Thread procedure; `parameter` is the progress window.
DWORD WINAPI watchForJavaWindow(void* parameter);

// Visible top-level windows of the process, without this process's console window.
int countProcessWindows(DWORD processId);
void bringProcessWindowsToFront(DWORD processId, bool restore);

}  // namespace launcher
