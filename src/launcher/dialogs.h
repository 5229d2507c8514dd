// The startup dialog (resource 103): text, progress bar and Cancel while the work flow runs on
// a thread of its own. Both launcher dialogs use the private window class "MyDialogClass" and
// follow the Windows 11 dark mode when the configuration allows it.
#pragma once

#include <windows.h>

namespace launcher {

// Detects dark mode, then registers "MyDialogClass". Called before any launcher dialog.
void registerDialogClass();
bool darkModeActive();

// Dark title bar and buttons when dark mode is active, then centred on the parent (or the
// desktop).
void prepareDialogWindow(HWND window);

// Shows the startup dialog modally; returns when it ends (Cancel, or the work flow's end).
INT_PTR runStartupDialog();
// The thread the startup dialog started, for the cancel wait of the entry point.
HANDLE startupWorkThread();

// The runtime selection (resource 104), owned by `parameter` (a window or null); fails with
// message 20021 unless "-manual" or config id 10014 allows it. Usable as a thread procedure.
DWORD WINAPI offerJreSelection(void* parameter);
// The file chooser for a java.exe; true when a runtime was loaded from the file chosen, which
// is then remembered among the located runtimes.
bool chooseJavaExecutable(HWND owner);

// Colours of a dark dialog for WM_CTLCOLORDLG and WM_CTLCOLORSTATIC; null when not dark.
// `brush` is the dialog's own, created on first use.
INT_PTR darkControlColors(HDC context, HBRUSH& brush);
// Deletes that brush when the dialog goes away.
void releaseDarkBrush(HBRUSH& brush);

}  // namespace launcher
