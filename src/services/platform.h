// Small Windows services of the entry point: console, DLL search, system libraries, reboot.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace services {

// Attaches to the parent's console, or allocates one; whether a console is available.
bool attachConsole();

// Writes a status text to standard output: the console's handle when one was attached, else
// the C runtime's standard output; flushed either way.
void writeStandardOutput(std::string_view text);

// Restricts the DLL search to the system directory and added directories (not on Windows 6.0,
// whose loader lacks the call); true when restricted. Writes no log: the entry point calls it
// before anything else, since the first message box already pulls libraries in by name.
bool hardenDllSearch();
// The same, logging "restrict DLL directories" when done.
void restrictDllSearch();
// Adds a directory to the DLL search; the cookie for removeDllDirectory, 0 when unavailable.
void* addDllDirectory(std::string_view narrowPath);
void removeDllDirectory(void* cookie);

// Loads two system libraries whose later, implicit loads would otherwise search the
// application's folder; once per process.
void preloadSystemLibraries();
// Whether the preload has run in this process (the flag its callers share).
bool systemLibrariesPreloaded();

// Initialises the common controls from the system's comctl32.dll, once per process; waits for
// an initialisation that startCommonControls began. Dialogs call it first.
void initCommonControls();
// Begins that initialisation on a thread of its own. Under Wine loading comctl32 version 6
// brings up the display driver and the theming, some 50 ms (more on a busy machine) that a run
// without any dialog has no need to wait for: the work flow starts it beside the launch of the
// virtual machine, so that the controls are there when the Java side's natives want them.
void startCommonControls();
// Waits for an initialisation that has begun; begins none.
void awaitCommonControls();

// The steps of a reboot, replaceable so that tests can follow them without rebooting.
struct RebootActions {
    void (*sleep)(DWORD milliseconds);
    // Enables SeShutdownPrivilege; true when AdjustTokenPrivileges left the last error at 0.
    bool (*enableShutdownPrivilege)();
    bool (*exitWindows)();
};
const RebootActions& systemRebootActions();

// Enables the privilege and starts the reboot; true when the reboot was started.
bool rebootNow(const RebootActions& actions = systemRebootActions());
// The "__cvn_reboot" mode: waits five seconds, then reboots.
void runDelayedReboot(const RebootActions& actions = systemRebootActions());

// Loads a system library from the system directory only.
HMODULE loadSystemLibrary(const wchar_t* name);

}  // namespace services
