// Natives of com/corvane/shadow/com/formdev/flatlaf/ui/FlatWindowsNativeWindowBorder$WndProc:
// a replacement window procedure that takes the standard title bar away (the look and feel
// paints its own into the client area) while the system keeps the resize borders, snapping,
// maximising and the system menu. Hit testing of the painted title bar is asked of the Java
// class; the geometry is in window_frame.cpp.
#include <windows.h>
#include <windowsx.h>

#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "jni/jni_toolkit.h"
#include "natives/flatlaf_windows.h"
#include "natives/jni_export.h"
#include "natives/window_frame.h"
#include "services/platform.h"

namespace {

constexpr DWORD kVisibleFrameBorderThickness = 37;  // DWMWA_VISIBLE_FRAME_BORDER_THICKNESS
constexpr int kPaddedBorder = 92;                   // SM_CXPADDEDBORDER
constexpr int kSizeFrameHeight = 33;                // SM_CYSIZEFRAME
constexpr UINT kSystemMenuDisabled = MF_DISABLED;   // 2: disabled, not greyed, as the system does
constexpr DWORD kGetAutoHideBarEx = 0x0B;           // ABM_GETAUTOHIDEBAREX (Windows 8 and later)
constexpr UINT kFrameChangedOnly = SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE;

// One subclassed window. The window procedure and the natives of other Java threads share it:
// the map hands out shared owners, so a record removed by uninstallImpl lives on until the
// window procedure that is using it returns.
struct WindowRecord {
    JavaVM* vm = nullptr;
    jobject callbacks = nullptr;  // global reference to the WndProc object that installed it
    HWND window = nullptr;
    WNDPROC previous = nullptr;
    std::atomic<int> sizeOverride{-1};
    std::mutex brushLock;
    HBRUSH background = nullptr;
    // Touched only by the window's own thread.
    bool inSizeMove = false;
    bool movedInSizeMove = false;

    void setBackground(HBRUSH brush) {
        std::lock_guard lock(brushLock);
        if (background) DeleteObject(background);
        background = brush;
    }
};
using Record = std::shared_ptr<WindowRecord>;

// The subclassed windows, sorted by handle.
class WindowMap {
public:
    Record find(HWND window) {
        std::lock_guard lock(lock_);
        const auto at = position(window);
        return at != entries_.end() && at->first == window ? at->second : nullptr;
    }
    // False when the window is in the map already.
    bool insert(HWND window, Record record) {
        std::lock_guard lock(lock_);
        const auto at = position(window);
        if (at != entries_.end() && at->first == window) return false;
        entries_.insert(at, {window, std::move(record)});
        return true;
    }
    Record remove(HWND window) {
        std::lock_guard lock(lock_);
        const auto at = position(window);
        if (at == entries_.end() || at->first != window) return nullptr;
        Record record = std::move(at->second);
        entries_.erase(at);
        return record;
    }

private:
    using Entry = std::pair<HWND, Record>;
    std::vector<Entry>::iterator position(HWND window) {
        return std::lower_bound(entries_.begin(), entries_.end(), window,
                                [](const Entry& entry, HWND key) { return entry.first < key; });
    }

    std::mutex lock_;
    std::vector<Entry> entries_;
};

WindowMap& windowMap() {
    static WindowMap map;
    return map;
}

// ---- what the procedure needs, found once ----

using DpiForWindowFunction = UINT(WINAPI*)(HWND);
using MetricsForDpiFunction = int(WINAPI*)(int, UINT);
using AppBarMessageFunction = UINT_PTR(WINAPI*)(DWORD, APPBARDATA*);

struct Functions {
    DpiForWindowFunction dpiForWindow = nullptr;
    MetricsForDpiFunction metricsForDpi = nullptr;
    AppBarMessageFunction appBarMessage = nullptr;
    jmethodID onNcHitTest = nullptr;
    jmethodID isFullscreen = nullptr;
    jmethodID fireStateChangedLaterOnce = nullptr;
};

// 0 not tried, 1 ready, -1 unusable. The first installImpl is not raced by another.
std::atomic<int> initialised{0};
Functions functions;

template <class Function>
Function exported(HMODULE module, const char* name) {
    return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

// The callbacks are methods of the WndProc object that calls installImpl (its natives are
// instance methods), looked up on its class.
bool initialise(JNIEnv* env, jobject wndProc) {
    if (initialised.load() != 0) return initialised.load() == 1;
    Functions found;
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    found.dpiForWindow = exported<DpiForWindowFunction>(user32, "GetDpiForWindow");
    found.metricsForDpi = exported<MetricsForDpiFunction>(user32, "GetSystemMetricsForDpi");
    services::preloadSystemLibraries();
    found.appBarMessage = exported<AppBarMessageFunction>(services::loadSystemLibrary(L"shell32.dll"), "SHAppBarMessage");
    if (const jni::LocalRef type{env, wndProc ? env->GetObjectClass(wndProc) : nullptr}) {
        found.onNcHitTest = env->GetMethodID(type.get(), "onNcHitTest", "(IIZ)I");
        if (found.onNcHitTest) found.isFullscreen = env->GetMethodID(type.get(), "isFullscreen", "()Z");
        if (found.isFullscreen) {
            found.fireStateChangedLaterOnce = env->GetMethodID(type.get(), "fireStateChangedLaterOnce", "()V");
        }
        env->ExceptionClear();
    }
    const bool ready = found.dpiForWindow && found.metricsForDpi && found.appBarMessage && found.fireStateChangedLaterOnce;
    if (ready) functions = found;
    initialised.store(ready ? 1 : -1);
    return ready;
}

// The environment of the window's thread; null where that thread is not attached.
JNIEnv* environmentOf(const WindowRecord& record) {
    void* env = nullptr;
    if (!record.vm || record.vm->GetEnv(&env, JNI_VERSION_1_2) != JNI_OK) return nullptr;
    return static_cast<JNIEnv*>(env);
}

void release(JNIEnv* env, WindowRecord& record) {
    if (env && record.callbacks) env->DeleteGlobalRef(record.callbacks);
    record.callbacks = nullptr;
    record.setBackground(nullptr);
}

// ---- the procedure ----

LRESULT passOn(const WindowRecord& record, UINT message, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcW(record.previous, record.window, message, wParam, lParam);
}

long resizeHandleHeight(HWND window) {
    const UINT dpi = functions.dpiForWindow(window);
    return functions.metricsForDpi(kPaddedBorder, dpi) + functions.metricsForDpi(kSizeFrameHeight, dpi);
}

bool isFullscreen(const WindowRecord& record) {
    JNIEnv* env = environmentOf(record);
    if (!env) return false;
    const jboolean fullScreen = env->CallBooleanMethod(record.callbacks, functions.isFullscreen);
    if (jni::exceptionPending(env)) {
        env->ExceptionClear();
        return false;
    }
    return fullScreen == JNI_TRUE;
}

unsigned autoHideEdgesOf(HWND window) {
    APPBARDATA state = {};
    state.cbSize = sizeof state;
    if (!(functions.appBarMessage(ABM_GETSTATE, &state) & ABS_AUTOHIDE)) return 0;
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) return 0;
    const std::pair<UINT, unsigned> edges[] = {{ABE_TOP, natives::kAutoHideTop},
                                               {ABE_BOTTOM, natives::kAutoHideBottom},
                                               {ABE_LEFT, natives::kAutoHideLeft},
                                               {ABE_RIGHT, natives::kAutoHideRight}};
    unsigned found = 0;
    for (const auto& [edge, bit] : edges) {
        APPBARDATA bar = {};
        bar.cbSize = sizeof bar;
        bar.uEdge = edge;
        bar.rc = monitor.rcMonitor;
        if (functions.appBarMessage(kGetAutoHideBarEx, &bar)) found |= bit;
    }
    return found;
}

LRESULT calculateClientArea(const WindowRecord& record, WPARAM wParam, LPARAM lParam) {
    if (!wParam) return passOn(record, WM_NCCALCSIZE, wParam, lParam);
    auto* parameters = reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam);
    const long originalTop = parameters->rgrc[0].top;
    const LRESULT result = passOn(record, WM_NCCALCSIZE, wParam, lParam);
    if (result != 0) return result;

    natives::FrameState state;
    const RECT& proposed = parameters->rgrc[0];
    state.proposed = {proposed.left, proposed.top, proposed.right, proposed.bottom};
    state.originalTop = originalTop;
    state.maximized = IsZoomed(record.window) != FALSE;
    state.fullScreen = state.maximized && isFullscreen(record);
    state.buildNumber = natives::flatlaf::windowsBuildNumber();
    if (state.maximized && !state.fullScreen) {
        state.resizeHandleHeight = resizeHandleHeight(record.window);
        state.autoHideEdges = autoHideEdgesOf(record.window);
    } else if (state.buildNumber >= natives::kFirstBuildWithVisibleTopBorder) {
        const auto getAttribute = natives::flatlaf::dwmGetWindowAttribute();
        DWORD thickness = 0;
        if (getAttribute &&
            SUCCEEDED(getAttribute(record.window, kVisibleFrameBorderThickness, &thickness, sizeof thickness))) {
            state.hasVisibleTopBorder = true;
            state.visibleTopBorder = static_cast<long>(thickness);
        }
    }
    const natives::FrameRect area = natives::customClientArea(state);
    parameters->rgrc[0] = {area.left, area.top, area.right, area.bottom};
    return 0;
}

LRESULT hitTest(const WindowRecord& record, WPARAM wParam, LPARAM lParam) {
    const LRESULT standard = passOn(record, WM_NCHITTEST, wParam, lParam);
    if (standard != HTCLIENT) return standard;
    RECT frame = {};
    GetWindowRect(record.window, &frame);
    const int x = GET_X_LPARAM(lParam) - frame.left;
    const int y = GET_Y_LPARAM(lParam) - frame.top;
    const bool thickFrame = (GetWindowLongW(record.window, GWL_STYLE) & WS_THICKFRAME) != 0;
    const bool onBorder = natives::onResizeBorder(y, resizeHandleHeight(record.window), thickFrame);
    const LRESULT fallback = onBorder ? HTTOP : HTCLIENT;
    JNIEnv* env = environmentOf(record);
    if (!env) return fallback;
    const jint answer = env->CallIntMethod(record.callbacks, functions.onNcHitTest, static_cast<jint>(x),
                                           static_cast<jint>(y), onBorder ? JNI_TRUE : JNI_FALSE);
    // A window procedure has no Java caller to hand an exception to.
    if (jni::exceptionPending(env)) {
        env->ExceptionClear();
        return fallback;
    }
    return answer;
}

// The title bar's buttons are painted by Java: mouse input over them goes to the client area.
void sendToClientArea(HWND window, UINT message, LPARAM screenPosition) {
    RECT frame = {};
    GetWindowRect(window, &frame);
    const int x = GET_X_LPARAM(screenPosition) - frame.left;
    const int y = GET_Y_LPARAM(screenPosition) - frame.top;
    SendMessageW(window, message, 0, MAKELPARAM(x, y));
}

void openSystemMenu(HWND window, int x, int y) {
    const HMENU menu = GetSystemMenu(window, FALSE);
    if (!menu) return;
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    const natives::SystemMenuStates states = natives::systemMenuStates(
        IsZoomed(window) != FALSE, (style & WS_THICKFRAME) != 0, (style & WS_MINIMIZEBOX) != 0, (style & WS_MAXIMIZEBOX) != 0);
    const auto set = [menu](UINT item, bool enabled) {
        EnableMenuItem(menu, item, MF_BYCOMMAND | (enabled ? MF_ENABLED : kSystemMenuDisabled));
    };
    set(SC_RESTORE, states.restore);
    set(SC_MOVE, states.move);
    set(SC_SIZE, states.size);
    set(SC_MINIMIZE, states.minimize);
    set(SC_MAXIMIZE, states.maximize);
    set(SC_CLOSE, true);
    SetMenuDefaultItem(menu, SC_CLOSE, FALSE);
    const BOOL command = TrackPopupMenu(menu, TPM_RETURNCMD, x, y, 0, window, nullptr);
    if (command) PostMessageW(window, WM_SYSCOMMAND, static_cast<WPARAM>(command), 0);
}

void eraseBackground(WindowRecord& record, HDC context, LRESULT& answer) {
    answer = 0;
    if (record.movedInSizeMove) return;
    std::lock_guard lock(record.brushLock);
    if (!record.background) return;
    RECT client = {};
    GetClientRect(record.window, &client);
    FillRect(context, &client, record.background);
    answer = 1;
}

LRESULT destroyed(const Record& record, WPARAM wParam, LPARAM lParam) {
    SetWindowLongPtrW(record->window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(record->previous));
    release(environmentOf(*record), *record);
    windowMap().remove(record->window);
    return passOn(*record, WM_DESTROY, wParam, lParam);
}

LRESULT CALLBACK borderProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const Record record = windowMap().find(window);
    if (!record) return 0;
    WindowRecord& r = *record;
    switch (message) {
    case WM_DESTROY: return destroyed(record, wParam, lParam);
    case WM_MOVE:
    case WM_MOVING:
        if (r.inSizeMove) r.movedInSizeMove = true;
        break;
    case WM_SIZE: {
        const int override = r.sizeOverride.load();
        if (override >= 0) wParam = static_cast<WPARAM>(override);
        break;
    }
    case WM_ERASEBKGND: {
        LRESULT answer = 0;
        eraseBackground(r, reinterpret_cast<HDC>(wParam), answer);
        return answer;
    }
    case WM_NCCALCSIZE: return calculateClientArea(r, wParam, lParam);
    case WM_NCHITTEST: return hitTest(r, wParam, lParam);
    case WM_NCMOUSEMOVE:
        if (wParam == HTCAPTION || wParam == HTSYSMENU || wParam == HTMINBUTTON || wParam == HTMAXBUTTON ||
            wParam == HTCLOSE) {
            sendToClientArea(window, WM_MOUSEMOVE, lParam);
        }
        break;
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONUP:
        if (wParam == HTMINBUTTON || wParam == HTMAXBUTTON || wParam == HTCLOSE) {
            sendToClientArea(window, message == WM_NCLBUTTONDOWN ? WM_LBUTTONDOWN : WM_LBUTTONUP, lParam);
            return 0;
        }
        break;
    case WM_NCRBUTTONUP:
        if (wParam == HTCAPTION || wParam == HTSYSMENU) openSystemMenu(window, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        break;
    case WM_ENTERSIZEMOVE: r.inSizeMove = true; break;
    case WM_EXITSIZEMOVE:
        r.inSizeMove = false;
        r.movedInSizeMove = false;
        break;
    case WM_DPICHANGED: {
        const LRESULT result = passOn(r, message, wParam, lParam);
        if (IsZoomed(window)) {
            const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
            passOn(r, WM_SIZE, SIZE_MAXIMIZED,
                   MAKELPARAM(suggested->right - suggested->left, suggested->bottom - suggested->top));
        }
        return result;
    }
    case WM_DWMCOLORIZATIONCOLORCHANGED:
        if (JNIEnv* env = environmentOf(r)) {
            env->CallVoidMethod(r.callbacks, functions.fireStateChangedLaterOnce);
            env->ExceptionClear();
        }
        break;
    default: break;
    }
    return passOn(r, message, wParam, lParam);
}

// Recomputes the frame with WM_SIZE carrying the state's size type meanwhile.
void updateFrame(HWND window, int frameState) {
    const Record record = windowMap().find(window);
    if (record) record->sizeOverride.store(natives::sizeOverrideForState(frameState));
    SetWindowPos(window, nullptr, 0, 0, 0, 0, kFrameChangedOnly);
    if (record) record->sizeOverride.store(-1);
}

HWND windowOf(jlong handle) { return static_cast<HWND>(jni::fromJavaHandle(handle)); }

}  // namespace

#define WND_PROC_NATIVE(name) Java_com_corvane_shadow_com_formdev_flatlaf_ui_FlatWindowsNativeWindowBorder_00024WndProc_##name

extern "C" JNIEXPORT jlong JNICALL WND_PROC_NATIVE(installImpl)(JNIEnv* env, jobject wndProc, jobject javaWindow) {
    if (!initialise(env, wndProc)) return 0;
    const HWND window = windowOf(natives::flatlaf::windowHandleOf(env, javaWindow));
    if (!window || windowMap().find(window)) return 0;

    auto record = std::make_shared<WindowRecord>();
    record->window = window;
    record->previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC));
    if (env->GetJavaVM(&record->vm) != JNI_OK) return 0;
    record->callbacks = env->NewGlobalRef(wndProc);
    if (!record->callbacks || !record->previous) {
        release(env, *record);
        return 0;
    }
    if (!windowMap().insert(window, record)) {
        release(env, *record);
        return 0;
    }
    // The previous procedure is known before ours can be called.
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&borderProcedure));
    return jni::toJavaHandle(window);
}

extern "C" JNIEXPORT void JNICALL WND_PROC_NATIVE(uninstallImpl)(JNIEnv* env, jobject, jlong handle) {
    const HWND window = windowOf(handle);
    const Record record = windowMap().find(window);
    if (!record) return;
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(record->previous));
    windowMap().remove(window);
    updateFrame(window, 0);
    release(env, *record);
}

extern "C" JNIEXPORT void JNICALL WND_PROC_NATIVE(updateFrame)(JNIEnv*, jobject, jlong handle, jint state) {
    updateFrame(windowOf(handle), state);
}

extern "C" JNIEXPORT void JNICALL WND_PROC_NATIVE(setWindowBackground)(JNIEnv*, jobject, jlong handle, jint red,
                                                                       jint green, jint blue) {
    const Record record = windowMap().find(windowOf(handle));
    if (!record) return;
    record->setBackground(CreateSolidBrush(RGB(red & 0xFF, green & 0xFF, blue & 0xFF)));
}

extern "C" JNIEXPORT void JNICALL WND_PROC_NATIVE(showWindow)(JNIEnv*, jobject, jlong handle, jint command) {
    ShowWindow(windowOf(handle), command);
}
