// The custom window border on a real window of this program: one subclass however often it is
// installed, the client area of normal, maximised and full-screen windows, hit testing through
// the stand-in's WndProc callbacks, the background brush, the title bar's buttons and system
// menu, the size type of frame updates, and the clean-up when the window goes. Pictures of the
// window, normal and maximised, are kept under build/<arch>/artifacts.
#include <windows.h>

#include <shellapi.h>

#include <cstdint>
#include <string>

#include "awt_window.h"
#include "harness/natives_test.h"

namespace natives_test {
namespace {

constexpr char kWndProc[] = "com/corvane/shadow/com/formdev/flatlaf/ui/FlatWindowsNativeWindowBorder$WndProc.";

std::string wndProc(const char* method) { return std::string(kWndProc) + method; }
jlong handleOf(HWND window) { return reinterpret_cast<std::intptr_t>(window); }

class WindowBorder : public NativesTest {
protected:
    void SetUp() override {
        NativesTest::SetUp();
        const jclass loader = env()->FindClass("java/lang/ClassLoader");
        const jobject system =
            env()->CallStaticObjectMethod(loader, env()->GetStaticMethodID(loader, "getSystemClassLoader", "()Ljava/lang/ClassLoader;"));
        ASSERT_TRUE(callBoolean("Misc.registerExtensionFunctions0", {system, javaString(L"registerNativesFlatlaf"), nullptr}));
        setSystemProperty("standin.hitTest", "1");
        setSystemProperty("standin.fullscreen", "false");
        // The border's natives are methods of a WndProc object, one for each window.
        const std::string type(kWndProc, sizeof kWndProc - 2);
        border_ = env()->AllocObject(env()->FindClass(type.c_str()));
        ASSERT_NE(border_, nullptr);
    }

    // Installs the border on the window and has the frame recomputed.
    jlong install(HWND window) {
        const jlong handle = callLongOn(border_, wndProc("installImpl"), {javaWindowOf(window)});
        callVoidOn(border_, wndProc("updateFrame"), {handle, 0});
        return handle;
    }

    static long resizeHandleHeight(HWND window) {
        using DpiForWindow = UINT(WINAPI*)(HWND);
        using MetricsForDpi = int(WINAPI*)(int, UINT);
        const HMODULE user32 = GetModuleHandleW(L"user32.dll");
        const auto dpi = reinterpret_cast<DpiForWindow>(reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForWindow")));
        const auto metric =
            reinterpret_cast<MetricsForDpi>(reinterpret_cast<void*>(GetProcAddress(user32, "GetSystemMetricsForDpi")));
        return metric(92, dpi(window)) + metric(33, dpi(window));
    }

    // Where the client area starts, relative to the window's top edge.
    static long clientTopInWindow(HWND window) {
        RECT frame = {};
        GetWindowRect(window, &frame);
        POINT origin = {0, 0};
        ClientToScreen(window, &origin);
        return origin.y - frame.top;
    }

    static LPARAM screenPoint(HWND window, int x, int y) {
        RECT frame = {};
        GetWindowRect(window, &frame);
        return MAKELPARAM(frame.left + x, frame.top + y);
    }

    jobject border_ = nullptr;  // the WndProc object whose natives the tests call
};

TEST_F(WindowBorder, InstalledOnceUninstalledAndGoneWithTheWindow) {
    TestWindow window;
    const LONG_PTR original = GetWindowLongPtrW(window.get(), GWLP_WNDPROC);
    EXPECT_EQ(callLongOn(border_, wndProc("installImpl"), {javaWindowOf(nullptr)}), 0);
    const jlong handle = callLongOn(border_, wndProc("installImpl"), {javaWindowOf(window.get())});
    EXPECT_EQ(handle, handleOf(window.get()));
    const LONG_PTR subclass = GetWindowLongPtrW(window.get(), GWLP_WNDPROC);
    EXPECT_NE(subclass, original);
    EXPECT_EQ(callLongOn(border_, wndProc("installImpl"), {javaWindowOf(window.get())}), 0);
    EXPECT_EQ(GetWindowLongPtrW(window.get(), GWLP_WNDPROC), subclass);

    callVoidOn(border_, wndProc("uninstallImpl"), {handle});
    EXPECT_EQ(GetWindowLongPtrW(window.get(), GWLP_WNDPROC), original);
    callVoidOn(border_, wndProc("uninstallImpl"), {handle});  // nothing left to undo
    // The standard title bar is back.
    EXPECT_GT(clientTopInWindow(window.get()), 0);

    // A destroyed window takes its record along: a new window, maybe with the same handle,
    // installs as the first did.
    jlong gone = 0;
    {
        TestWindow destroyed;
        gone = callLongOn(border_, wndProc("installImpl"), {javaWindowOf(destroyed.get())});
        callVoidOn(border_, wndProc("setWindowBackground"), {gone, 1, 2, 3});
    }
    callVoidOn(border_, wndProc("setWindowBackground"), {gone, 1, 2, 3});
    TestWindow next;
    EXPECT_EQ(callLongOn(border_, wndProc("installImpl"), {javaWindowOf(next.get())}), handleOf(next.get()));
}

TEST_F(WindowBorder, ClientAreaOfNormalMaximisedAndFullScreenWindows) {
    TestWindow window;
    const jlong handle = install(window.get());
    callVoidOn(border_, wndProc("showWindow"), {handle, SW_SHOWNORMAL});
    EXPECT_TRUE(IsWindowVisible(window.get()));
    // Windows 11's visible top border is not reported by Wine's DWM: the client area starts at
    // the window's top edge.
    EXPECT_EQ(clientTopInWindow(window.get()), 0);

    callVoidOn(border_, wndProc("showWindow"), {handle, SW_MAXIMIZE});
    ASSERT_TRUE(IsZoomed(window.get()));
    EXPECT_EQ(clientTopInWindow(window.get()), resizeHandleHeight(window.get()));

    setSystemProperty("standin.fullscreen", "true");
    callVoidOn(border_, wndProc("updateFrame"), {handle, 6});
    EXPECT_EQ(clientTopInWindow(window.get()), 0);
}

// Wine's shell hands each app bar message to the window of class WineAppBar (its explorer's),
// which writes the answer into a mapping the caller made. A window of that class in this
// program, found before the explorer's, answers as Windows does for a taskbar that hides
// itself at the bottom of the screen and for one at the left.
class AutoHidingTaskbars {
public:
    AutoHidingTaskbars() {
        WNDCLASSW type = {};
        type.lpfnWndProc = procedure;
        type.hInstance = GetModuleHandleW(nullptr);
        type.lpszClassName = L"WineAppBar";
        RegisterClassW(&type);
        window_ = CreateWindowExW(WS_EX_TOOLWINDOW, type.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  type.hInstance, nullptr);
    }
    ~AutoHidingTaskbars() {
        DestroyWindow(window_);
        UnregisterClassW(L"WineAppBar", GetModuleHandleW(nullptr));
    }
    AutoHidingTaskbars(const AutoHidingTaskbars&) = delete;
    AutoHidingTaskbars& operator=(const AutoHidingTaskbars&) = delete;

    bool found() const { return FindWindowW(L"WineAppBar", nullptr) == window_; }

private:
    // The message as Wine's shell sends it: the same on 32 and 64 bits.
    struct Bar {
        LONG window;
        UINT callbackMessage, edge;
        RECT area;
        ULONGLONG parameter;
    };
    struct Command {
        ULONG answerMapping;
        DWORD process;
        Bar bar;
    };
    struct Answer {
        ULONGLONG result;
        Bar bar;
    };
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message != WM_COPYDATA) return DefWindowProcW(window, message, wParam, lParam);
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (data->cbData != sizeof(Command)) return TRUE;
        const auto* command = static_cast<const Command*>(data->lpData);
        constexpr DWORD kGetAutoHideBarEx = 0x0B;
        ULONGLONG result = 0;
        if (data->dwData == ABM_GETSTATE) result = ABS_AUTOHIDE | ABS_ALWAYSONTOP;
        if (data->dwData == kGetAutoHideBarEx && (command->bar.edge == ABE_BOTTOM || command->bar.edge == ABE_LEFT))
            result = reinterpret_cast<std::uintptr_t>(window);  // the bar's window
        // The caller is this process: its mapping handle is good here as it is.
        const HANDLE mapping = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(command->answerMapping));
        if (auto* answer = static_cast<Answer*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(Answer)))) {
            answer->result = result;
            answer->bar = command->bar;
            UnmapViewOfFile(answer);
        }
        return TRUE;
    }
    HWND window_ = nullptr;
};

// A maximised window leaves the pixel free at each edge where an auto-hidden taskbar waits.
TEST_F(WindowBorder, AMaximisedWindowLeavesAPixelWhereATaskbarHides) {
    TestWindow window;
    const jlong handle = install(window.get());
    callVoidOn(border_, wndProc("showWindow"), {handle, SW_MAXIMIZE});
    ASSERT_TRUE(IsZoomed(window.get()));
    const auto clientInScreen = [&] {
        RECT client = {};
        GetClientRect(window.get(), &client);
        MapWindowPoints(window.get(), nullptr, reinterpret_cast<POINT*>(&client), 2);
        return client;
    };
    const RECT before = clientInScreen();

    const AutoHidingTaskbars taskbars;
    ASSERT_TRUE(taskbars.found());
    callVoidOn(border_, wndProc("updateFrame"), {handle, 6});
    const RECT after = clientInScreen();
    EXPECT_EQ(after.left, before.left + 1);
    EXPECT_EQ(after.bottom, before.bottom - 1);
    EXPECT_EQ(after.top, before.top);
    EXPECT_EQ(after.right, before.right);
}

// A maximised window that moves to a screen of another DPI is told its new size as still
// maximised; a normal one is left to the system's own handling.
TEST_F(WindowBorder, ADpiChangeKeepsAMaximisedWindowMaximised) {
    TestWindow window;
    const jlong handle = install(window.get());
    callVoidOn(border_, wndProc("showWindow"), {handle, SW_SHOWNORMAL});
    RECT suggested = {100, 50, 1060, 650};
    const auto changeDpi = [&] {
        const std::size_t before = window.sizeTypes().size();
        SendMessageW(window.get(), WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
        return window.sizeTypes().size() - before;
    };
    EXPECT_EQ(changeDpi(), 0u);
    callVoidOn(border_, wndProc("showWindow"), {handle, SW_MAXIMIZE});
    ASSERT_EQ(changeDpi(), 1u);
    EXPECT_EQ(window.sizeTypes().back(), static_cast<WPARAM>(SIZE_MAXIMIZED));
    EXPECT_EQ(window.lastSize().cx, 960);
    EXPECT_EQ(window.lastSize().cy, 600);
}

TEST_F(WindowBorder, HitTestingAndColourChangesReachTheJavaSide) {
    TestWindow window;
    install(window.get());
    const auto hitTest = [&](int x, int y) {
        return SendMessageW(window.get(), WM_NCHITTEST, 0, screenPoint(window.get(), x, y));
    };
    setSystemProperty("standin.hitTest", "2");  // the painted title bar is the caption
    EXPECT_EQ(hitTest(200, 15), HTCAPTION);
    EXPECT_EQ(systemProperty("standin.hitTestAsked"), "200,15,false");
    // The top strip of a resizable window is its resize border.
    setSystemProperty("standin.hitTest", "12");
    EXPECT_EQ(hitTest(200, 1), HTTOP);
    EXPECT_EQ(systemProperty("standin.hitTestAsked"), "200,1,true");
    // The system's own borders are answered without asking.
    setSystemProperty("standin.hitTestAsked", "none");
    EXPECT_EQ(hitTest(200, 319), HTBOTTOM);
    EXPECT_EQ(systemProperty("standin.hitTestAsked"), "none");

    TestWindow fixed(WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, L"fixed");
    install(fixed.get());
    setSystemProperty("standin.hitTest", "1");
    SendMessageW(fixed.get(), WM_NCHITTEST, 0, screenPoint(fixed.get(), 200, 1));
    EXPECT_EQ(systemProperty("standin.hitTestAsked"), "200,1,false");

    setSystemProperty("standin.stateChanges", "0");
    SendMessageW(window.get(), WM_DWMCOLORIZATIONCOLORCHANGED, 0, 0);
    SendMessageW(window.get(), WM_DWMCOLORIZATIONCOLORCHANGED, 0, 0);
    EXPECT_EQ(systemProperty("standin.stateChanges"), "2");
}

TEST_F(WindowBorder, BackgroundErasedWithTheSetColour) {
    TestWindow window;
    const jlong handle = install(window.get());
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, 480, 320);
    const HGDIOBJ previous = SelectObject(memory, bitmap);
    const auto erase = [&] { return SendMessageW(window.get(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(memory), 0); };

    EXPECT_EQ(erase(), 0);  // no brush yet
    callVoidOn(border_, wndProc("setWindowBackground"), {handle, 10, 200, 30});
    callVoidOn(border_, wndProc("setWindowBackground"), {handle, 20, 100, 40});
    EXPECT_EQ(erase(), 1);
    EXPECT_EQ(GetPixel(memory, 5, 5), RGB(20, 100, 40));
    // Moved within a size/move loop: left to the system until the loop ends.
    SendMessageW(window.get(), WM_ENTERSIZEMOVE, 0, 0);
    SendMessageW(window.get(), WM_MOVE, 0, MAKELPARAM(130, 90));
    EXPECT_EQ(erase(), 0);
    SendMessageW(window.get(), WM_EXITSIZEMOVE, 0, 0);
    EXPECT_EQ(erase(), 1);

    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

TEST_F(WindowBorder, TitleBarButtonsGoToTheClientArea) {
    TestWindow window;
    install(window.get());
    EXPECT_EQ(SendMessageW(window.get(), WM_NCLBUTTONDOWN, HTCLOSE, screenPoint(window.get(), 460, 12)), 0);
    SendMessageW(window.get(), WM_NCLBUTTONUP, HTCLOSE, screenPoint(window.get(), 461, 13));
    SendMessageW(window.get(), WM_NCMOUSEMOVE, HTCAPTION, screenPoint(window.get(), 100, 10));
    SendMessageW(window.get(), WM_NCMOUSEMOVE, HTLEFT, screenPoint(window.get(), 1, 100));  // not a title bar part
    ASSERT_EQ(window.mouse().size(), 3u);
    EXPECT_EQ(window.mouse()[0].message, static_cast<UINT>(WM_LBUTTONDOWN));
    EXPECT_EQ(window.mouse()[0].x, 460);
    EXPECT_EQ(window.mouse()[0].y, 12);
    EXPECT_EQ(window.mouse()[1].message, static_cast<UINT>(WM_LBUTTONUP));
    EXPECT_EQ(window.mouse()[2].message, static_cast<UINT>(WM_MOUSEMOVE));
    EXPECT_EQ(window.mouse()[2].x, 100);
    TestWindow::pump();
    EXPECT_TRUE(IsWindow(window.get()));  // the close button did not close it
}

// The system menu's item states while it is open, read by a timer of the menu's own loop, which
// then closes the menu.
struct MenuSeen {
    HWND window = nullptr;
    bool open = false;
    UINT restore = 0, move = 0, size = 0, minimize = 0, maximize = 0, close = 0;
    UINT defaultItem = 0;
};
MenuSeen menuSeen;

void CALLBACK readMenu(HWND window, UINT, UINT_PTR timer, DWORD) {
    KillTimer(window, timer);
    const HMENU menu = GetSystemMenu(menuSeen.window, FALSE);
    menuSeen.open = true;
    menuSeen.restore = GetMenuState(menu, SC_RESTORE, MF_BYCOMMAND);
    menuSeen.move = GetMenuState(menu, SC_MOVE, MF_BYCOMMAND);
    menuSeen.size = GetMenuState(menu, SC_SIZE, MF_BYCOMMAND);
    menuSeen.minimize = GetMenuState(menu, SC_MINIMIZE, MF_BYCOMMAND);
    menuSeen.maximize = GetMenuState(menu, SC_MAXIMIZE, MF_BYCOMMAND);
    menuSeen.close = GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND);
    menuSeen.defaultItem = GetMenuDefaultItem(menu, FALSE, 0);
    EndMenu();
}

// Disabled as the border sets it, or greyed as Wine's menu loop sets the system menu of a window
// by its own rules (which agree) when the menu opens.
bool unavailable(UINT state) { return (state & (MF_DISABLED | MF_GRAYED)) != 0; }

MenuSeen rightClickTitle(HWND window) {
    menuSeen = MenuSeen{};
    menuSeen.window = window;
    SetTimer(window, 1, 200, readMenu);
    SendMessageW(window, WM_NCRBUTTONUP, HTCAPTION, MAKELPARAM(300, 100));
    KillTimer(window, 1);
    return menuSeen;
}

TEST_F(WindowBorder, SystemMenuOnTheTitleArea) {
    TestWindow window;
    const jlong handle = install(window.get());
    callVoidOn(border_, wndProc("showWindow"), {handle, SW_SHOWNORMAL});
    SetForegroundWindow(window.get());
    TestWindow::pump();

    MenuSeen normal = rightClickTitle(window.get());
    ASSERT_TRUE(normal.open);
    EXPECT_TRUE(unavailable(normal.restore));
    EXPECT_FALSE(unavailable(normal.move));
    EXPECT_FALSE(unavailable(normal.size));
    EXPECT_FALSE(unavailable(normal.minimize));
    EXPECT_FALSE(unavailable(normal.maximize));
    EXPECT_FALSE(unavailable(normal.close));
    EXPECT_EQ(normal.defaultItem, static_cast<UINT>(SC_CLOSE));

    callVoidOn(border_, wndProc("showWindow"), {handle, SW_MAXIMIZE});
    MenuSeen maximised = rightClickTitle(window.get());
    ASSERT_TRUE(maximised.open);
    EXPECT_FALSE(unavailable(maximised.restore));
    EXPECT_TRUE(unavailable(maximised.move));
    EXPECT_TRUE(unavailable(maximised.size));
    EXPECT_TRUE(unavailable(maximised.maximize));
    TestWindow::pump();
    EXPECT_TRUE(IsWindow(window.get()));  // closing the menu chose nothing
}

TEST_F(WindowBorder, FrameUpdatesCarryTheJavaFrameState) {
    TestWindow window;
    ShowWindow(window.get(), SW_SHOWNORMAL);
    // The first update after installing takes the title bar away, so the client area changes
    // size: WM_SIZE tells the state's size type. Uninstalling brings the system's own back.
    for (const auto& [state, sizeType] : {std::pair{6, SIZE_MAXIMIZED}, {1, SIZE_MINIMIZED}}) {
        const jlong handle = callLongOn(border_, wndProc("installImpl"), {javaWindowOf(window.get())});
        const std::size_t before = window.sizeTypes().size();
        callVoidOn(border_, wndProc("updateFrame"), {handle, state});
        ASSERT_GT(window.sizeTypes().size(), before) << state;
        EXPECT_EQ(window.sizeTypes().back(), static_cast<WPARAM>(sizeType)) << state;
        callVoidOn(border_, wndProc("uninstallImpl"), {handle});
        EXPECT_EQ(window.sizeTypes().back(), static_cast<WPARAM>(SIZE_RESTORED)) << state;
    }
}

TEST_F(WindowBorder, PicturesOfTheCustomBorder) {
    TestWindow window(WS_OVERLAPPEDWINDOW, L"Custom border");
    const jlong handle = install(window.get());
    callVoidOn(border_, wndProc("setWindowBackground"), {handle, 236, 240, 244});
    callVoidOn(border_, wndProc("showWindow"), {handle, SW_SHOWNORMAL});
    SetWindowPos(window.get(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    for (int i = 0; i < 10; ++i) {
        TestWindow::pump();
        Sleep(30);
    }
    EXPECT_EQ(clientTopInWindow(window.get()), 0);
    EXPECT_TRUE(saveScreenshot(window.get(), L"window-border-normal"));

    callVoidOn(border_, wndProc("showWindow"), {handle, SW_MAXIMIZE});
    for (int i = 0; i < 10; ++i) {
        TestWindow::pump();
        Sleep(30);
    }
    EXPECT_TRUE(IsZoomed(window.get()));
    EXPECT_TRUE(saveScreenshot(window.get(), L"window-border-maximised"));
}

}  // namespace
}  // namespace natives_test
