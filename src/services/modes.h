// The process-wide modes and user options, decided once at start-up before any dialog or
// second thread exists. Quiet mode only turns on and GUI mode (error_path.h) only off later.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace services {

struct Modes {
    bool deletion = false;          // "__cvn_windel": the clean-up child
    bool msi = false;               // "__cvn_msi": progress goes to the MSI wrapper's window
    bool noDialog = false;          // MSI mode or config id 155: no startup dialog
    bool languageRestart = false;   // "__cvn_lang_restart": restarted inside the extraction folder
    bool extractAndExit = false;    // "__cvn_extract_and_exit"
    bool quiet = false;             // "-q", "-c", language restart
    bool consoleAttached = false;   // "-console", "-c"
    bool startupDialogWanted = false;  // "-splash"
    bool integrityCheck = true;     // "-nocheck" turns it off
    bool manualJreSelection = false;   // "-manual", "/manual"
    bool logRequested = false;      // "-create-cvn-log" and its other forms as first argument
    uintptr_t msiWindow = 0;        // the window handle after "__cvn_msi"
};

Modes& modes();

// The internal mode words, tested against the narrow command line without the program name.
bool startsWithWord(std::string_view commandLine, std::string_view word);
// "__cvn_reboot" counts only as the whole command line.
bool isRebootCommandLine(std::string_view commandLine);
// The decimal window handle after "__cvn_msi" (unsigned, base 10; 0 when there is none).
uintptr_t parseMsiWindow(std::string_view commandLine);

// Applies the internal modes of the command line (steps that need no system call).
void applyInternalModes(std::string_view commandLine, Modes& modes);

// Removes "-create-cvn-log" (or one of its other forms) when it is element 1 of the list and
// reports whether it was there.
bool takeLogOption(std::vector<std::wstring>& arguments);

// What the user-option scan found; "-console" and "-c" need a console, which the caller
// attaches.
struct UserOptions {
    bool quiet = false;
    bool guiOff = false;
    bool console = false;            // "-console"
    bool consoleRequired = false;    // "-c": a console must be attached or the run fails
    bool splash = false;
    bool noCheck = false;
    bool manual = false;
};
// Exact, case-sensitive comparison of every argument, element 0 included.
UserOptions scanUserOptions(const std::vector<std::wstring>& arguments);

}  // namespace services
