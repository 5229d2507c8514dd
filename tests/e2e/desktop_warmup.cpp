// Touches the Wine desktop once, so that the desktop process exists before the tests start:
// the first process to need it waits for it to come up, at its start or at its exit, and two
// tests racing to be first can stall for minutes.
#include <windows.h>

int main() {
    HWND window = CreateWindowExW(0, L"STATIC", L"warm-up", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    MessageBeep(0);
    if (window) DestroyWindow(window);
    return GetDesktopWindow() ? 0 : 1;
}
