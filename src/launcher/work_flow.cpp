#include "launcher/work_flow.h"

#include <commctrl.h>

#include <cstdio>

#include "files/cleanup.h"
#include "files/executable_paths.h"
#include "files/extraction_directory.h"
#include "files/path_operations.h"
#include "launcher/cancel.h"
#include "launcher/error_path.h"
#include "launcher/log.h"
#include "launcher/modes.h"
#include "media/payload_steps.h"
#include "media/tables.h"

namespace launcher {

namespace {

constexpr int kProgressControl = 1001;
constexpr int kDialogTitleMessage = 20013;
constexpr int kCorruptedMessage = 20016;
constexpr int kDiskFullMessage = 20018;

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
        logError(L"Could not change working dir to %S (%d)", directory, GetLastError());
    }
}

// Extract-and-exit: the included files go to "<launcher>.test" beside the executable.
void createTestDirectory() {
    const std::string directory = files::executableNarrowPath() + ".test";
    logMessage(L"Extracted dir: %S", directory);
    if (!CreateDirectoryA(directory.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        logMessage(L"Could not create dir %S (%d)", directory, GetLastError());
        failWithMessage(1009, std::wstring_view(L"70"));
    }
    files::setExtractionDirectory(directory);
}

[[noreturn]] void writeUnextractedPositionAndExit() {
    std::FILE* file = std::fopen("unextracted.txt", "w");
    if (!file) {
        logError(L"Could not write file with unextracted position");
        failWithMessage(1009, std::wstring_view(L"71"));
    }
    // A 64-bit offset: media files beyond 2 GB keep their position.
    std::fprintf(file, "%lld", static_cast<long long>(media::unextractedPosition()));
    std::fclose(file);
    ExitProcess(0);
}

}  // namespace

int runInstallerWork(HWND window) {
    Modes& state = modes();
    logMessage(L"Starting work");
    if (window) {
        SendDlgItemMessageW(window, kProgressControl, PBM_SETPOS, 1, 0);
        SendDlgItemMessageW(window, kProgressControl, PBM_SETRANGE, 0, MAKELPARAM(0, 400));
    }
    if (!state.languageRestart) media::verifyIntegrity(window);

    bool extractedFilesMissing = false;
    if (state.languageRestart) {
        const std::string directory = currentDirectory();
        files::setExtractionDirectory(directory);
        if (!fileExists(directory + "\\cvnruntime.jar")) {
            logMessage(L"could not find cvnruntime.jar");
            extractedFilesMissing = true;
        } else if (!fileExists(directory + "\\cvnparams.conf")) {
            logMessage(L"could not find cvnparams.conf");
            extractedFilesMissing = true;
        }
        // The clean-up must never touch the folder the Java side restarted us in.
        if (extractedFilesMissing) files::clearExtractionDirectory();
    }
    if (!state.languageRestart || extractedFilesMissing) {
        if (state.extractAndExit) createTestDirectory();
        else files::createExtractionDirectory();
        enterExtractionDirectory();
        const int result = media::extractIncludedFilesInto(files::extractionDirectory());
        if (result != 0) {
            if (!state.quiet) {
                MessageBoxW(window, media::messageText(result == 2 ? kDiskFullMessage : kCorruptedMessage).c_str(),
                            media::messageText(kDialogTitleMessage).c_str(), MB_ICONERROR);
            }
            files::cleanUpAndExit(1);
        }
    }
    if (isCancelled()) return 1;

    logMessage(L"Current working dir: %S", currentDirectory());
    const std::string archive = fullPathOf("jre.tar.gz");
    logMessage(L"Full JRE path: %S", archive);
    bool jreIncluded = fileExists(archive);
    if (!jreIncluded && state.languageRestart && !extractedFilesMissing) {
        logMessage(L"Checking restart JRE: %S", archive);
        const std::string extracted = fullPathOf("jre");
        logMessage(L"Checking extracted JRE: %S", extracted);
        jreIncluded = fileExists(extracted);
    }
    logMessage(jreIncluded ? L"JRE included" : L"No JRE included");
    if (state.manualJreSelection && jreIncluded) {
        logMessage(L"Included JRE not used because of manual switch");
        jreIncluded = false;
    }

    // The choice of the runtime and the launch follow here once they exist; the
    // extract-and-exit mode needs neither.
    if (state.extractAndExit) writeUnextractedPositionAndExit();
    return isCancelled() ? 1 : 0;
}

}  // namespace launcher
