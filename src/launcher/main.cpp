// Entry point of the launcher: decides the mode of this process, reads the payload's tables,
// applies the user's options and hands over to the installer's work.
#include <windows.h>

#include <string>
#include <vector>

#include "files/cleanup.h"
#include "files/deletion_child.h"
#include "files/executable_paths.h"
#include "files/extraction_directory.h"
#include "files/path_operations.h"
#include "files/temporary_directory.h"
#include "jre/jvm_loading.h"
#include "files/process_variables.h"
#include "launch/locale_selection.h"
#include "services/cancel.h"
#include "services/command_line.h"
#include "launcher/dialogs.h"
#include "services/error_path.h"
#include "services/launcher_log.h"
#include "services/log.h"
#include "services/modes.h"
#include "services/platform.h"
#include "launcher/product.h"
#include "launcher/single_instance.h"
#include "launcher/work_flow.h"
#include "media/media_file.h"
#include "services/tables.h"

namespace {

using namespace launcher;
using namespace services;

// "The following log file will be created" with an offer to show it in Explorer.
void offerLogFile() {
    const auto log = services::retainLogFile();
    const std::wstring text = base::formatWide(
        L"The following log file will be created:\n\n%s\n\nDo you want to open an Explorer window?",
        log ? *log : std::wstring());
    if (MessageBoxW(nullptr, text.c_str(), productNameWide().c_str(), MB_YESNO) != IDYES || !log) return;
    wchar_t shortPath[MAX_PATH] = {};
    if (GetShortPathNameW(log->c_str(), shortPath, MAX_PATH) == 0 || shortPath[0] == 0) {
        lstrcpynW(shortPath, log->c_str(), MAX_PATH);
    }
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    std::wstring command = base::formatWide(L"%s\\explorer.exe /select,%s", windows, shortPath);
    services::logMessage(L"calling %s", command);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                        &startup, &process)) {
        services::logMessage(L"could not open explorer window %d", GetLastError());
        return;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

void removeJavaOptionsVariables() {
    services::logMessage(L"ignoring java options environment variables");
    for (const wchar_t* name : {L"_JAVA_OPTIONS", L"JDK_JAVA_OPTIONS", L"JAVA_TOOL_OPTIONS"}) {
        SetEnvironmentVariableW(name, nullptr);
        // The C runtime keeps a copy of the environment of its own.
        _wputenv((std::wstring(name) + L"=").c_str());
    }
}

// The configured program arguments may name the temporary base as well; the command line's
// own "-temp" comes first.
void applyConfiguredTempOption() {
    if (files::hasManualTemporaryBase()) return;
    std::wstring configured = services::configWide(124);
    if (configured.find(L"-temp") == std::wstring::npos && configured.find(L"/temp") == std::wstring::npos) return;
    files::expandLauncherVariables(configured, files::ExpansionMode::Unicode);
    std::vector<std::wstring> configuredArguments;
    services::splitCommandLine(configured, configuredArguments, false);
    files::handleTempOption(configuredArguments);
}

// The launcher's own values behind the variables of configured paths and options.
void installExpansionProviders() {
    files::setExecutableNarrowPathProvider([] { return files::executableNarrowPath(); });
    files::setExtractionDirectoryProvider(files::extractionDirectory);
    files::setTemporaryBaseProviders(files::temporaryBaseNarrow, [] { return files::temporaryBaseWide(true); });
    files::setRuntimeHomeProvider([] { return jre::loadedRuntime().home; });
}

// Config id 146: the working directory of the run, with launcher variables.
void applyWorkingDirectory() {
    std::wstring directory = services::configWide(146);
    if (directory.empty()) {
        services::logMessage(L"working directory unchanged");
        return;
    }
    files::expandLauncherVariables(directory, files::ExpansionMode::Unicode);
    directory = files::canonicalPath(directory, true);
    SetCurrentDirectoryW(directory.c_str());
    services::logMessage(L"change working directory to %s", directory);
}

void prepare(std::vector<std::wstring>& arguments) {
    files::clearExtractionDirectory();
    if (services::takeLogOption(arguments)) {
        services::modes().logRequested = true;
        services::requestLogFile();
    }
    files::handleTempOption(arguments);
    const launch::SystemLanguages languages = launch::systemLanguages();
    media::readMessageTables(launch::selectLocale(&arguments, languages));
    applyConfiguredTempOption();
    setProductKind(services::configString(2001));
    jre::reducePath();
    if (services::configInteger(10012) != 0) removeJavaOptionsVariables();
    if (!services::modes().languageRestart) applyWorkingDirectory();
    if (services::modes().logRequested) offerLogFile();
}

void applyUserOptions(const std::vector<std::wstring>& arguments) {
    const services::UserOptions options = services::scanUserOptions(arguments);
    services::Modes& state = services::modes();
    if (options.console) state.consoleAttached = services::attachConsole();
    if (options.quiet) state.quiet = true;
    if (options.guiOff) services::setGuiMode(false);
    if (options.splash) state.startupDialogWanted = true;
    if (options.noCheck) state.integrityCheck = false;
    if (options.manual) state.manualJreSelection = true;
    if (options.consoleRequired && !state.consoleAttached && !services::attachConsole()) {
        MessageBoxA(nullptr, "Error: Could not allocate console.", "corvane", MB_OK);
        files::cleanUpAndExit(1);
    }
}

// Quiet runs work on the main thread without a window, no-dialog runs report to the MSI
// wrapper's window (if any), every other run behind the startup dialog.
void runWork() {
    const services::Modes& state = services::modes();
    if (state.quiet && !state.startupDialogWanted) {
        services::logMessage(L"Quiet installer.");
        runInstallerWork(nullptr);
    } else if (state.noDialog) {
        registerDialogClass();
        runInstallerWork(reinterpret_cast<HWND>(state.msiWindow));
    } else {
        registerDialogClass();
        runStartupDialog();
    }
}

// After Cancel the work thread gets up to five seconds to reach its next check.
[[noreturn]] void waitForCancelledWork() {
    const HANDLE thread = startupWorkThread();
    DWORD exitCode = 0;
    for (int round = 0; thread && round < 50; ++round) {
        if (!GetExitCodeThread(thread, &exitCode)) {
            services::logMessage(L"Could not get exit code %d.", GetLastError());
            break;
        }
        if (exitCode != STILL_ACTIVE) break;
        Sleep(100);
    }
    services::logMessage(L"Cleaning up cancel %p %d.", thread, exitCode);
    files::cleanUpAndExit(5);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR narrowCommandLine, int show) {
    const std::string_view commandLine = narrowCommandLine ? narrowCommandLine : "";
    // Before the payload is read: a damaged one ends in a message box, whose theming loads
    // libraries by name, and the installer's folder (often Downloads) must not supply them.
    services::hardenDllSearch();
    media::readConfigTable();
    services::Modes& state = services::modes();
    state.deletion = services::startsWithWord(commandLine, "__cvn_windel");
    services::setLogDeletionMode(state.deletion);
    services::restrictDllSearch();
    services::preloadSystemLibraries();
    if (services::isRebootCommandLine(commandLine)) {
        services::runDelayedReboot();
        return 0;
    }
    services::applyInternalModes(commandLine, state);
    if (state.msi) services::logMessage(L"msi wrapper %p", reinterpret_cast<void*>(state.msiWindow));
    if (state.languageRestart) services::logMessage(L"language restart");
    if (state.extractAndExit) services::logMessage(L"extract and exit mode");

    std::vector<std::wstring> arguments;
    services::splitCommandLine(GetCommandLineW(), arguments, true);
    if (state.deletion && arguments.size() >= 3) return files::runDeletionChild(arguments[2]);
    installExpansionProviders();

    prepare(arguments);
    state.integrityCheck = true;
    applyUserOptions(arguments);
    // A language restart runs inside an earlier run's extraction and takes no semaphore of its own.
    if (!state.languageRestart) checkSingleInstance();

    state.noDialog = state.noDialog || services::configInteger(155) != 0;
    services::logMessage(L"Init done");
    runWork();
    if (services::isCancelled()) waitForCancelledWork();
    return 0;
}
