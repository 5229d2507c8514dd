#include "services/platform.h"

#include <atomic>
#include <cstdio>
#include <mutex>

#include <commctrl.h>

#include "base/text.h"
#include "services/log.h"
#include "services/modes.h"

namespace services {

namespace {

template <class Function>
Function kernelFunction(const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name)));
}

bool enableShutdownPrivilegeOfProcess() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    bool enabled = false;
    if (LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid)) {
        AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
        enabled = GetLastError() == 0;
    }
    CloseHandle(token);
    return enabled;
}

bool exitWindowsForReboot() { return ExitWindowsEx(EWX_REBOOT, 0) != FALSE; }

void sleepFor(DWORD milliseconds) { Sleep(milliseconds); }

}  // namespace

bool attachConsole() {
    modes().consoleAttached = true;
    using AttachConsoleFunction = BOOL(WINAPI*)(DWORD);
    if (const auto attach = kernelFunction<AttachConsoleFunction>("AttachConsole")) {
        if (attach(ATTACH_PARENT_PROCESS) || GetLastError() == ERROR_ACCESS_DENIED) return true;
    }
    return AllocConsole() != FALSE;
}

void writeStandardOutput(std::string_view text) {
    if (modes().consoleAttached) {
        const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
        if (output != nullptr && output != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
            FlushFileBuffers(output);
            return;
        }
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

bool hardenDllSearch() {
    // The loader of Windows 6.0 lacks the call even with updates that add the function.
    const DWORD version = GetVersion();
    if ((version & 0xFF) == 6 && ((version >> 8) & 0xFF) == 0) return false;
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    const auto set = kernelFunction<SetDefaultDllDirectoriesFunction>("SetDefaultDllDirectories");
    if (!set) return false;
    set(LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_USER_DIRS);
    return true;
}

void restrictDllSearch() {
    if (hardenDllSearch()) logMessage(L"restrict DLL directories");
}

void* addDllDirectory(std::string_view narrowPath) {
    using AddDllDirectoryFunction = void*(WINAPI*)(PCWSTR);
    const auto add = kernelFunction<AddDllDirectoryFunction>("AddDllDirectory");
    if (!add) return nullptr;
    std::string path(narrowPath.substr(0, 5999));
    const UINT codePage = AreFileApisANSI() ? CP_ACP : CP_OEMCP;
    std::wstring wide(6000, L'\0');
    const int length = MultiByteToWideChar(codePage, 0, path.c_str(), -1, wide.data(), 6000);
    wide.resize(length > 0 ? static_cast<size_t>(length - 1) : 0);
    logMessage(L"Adding DLL directory %s", wide);
    return add(wide.c_str());
}

void removeDllDirectory(void* cookie) {
    if (!cookie) return;
    using RemoveDllDirectoryFunction = BOOL(WINAPI*)(void*);
    if (const auto remove = kernelFunction<RemoveDllDirectoryFunction>("RemoveDllDirectory")) {
        logMessage(L"Removing DLL directory");
        remove(cookie);
    }
}

HMODULE loadSystemLibrary(const wchar_t* name) {
    // A full path from the system directory: where the search is not restricted (Windows
    // 6.0, or a system without the update), a bare name would look beside the installer first.
    wchar_t directory[MAX_PATH];
    const UINT length = GetSystemDirectoryW(directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    return LoadLibraryW((std::wstring(directory, length) + L"\\" + name).c_str());
}

namespace {
bool preloaded = false;
}  // namespace

void preloadSystemLibraries() {
    if (preloaded) return;
    preloaded = true;
    loadSystemLibrary(L"davhlpr.dll");
    loadSystemLibrary(L"fwbase.dll");
}

bool systemLibrariesPreloaded() { return preloaded; }

namespace {

std::once_flag commonControlsOnce;
std::atomic<bool> commonControlsBegun{false};

void loadCommonControls() {
    HMODULE comctl = GetModuleHandleW(L"comctl32.dll");
    if (!comctl) comctl = LoadLibraryExW(L"comctl32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!comctl) comctl = loadSystemLibrary(L"comctl32.dll");
    if (!comctl) return;
    using InitFunction = void(WINAPI*)();
    if (const auto init = reinterpret_cast<InitFunction>(reinterpret_cast<void*>(GetProcAddress(comctl, "InitCommonControls")))) {
        init();
    }
}

DWORD WINAPI commonControlsThread(void*) {
    std::call_once(commonControlsOnce, loadCommonControls);
    return 0;
}

}  // namespace

void initCommonControls() {
    commonControlsBegun = true;
    std::call_once(commonControlsOnce, loadCommonControls);
}

void startCommonControls() {
    if (commonControlsBegun.exchange(true)) return;
    if (const HANDLE thread = CreateThread(nullptr, 0, commonControlsThread, nullptr, 0, nullptr)) {
        CloseHandle(thread);
        return;
    }
    initCommonControls();
}

void awaitCommonControls() {
    if (commonControlsBegun) std::call_once(commonControlsOnce, loadCommonControls);
}

const RebootActions& systemRebootActions() {
    static const RebootActions actions = {sleepFor, enableShutdownPrivilegeOfProcess, exitWindowsForReboot};
    return actions;
}

bool rebootNow(const RebootActions& actions) {
    if (!actions.enableShutdownPrivilege()) return false;
    return actions.exitWindows();
}

void runDelayedReboot(const RebootActions& actions) {
    actions.sleep(5000);
    rebootNow(actions);
}

}  // namespace services
