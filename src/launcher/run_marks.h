// The run marks under HKEY_CURRENT_USER "SOFTWARE\halvern\lumbra\": "InstallStarted" tells
// that the launcher started the Java side; "InstallStarted_<pid>" is this process's own mark,
// which the Java side sets to 2 when it has taken over.
#pragma once

#include <windows.h>

namespace launcher {

// Sets (to 1) or clears the marks: the per-process one when `perProcess`, the plain one when
// `plain`.
void setInstallStarted(bool set, bool perProcess, bool plain);
// The per-process or plain mark's value; 0 when the key or the value is absent.
DWORD readInstallStarted(bool perProcess);

// A run that ends before the Java side took over (cancelled, no runtime, a fatal error) takes
// back the marks it set: its own per-process mark, and the plain one except in a language
// restart, where it belongs to the run that restarted this one. Nothing when this process set
// no mark, so a run failing early never touches another run's plain mark.
void withdrawInstallStarted();
// The Java side shows its window: the per-process mark has served, and the plain one is the
// Java side's from now on, whatever ends the process.
void javaSideTookOver();

}  // namespace launcher
