#include "files/deletion_child.h"

#include <windows.h>

#include <cstdlib>
#include <ctime>

#include "base/format.h"
#include "base/win/handles.h"
#include "files/deletion_passes.h"
#include "files/executable_paths.h"
#include "files/path_text.h"
#include "files/run_reservation.h"
#include "services/log.h"

namespace files {

namespace {

// Deletion files are a few lines per leftover; anything beyond this is not one.
constexpr LONGLONG kLargestDeletionFile = 64LL * 1024 * 1024;

bool isGone(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

std::optional<std::string> readWholeFile(const std::wstring& path) {
    base::win::FileHandle file(CreateFileW(extendedLengthPath(path).c_str(), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 || size.QuadPart > kLargestDeletionFile) {
        return std::nullopt;
    }
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        if (!ReadFile(file.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &got, nullptr) ||
            got == 0) {
            break;
        }
        done += got;
    }
    bytes.resize(done);
    return bytes;
}

class SystemDeletionSteps : public DeletionSteps {
public:
    void waitForSemaphoreRelease(const std::wstring& name) override { files::waitForSemaphoreRelease(name); }
    bool deleteFile(const std::wstring& path) override {
        return DeleteFileW(extendedLengthPath(path).c_str()) || isGone(GetLastError());
    }
    bool removeDirectory(const std::wstring& path) override {
        return RemoveDirectoryW(extendedLengthPath(path).c_str()) || isGone(GetLastError());
    }
    bool scheduleDeletionAtReboot(const std::wstring& path) override {
        return MoveFileExW(extendedLengthPath(path).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
    }
    void pause(unsigned milliseconds) override { Sleep(milliseconds); }
};

std::wstring temporaryPathForCheckFile() {
    std::wstring path(8192, L'\0');
    const DWORD length = GetTempPathW(static_cast<DWORD>(path.size()), path.data());
    path.resize(length < path.size() ? length : 0);
    if (!path.empty()) {
        CreateDirectoryW(path.c_str(), nullptr);
        return path;
    }
    wchar_t drive[MAX_PATH] = {};
    wchar_t home[8192] = {};
    const DWORD driveLength = GetEnvironmentVariableW(L"HOMEDRIVE", drive, MAX_PATH);
    const DWORD homeLength = GetEnvironmentVariableW(L"HOMEPATH", home, 8192);
    if (driveLength >= MAX_PATH || homeLength >= 8192) return std::wstring();
    return std::wstring(drive, driveLength) + std::wstring(home, homeLength);
}

void writeRebootCheckValue(HKEY hive, const std::wstring& path) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(hive, kRebootCheckKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    RegSetValueExW(key, kRebootCheckValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                   static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

// A file that only the reboot removes: while it exists, the reboot has not happened.
void recordRebootCheckFile() {
    const std::wstring directory = temporaryPathForCheckFile();
    if (directory.empty() || directory.size() >= MAX_PATH - 14) return;
    wchar_t name[MAX_PATH + 1] = {};
    std::wstring checkFile;
    if (GetTempFileNameW(directory.c_str(), L"ide", 0, name) != 0) {
        checkFile = name;
    } else {
        std::srand(static_cast<unsigned>(std::time(nullptr)));
        const bool separated = directory.back() == L'\\' || directory.back() == L'/';
        checkFile = base::formatWide(separated ? L"%slmb%d" : L"%s\\lmb%d", directory, std::rand());
        // The value must name a file that exists until the reboot, or the Java side would
        // take the reboot as done.
        base::win::FileHandle file(CreateFileW(checkFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return;
    }
    if (!MoveFileExW(checkFile.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) return;
    writeRebootCheckValue(HKEY_LOCAL_MACHINE, checkFile);
    writeRebootCheckValue(HKEY_CURRENT_USER, checkFile);
}

class SystemRebootSteps : public RebootSteps {
public:
    explicit SystemRebootSteps(const services::RebootActions& actions) : actions_(actions) {}
    bool reboot() override { return services::rebootNow(actions_); }
    void showFailure(const std::wstring& text) override {
        MessageBoxW(nullptr, text.c_str(), L"corvane", MB_ICONEXCLAMATION);
    }
    bool askForReboot(const std::wstring& question) override {
        return MessageBoxW(nullptr, question.c_str(), L"corvane", MB_ICONQUESTION | MB_YESNO) == IDYES;
    }
    void recordRebootCheckFile() override { files::recordRebootCheckFile(); }

private:
    const services::RebootActions& actions_;
};

}  // namespace

void waitForSemaphoreRelease(const std::wstring& name) {
    for (;;) {
        SetLastError(0);
        const HANDLE semaphore = CreateSemaphoreW(nullptr, 1, 1, name.c_str());
        const DWORD error = GetLastError();
        if (semaphore) CloseHandle(semaphore);
        if (error != ERROR_ALREADY_EXISTS) return;
        Sleep(200);
    }
}

int runDeletionChild(const std::wstring& deletionFile, const services::RebootActions& rebootActions) {
    // The child must not hold the extraction directory as its current directory.
    enterExecutableDirectory();
    const auto bytes = readWholeFile(deletionFile);
    if (!bytes) {
        services::logMessage(L"could not read deletion file %s", deletionFile);
        return 0;
    }
    const auto content = parseDeletionLines(decodeDeletionLines(*bytes));
    if (!content) {
        // Not a deletion file, or a damaged one: nothing it names is touched, and the file
        // itself stays, since it may be something else entirely.
        services::logMessage(L"not a deletion file %s", deletionFile);
        return 0;
    }
    DeleteFileW(extendedLengthPath(deletionFile).c_str());

    SystemDeletionSteps steps;
    const DeletionOutcome outcome = runDeletionPasses(*content, steps);
    deleteReservationsOfRemovedDirectories(content->directories);
    SystemRebootSteps reboot(rebootActions);
    finishDeletion(outcome, reboot);
    return 0;
}

}  // namespace files
