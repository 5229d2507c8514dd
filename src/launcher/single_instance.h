// One running instance per launcher path: a named semaphore derived from the executable's path
// marks a running instance for as long as the process lives. In single-instance mode a second
// start finds it, brings the first instance's windows forward and ends; otherwise every
// instance holds a numbered semaphore of its own. Either way its name goes to the Java side and
// to the deletion child, which waits until it is gone.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace launcher {

// Run once during start-up, after the user options are scanned (not in a language restart).
// Returns with the semaphore held and its name handed on, or ends the process with exit code 0
// when another instance of this launcher runs in single-instance mode.
void checkSingleInstance();

// The name the check chose; none before it ran.
const std::optional<std::string>& singleInstanceSemaphoreName();

// The process id recorded by the first instance under its path's value name in
// HKCU\SOFTWARE\halvern\lumbra\pids; 0 when missing or not four bytes long.
DWORD readOtherProcessId(const std::string& valueName);

}  // namespace launcher
