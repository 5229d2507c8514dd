// AWT windows as the window natives see them, over a real window of this test program: a
// java.awt.Window whose peer answers getHWnd with the window's handle, the window itself with
// a procedure that keeps the client-area mouse messages it received, and the system
// properties through which the stand-in's window-border callbacks are steered and read.
#pragma once

#include <windows.h>

#include <jni.h>

#include <optional>
#include <string>
#include <vector>

namespace natives_test {

// A java.awt.Window with a sun.awt.windows.WWindowPeer of `window`; without a peer for null.
jobject javaWindowOf(HWND window);

void setSystemProperty(const char* name, const char* value);
std::optional<std::string> systemProperty(const char* name);

// A top-level window of this thread, destroyed with the object. Its procedure paints a title
// strip at the top of the client area, as the look and feel would, and keeps the client-area
// mouse messages it was sent.
class TestWindow {
public:
    struct Mouse {
        UINT message;
        int x;
        int y;
    };

    explicit TestWindow(DWORD style = WS_OVERLAPPEDWINDOW, const wchar_t* title = L"Window natives");
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    HWND get() const { return window_; }
    const std::vector<Mouse>& mouse() const { return mouse_; }
    // The first parameters of the WM_SIZE messages it received, in order.
    const std::vector<WPARAM>& sizeTypes() const { return sizeTypes_; }
    // The client size the last of them carried.
    SIZE lastSize() const { return lastSize_; }
    // How many WM_NCACTIVATE messages it received (flashing sends them).
    int activations() const { return activations_; }
    // Handles the messages that are waiting (painting, posted commands).
    static void pump();

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    std::vector<Mouse> mouse_;
    std::vector<WPARAM> sizeTypes_;
    SIZE lastSize_ = {};
    int activations_ = 0;
};

// The window as it draws itself (PrintWindow), a 24-bit BMP under the build's artifacts
// (build/<arch>/artifacts/<name>.bmp). False when it could not be written.
bool saveScreenshot(HWND window, const std::wstring& name);

}  // namespace natives_test
