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

}  // namespace launcher
