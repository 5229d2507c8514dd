// The second program of the natives tests: a process with the windows, the life time or the
// pipe end that a test needs to see from outside.
//   natives_peer window TITLE       a visible window that closes on WM_CLOSE
//   natives_peer stubborn TITLE     a visible window that ignores WM_CLOSE
//   natives_peer untitled TITLE     a visible untitled window and a titled one
//   natives_peer hidden             no visible window
//   natives_peer touch FILE         creates FILE and ends
// Every mode but touch ends by itself after 60 s, so a failed test leaves nothing behind.
#include <windows.h>

#include <shellapi.h>

#include <string>

namespace {

bool ignoreClose = false;

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE && ignoreClose) return 0;
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND makeWindow(const wchar_t* title) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"NativesPeerWindow";
    RegisterClassW(&windowClass);
    const HWND window = CreateWindowExW(0, L"NativesPeerWindow", title, WS_OVERLAPPEDWINDOW, 10, 10, 200, 100, nullptr,
                                        nullptr, windowClass.hInstance, nullptr);
    ShowWindow(window, SW_SHOWNORMAL);
    return window;
}

int runWindows() {
    SetTimer(nullptr, 0, 60000, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && message.hwnd == nullptr) return 4;
        DispatchMessageW(&message);
    }
    return 0;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc < 2) return 2;
    const std::wstring mode = argv[1];
    const wchar_t* argument = argc > 2 ? argv[2] : L"";
    if (mode == L"window" || mode == L"stubborn") {
        ignoreClose = mode == L"stubborn";
        makeWindow(argument);
        return runWindows();
    }
    if (mode == L"untitled") {
        makeWindow(L"");
        makeWindow(argument);
        return runWindows();
    }
    if (mode == L"hidden") {
        Sleep(60000);
        return 0;
    }
    if (mode == L"touch") {
        const HANDLE file = CreateFileW(argument, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return 3;
        CloseHandle(file);
        return 0;
    }
    return 2;
}
