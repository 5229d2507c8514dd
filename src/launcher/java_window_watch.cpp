#include "launcher/java_window_watch.h"

#include <commctrl.h>

#include <atomic>

#include "services/error_path.h"
#include "services/log.h"
#include "services/modes.h"
#include "launcher/run_marks.h"
#include "services/tables.h"
#include "resources/resource_ids.h"

namespace launcher {

using services::failWithMessage;
using services::logMessage;
using services::modes;

namespace {

constexpr int32_t kLauncherTypeId = 107;
constexpr int32_t kNoTimeoutId = 159;
constexpr int kTimeoutMessage = 20014;
constexpr int kTimeoutRounds = 2400;  // of 100 ms
constexpr int kTopPosition = 390;

std::atomic<int> progressStart{100};

// This process's console window, looked up once by giving the console a unique title.
HWND consoleWindow() {
    static bool searched = false;
    static HWND console = nullptr;
    if (searched) return console;
    searched = true;
    if (services::configInteger(kLauncherTypeId) == 1) return console;
    char title[1024];
    if (GetConsoleTitleA(title, sizeof title) == 0) return console;
    char unique[64];
    wsprintfA(unique, "%d/%d", static_cast<int>(GetTickCount()), static_cast<int>(GetCurrentProcessId()));
    SetConsoleTitleA(unique);
    Sleep(40);
    console = FindWindowA(nullptr, unique);
    SetConsoleTitleA(title);
    return console;
}

struct WindowSearch {
    DWORD processId;
    HWND console;
    int count = 0;
    bool restore = false;
    bool bringToFront = false;
};

BOOL CALLBACK visitWindow(HWND window, LPARAM parameter) {
    WindowSearch& search = *reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search.processId || !IsWindowVisible(window)) return TRUE;
    if (!search.bringToFront) {
        if (window != search.console) ++search.count;
        return TRUE;
    }
    services::logMessage(L"found window %p", static_cast<void*>(window));
    if (search.restore && IsIconic(window)) {
        services::logMessage(L"restore");
        ShowWindow(window, SW_RESTORE);
    }
    services::logMessage(L"foreground");
    SetForegroundWindow(window);
    services::logMessage(L"popup");
    SetForegroundWindow(GetLastActivePopup(window));
    services::logMessage(L"done");
    return TRUE;
}

}  // namespace

void setWatchProgressStart(int position) { progressStart = position; }

DWORD WINAPI watchForJavaWindow(void* parameter) {
    const HWND window = static_cast<HWND>(parameter);
    // The visible startup dialog counts among the windows, the MSI wrapper's does not.
    const int required = services::modes().msi ? 1 : 2;
    const int start = progressStart.load();
    int position = start;
    for (int round = 1; countProcessWindows(GetCurrentProcessId()) < required; ++round) {
        if (readInstallStarted(true) == 2) break;
        if (round % 5 == 0) {
            position += (400 - start) / 4;
            if (position > kTopPosition) position = kTopPosition;
            SendDlgItemMessageW(window, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(position), 0);
        }
        if (round == kTimeoutRounds && readInstallStarted(true) == 1 && services::configInteger(kNoTimeoutId) == 0) {
            services::logMessage(L"timeout");
            services::failWithMessage(kTimeoutMessage);
        }
        Sleep(100);
    }
    javaSideTookOver();
    services::logMessage(L"Java window visible");
    ShowWindow(window, SW_HIDE);
    return 0;
}

int countProcessWindows(DWORD processId) {
    WindowSearch search{processId, consoleWindow()};
    EnumWindows(visitWindow, reinterpret_cast<LPARAM>(&search));
    return search.count;
}

void bringProcessWindowsToFront(DWORD processId, bool restore) {
    WindowSearch search{processId, nullptr};
    search.restore = restore;
    search.bringToFront = true;
    EnumWindows(visitWindow, reinterpret_cast<LPARAM>(&search));
}

}  // namespace launcher
