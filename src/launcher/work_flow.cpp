#include "launcher/work_flow.h"

#include <commctrl.h>

#include <cstdio>

#include "base/text.h"
#include "files/cleanup.h"
#include "jre/jvm_loading.h"
#include "jre/packed_archives.h"
#include "launch/jvm_launch.h"
#include "services/command_line.h"
#include "launcher/dialogs.h"
#include "launcher/java_window_watch.h"
#include "services/platform.h"
#include "launcher/run_marks.h"
#include "launcher/runtime_choice.h"
#include "files/executable_paths.h"
#include "files/extraction_directory.h"
#include "files/path_operations.h"
#include "files/run_reservation.h"
#include "services/cancel.h"
#include "services/error_path.h"
#include "services/log.h"
#include "services/modes.h"
#include "media/included_files.h"
#include "media/payload_steps.h"
#include "services/tables.h"
#include "resources/resource_ids.h"

namespace launcher {

using services::Modes;
using services::failWithMessage;
using services::isCancelled;
using services::logError;
using services::logMessage;
using services::modes;
using services::splitCommandLine;
using services::writeStandardOutput;

namespace {

constexpr int kDialogTitleMessage = 20013;
constexpr int kCorruptedMessage = 20016;
constexpr int kDiskFullMessage = 20018;
constexpr int32_t kPackedRuntimeId = 153;
constexpr int32_t kIncludedFileCountId = 2002;
constexpr int32_t kIncludedFileNamesId = 2003;

bool fileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string fullPathOf(const char* name) {
    const std::string path = files::fullPathName(std::string(name));
    return path.empty() ? std::string(name) : path;
}

std::string currentDirectory() {
    std::string buffer(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
        if (length == 0) return std::string();
        if (length < buffer.size()) return buffer.substr(0, length);
        buffer.resize(length + 1);
    }
}

void enterExtractionDirectory() {
    const std::string directory = files::extractionDirectory();
    if (!SetCurrentDirectoryA(directory.c_str())) {
        services::logError(L"Could not change working dir to %S (%d)", directory, GetLastError());
    }
}

// Extract-and-exit: the included files go to "<launcher>.test" beside the executable.
void createTestDirectory() {
    const std::string directory = files::executableNarrowPath() + ".test";
    services::logMessage(L"Extracted dir: %S", directory);
    if (!CreateDirectoryA(directory.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        services::logMessage(L"Could not create dir %S (%d)", directory, GetLastError());
        services::failWithMessage(1009, std::wstring_view(L"70"));
    }
    files::setExtractionDirectory(directory);
}

[[noreturn]] void writeUnextractedPositionAndExit() {
    std::FILE* file = std::fopen("unextracted.txt", "w");
    if (!file) {
        services::logError(L"Could not write file with unextracted position");
        services::failWithMessage(1009, std::wstring_view(L"71"));
    }
    // A 64-bit offset: media files beyond 2 GB keep their position.
    std::fprintf(file, "%lld", static_cast<long long>(media::unextractedPosition()));
    std::fclose(file);
    ExitProcess(0);
}

// No runtime on the machine: a quiet run ends with 83, otherwise the user may locate one.
void askForRuntime(HWND window) {
    if (services::modes().quiet) {
        services::logError(L"No JRE found");
        services::writeStandardOutput("No JRE found. Aborting.\n");
        withdrawInstallStarted();
        // A failed run like any other: the extraction directory is not left behind.
        files::cleanUpAndExit(83);
    }
    if (window) {
        offerJreSelection(window);
    } else {
        runStartupDialog();
    }
}

// Included files shipped packed are expanded with the loaded runtime's unpacker.
bool unpackIncludedFiles() {
    const std::string directory = files::extractionDirectory();
    const std::vector<std::string> names =
        media::includedFileNames(services::configString(kIncludedFileNamesId), services::configInteger(kIncludedFileCountId));
    for (const std::string& name : names) {
        if (name.size() >= 5 && name.compare(name.size() - 5, 5, ".pack") == 0) {
            services::logMessage(L"unpacking %S", name);
            jre::unpackFile(jre::loadedRuntime().home, directory + "\\" + name);
        }
        if (services::isCancelled()) return false;
    }
    return true;
}

}  // namespace

int runInstallerWork(HWND window) {
    services::Modes& state = services::modes();
    services::logMessage(L"Starting work");
    if (window) {
        SendDlgItemMessageW(window, IDC_PROGRESS, PBM_SETPOS, 1, 0);
        SendDlgItemMessageW(window, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, 400));
    }
    if (!state.languageRestart) media::verifyIntegrity(window);
    // The common controls are the startup dialog's; a run without it needs them for the
    // natives' task dialog, which takes only a comctl32 the process has loaded. Under Wine
    // loading it brings up the display driver and the theming, some 50 ms, and holds the
    // loader's lock meanwhile, which every new thread and every library load waits for: begun
    // here on a thread of its own, it is done while this one writes files, and the virtual
    // machine's thread and libraries find the lock free. An extract-and-exit run launches nothing.
    if (!state.extractAndExit) services::startCommonControls();

    bool extractedFilesMissing = false;
    if (state.languageRestart) {
        const std::string directory = currentDirectory();
        files::setExtractionDirectory(directory);
        if (!fileExists(directory + "\\cvnruntime.jar")) {
            services::logMessage(L"could not find cvnruntime.jar");
            extractedFilesMissing = true;
        } else if (!fileExists(directory + "\\cvnparams.conf")) {
            services::logMessage(L"could not find cvnparams.conf");
            extractedFilesMissing = true;
        }
        // The clean-up must never touch the folder the Java side restarted us in.
        if (extractedFilesMissing) files::clearExtractionDirectory();
        // Nor may another run's sweep, once the run that restarted us has ended.
        else files::joinReservationOf(base::narrowToWide(directory));
    }
    if (!state.languageRestart || extractedFilesMissing) {
        if (state.extractAndExit) createTestDirectory();
        else files::createExtractionDirectory();
        jre::setNativeLibPath();
        enterExtractionDirectory();
        const int result = media::extractIncludedFilesInto(files::extractionDirectory());
        if (result != 0) {
            const std::wstring text = services::messageText(result == 2 ? kDiskFullMessage : kCorruptedMessage);
            // A quiet run says why on the console or standard error instead: an administrator's
            // script would otherwise see exit code 1 and nothing else.
            if (!state.quiet) {
                MessageBoxW(window, text.c_str(), services::messageText(kDialogTitleMessage).c_str(), MB_ICONERROR);
            } else {
                services::showError(text);
            }
            files::cleanUpAndExit(1);
        }
    }
    if (services::isCancelled()) return 1;

    services::logMessage(L"Current working dir: %S", currentDirectory());
    const std::string archive = fullPathOf("jre.tar.gz");
    services::logMessage(L"Full JRE path: %S", archive);
    bool jreIncluded = fileExists(archive);
    if (!jreIncluded && state.languageRestart && !extractedFilesMissing) {
        services::logMessage(L"Checking restart JRE: %S", archive);
        const std::string extracted = fullPathOf("jre");
        services::logMessage(L"Checking extracted JRE: %S", extracted);
        jreIncluded = fileExists(extracted);
    }
    services::logMessage(jreIncluded ? L"JRE included" : L"No JRE included");
    if (state.manualJreSelection && jreIncluded) {
        services::logMessage(L"Included JRE not used because of manual switch");
        jreIncluded = false;
    }

    const bool restartWithFiles = state.languageRestart && !extractedFilesMissing;
    launch::setExtractionReused(restartWithFiles);
    if (!jreIncluded) {
        setInstallStarted(true, window != nullptr, true);
        if (state.manualJreSelection || !jre::LoadDLL(false, std::nullopt, false)) askForRuntime(window);
    }
    if (services::isCancelled()) return 1;
    enterExtractionDirectory();

    if (restartWithFiles) {
        if (jreIncluded) useIncludedJre();
    } else {
        setWatchProgressStart(!jreIncluded ? 100 : services::configInteger(kPackedRuntimeId) != 0 ? 300 : 200);
        if (jreIncluded) prepareIncludedJre(window);
    }
    if (services::isCancelled()) return 1;
    if (!restartWithFiles && !unpackIncludedFiles()) return 1;

    if (state.extractAndExit) writeUnextractedPositionAndExit();
    if (services::isCancelled()) return 1;
    if (window) {
        EnableWindow(GetDlgItem(window, IDCANCEL), FALSE);
        if (const HANDLE watcher = CreateThread(nullptr, 0, watchForJavaWindow, window, 0, nullptr)) {
            SetThreadPriority(watcher, THREAD_PRIORITY_ABOVE_NORMAL);
            CloseHandle(watcher);
        }
    }
    if (services::isCancelled()) return 1;
    setInstallStarted(true, window != nullptr, true);

    std::vector<std::wstring> arguments;
    services::splitCommandLine(GetCommandLineW(), arguments, true);
    if (!launch::launchJvm(arguments)) {
        services::logError(L"Could not start JVM");
        services::failWithMessage(1005);
    }
    return 0;
}

}  // namespace launcher
