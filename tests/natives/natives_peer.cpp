// The second program of the natives tests: a process with the windows, the life time or the
// pipe end that a test needs to see from outside.
//   natives_peer window TITLE       a visible window that closes on WM_CLOSE
//   natives_peer stubborn TITLE     a visible window that ignores WM_CLOSE
//   natives_peer untitled TITLE     a visible untitled window and a titled one
//   natives_peer hidden             no visible window
//   natives_peer touch FILE         creates FILE and ends
//   natives_peer pipe-echo NAME     opens the client end of pipe NAME and sends every block back
//   natives_peer pipe-listen NAME   creates pipe NAME, waits for a client, sends every block back
//   natives_peer pipe-pump NAME MB  opens pipe NAME and reads MB megabytes in 64 KB pieces
// The pipe modes read the block format on their own (little-endian length, payload), so a
// test sees what another program makes of the natives' bytes.
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

bool readAll(HANDLE pipe, void* data, DWORD size) {
    for (DWORD done = 0; done < size;) {
        DWORD read = 0;
        if (!ReadFile(pipe, static_cast<char*>(data) + done, size - done, &read, nullptr) || read == 0) return false;
        done += read;
    }
    return true;
}

bool writeAll(HANDLE pipe, const void* data, DWORD size) {
    for (DWORD done = 0; done < size;) {
        DWORD written = 0;
        if (!WriteFile(pipe, static_cast<const char*>(data) + done, size - done, &written, nullptr) || written == 0) return false;
        done += written;
    }
    return true;
}

int echoBlocks(HANDLE pipe) {
    for (;;) {
        unsigned char header[4];
        if (!readAll(pipe, header, 4)) return 0;
        const DWORD length = header[0] | header[1] << 8 | header[2] << 16 | static_cast<DWORD>(header[3]) << 24;
        std::string payload(length, '\0');
        if (!readAll(pipe, payload.data(), length)) return 5;
        if (!writeAll(pipe, header, 4) || !writeAll(pipe, payload.data(), length)) return 6;
    }
}

HANDLE openClientEnd(const wchar_t* name) {
    for (int i = 0; i < 400; ++i) {
        const HANDLE pipe = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (pipe != INVALID_HANDLE_VALUE) return pipe;
        Sleep(25);
    }
    return INVALID_HANDLE_VALUE;
}

int runPipeMode(const std::wstring& mode, int argc, wchar_t** argv) {
    if (argc < 1) return 2;
    if (mode == L"pipe-echo") {
        const HANDLE pipe = openClientEnd(argv[0]);
        return pipe == INVALID_HANDLE_VALUE ? 3 : echoBlocks(pipe);
    }
    if (mode == L"pipe-listen") {
        const HANDLE pipe = CreateNamedPipeW(argv[0], PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 65536, 65536, 0, nullptr);
        if (pipe == INVALID_HANDLE_VALUE) return 3;
        if (!ConnectNamedPipe(pipe, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) return 4;
        return echoBlocks(pipe);
    }
    if (mode == L"pipe-pump" && argc > 1) {
        const HANDLE pipe = openClientEnd(argv[0]);
        if (pipe == INVALID_HANDLE_VALUE) return 3;
        std::string piece(65536, '\0');
        for (long long left = static_cast<long long>(_wtoi(argv[1])) << 20; left > 0; left -= 65536) {
            if (!readAll(pipe, piece.data(), 65536)) return 5;
        }
        return writeAll(pipe, "done", 4) ? 0 : 6;
    }
    return runPipeMode(mode, argc - 2, argv + 2);
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
    return runPipeMode(mode, argc - 2, argv + 2);
}
