#include "files/cleanup.h"

#include <windows.h>

#include <cstdio>
#include <mutex>
#include <vector>

#include "base/text.h"
#include "base/win/growing_buffer.h"
#include "base/win/handles.h"
#include "files/deletion_file.h"
#include "files/directory_tree.h"
#include "files/executable_paths.h"
#include "files/extraction_directory.h"
#include "files/path_operations.h"
#include "files/run_reservation.h"
#include "files/temporary_directory.h"
#include "services/launcher_log.h"
#include "services/log.h"
#include "services/modes.h"

namespace files {

namespace {

struct SemaphoreState {
    std::mutex lock;
    std::wstring name;
};

SemaphoreState& semaphoreState() {
    static SemaphoreState* instance = new SemaphoreState;
    return *instance;
}

std::wstring moduleFileName() {
    return base::win::growingBuffer<wchar_t>([](wchar_t* buffer, DWORD size) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer, size);
        return length >= size ? size : length;
    });
}

// A semaphore that lives exactly as long as this process: the child waits until it is gone.
std::wstring semaphoreHeldUntilExit() {
    SemaphoreState& state = semaphoreState();
    std::lock_guard<std::mutex> guard(state.lock);
    if (!state.name.empty()) return state.name;
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::wstring name = base::formatWide(L"Local\\cvn_windel_%u_%llu_%d", GetCurrentProcessId(),
                                                   static_cast<unsigned long long>(GetTickCount64()), attempt);
        // Not inheritable: the child must not keep it alive itself. Never closed: the process
        // end releases it.
        SetLastError(0);
        const HANDLE semaphore = CreateSemaphoreW(nullptr, 0, 1, name.c_str());
        if (!semaphore) break;
        if (GetLastError() == ERROR_ALREADY_EXISTS) {
            CloseHandle(semaphore);
            continue;
        }
        state.name = name;
        return name;
    }
    return std::wstring();
}

bool writeAll(const std::wstring& path, const std::string& bytes) {
    base::win::FileHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

// Writes the deletion file and starts the deletion child on it; false (logged) when the file
// could not be written completely or the child not started.
bool startDeletionChild(const std::wstring& semaphoreName, const std::vector<std::wstring>& files,
                        const std::vector<std::wstring>& directories) {
    const std::wstring executable = moduleFileName();
    const std::wstring base = temporaryBaseWide(false);
    if (executable.empty() || base.empty()) {
        services::logMessage(L"could not create windel process");
        return false;
    }
    wchar_t name[MAX_PATH + 1] = {};
    if (GetTempFileNameW(base.c_str(), L"cvd", 0, name) == 0) {
        services::logMessage(L"GetTempFileName failed (last error %d)", static_cast<int>(GetLastError()));
        return false;
    }
    const std::wstring deletionFile = name;
    services::logMessage(L"deletion file name %s", deletionFile);

    DeletionFile content;
    content.semaphoreName = semaphoreName;
    content.files = files;
    content.directories = directories;
    if (!writeAll(deletionFile, encodeDeletionFile(content))) {
        // A half-written list must neither be acted on nor left behind.
        services::logMessage(L"could not write deletion file %d", static_cast<int>(GetLastError()));
        DeleteFileW(deletionFile.c_str());
        return false;
    }

    std::wstring command = L"\"" + executable + L"\" __cvn_windel \"" + deletionFile + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                        &startup, &process)) {
        services::logMessage(L"could not create windel process");
        DeleteFileW(deletionFile.c_str());
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

}  // namespace

void setDeletionSemaphoreName(std::wstring name) {
    SemaphoreState& state = semaphoreState();
    std::lock_guard<std::mutex> guard(state.lock);
    state.name = std::move(name);
}

// Everything below the extraction directory is ours, however deep a runtime or the installer
// nests it: a folder left non-empty at a fixed depth could never be removed, not even by the
// deletion child or at the restart. Links are never followed, so this bounds only the recursion.
constexpr int kOwnTreeDepth = 64;

void cleanUpAndExit(int exitCode) {
    const std::string directory = extractionDirectory();
    // Only a directory this run made in the temporary base is removed: never the
    // extract-and-exit folder beside the executable, which may hold a caller's files, nor the
    // folder a language restart was started in.
    if (!services::modes().languageRestart && extractionDirectoryIsOwnedByRun()) {
        // The work flow made the extraction directory the current one, and a current directory
        // cannot be removed: without leaving it every failed run would need the deletion child.
        enterExecutableDirectory();
        std::vector<std::wstring> files;
        std::vector<std::wstring> directories;
        const std::wstring wideDirectory = base::narrowToWide(directory);
        const std::wstring jre = wideDirectory + L"\\jre";
        if (pathExists(jre)) {
            services::logMessage(L"deleting bundled jre %S", directory + "\\jre");
            emptyDirectoryTree(jre, files, directories, kOwnTreeDepth);
        }
        emptyDirectoryTree(wideDirectory, files, directories, kOwnTreeDepth);
        if (!RemoveDirectoryW(extendedLengthPath(wideDirectory).c_str())) directories.push_back(wideDirectory);
        // The file that reserved the directory's name goes with it. While something of the
        // directory stays, so does the reservation: the deletion child inherits the claim on it
        // and keeps other runs' sweeps off its work, and the first sweep after the child has
        // ended removes the reservation.
        const std::string reservation = extractionNameReservation();
        if (!reservation.empty() && files.empty() && directories.empty()) {
            releaseReservation();
            DeleteFileA(reservation.c_str());
        }
        if (!files.empty() || !directories.empty()) {
            services::logMessage(L"schedule deletion %d %d", static_cast<int>(files.size()),
                                 static_cast<int>(directories.size()));
            startDeletionChild(semaphoreHeldUntilExit(), files, directories);
        }
    }
    // ExitProcess runs no exit handlers of the C runtime, and the log's is one of them; nor
    // does it flush the C streams.
    services::deleteTemporaryLog();
    std::fflush(nullptr);
    ExitProcess(static_cast<UINT>(exitCode));
}

}  // namespace files
