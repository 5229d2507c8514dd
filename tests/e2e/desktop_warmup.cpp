// Keeps the Wine desktop alive for a whole test run. Wine's desktop process ends when nobody
// uses it, and the next process that needs one starts it anew; a test program that does so
// hands its own standard output (ctest's pipe) down to the desktop, and ctest then waits for
// that pipe long after the test has passed. Started before the tests with its output elsewhere,
// this holder owns the desktop instead, until the wineserver ends.
#include <windows.h>

int main() {
    HWND window = CreateWindowExW(0, L"STATIC", L"desktop holder", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    if (!window || !GetDesktopWindow()) return 1;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    return 0;
}
