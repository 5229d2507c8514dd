#include "awt_window.h"

#include <windowsx.h>

#include <cstdint>
#include <cstdio>

#include <gtest/gtest.h>

#include "bitmap_file.h"
#include "harness/java_machine.h"
#include "harness/java_values.h"

namespace natives_test {

jobject javaWindowOf(HWND window) {
    JNIEnv* e = env();
    const jclass windowClass = e->FindClass("java/awt/Window");
    const jobject javaWindow = windowClass ? e->AllocObject(windowClass) : nullptr;
    if (!javaWindow || !window) return javaWindow;
    const jclass peerClass = e->FindClass("sun/awt/windows/WWindowPeer");
    const jmethodID make = e->GetMethodID(peerClass, "<init>", "(J)V");
    const jobject peer = e->NewObject(peerClass, make, static_cast<jlong>(reinterpret_cast<std::intptr_t>(window)));
    const jclass componentClass = e->FindClass("java/awt/Component");
    e->SetObjectField(javaWindow, e->GetFieldID(componentClass, "peer", "Ljava/awt/peer/ComponentPeer;"), peer);
    return javaWindow;
}

void setSystemProperty(const char* name, const char* value) {
    JNIEnv* e = env();
    const jclass system = e->FindClass("java/lang/System");
    const jmethodID set =
        e->GetStaticMethodID(system, "setProperty", "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;");
    e->CallStaticObjectMethod(system, set, e->NewStringUTF(name), e->NewStringUTF(value));
}

std::optional<std::string> systemProperty(const char* name) {
    JNIEnv* e = env();
    const jclass system = e->FindClass("java/lang/System");
    const jmethodID get = e->GetStaticMethodID(system, "getProperty", "(Ljava/lang/String;)Ljava/lang/String;");
    const std::optional<std::wstring> text = textOf(e->CallStaticObjectMethod(system, get, e->NewStringUTF(name)));
    if (!text) return std::nullopt;
    return std::string(text->begin(), text->end());
}

namespace {

// The title bar the look and feel paints: a dark strip with the title and a red close box.
void paintTitleBar(HWND window, HDC context) {
    RECT client = {};
    GetClientRect(window, &client);
    RECT title = {client.left, client.top, client.right, client.top + 30};
    const HBRUSH strip = CreateSolidBrush(RGB(40, 44, 52));
    FillRect(context, &title, strip);
    DeleteObject(strip);
    RECT close = {client.right - 46, client.top, client.right, client.top + 30};
    const HBRUSH red = CreateSolidBrush(RGB(196, 43, 28));
    FillRect(context, &close, red);
    DeleteObject(red);
    SetBkMode(context, TRANSPARENT);
    SetTextColor(context, RGB(255, 255, 255));
    wchar_t text[128] = L"";
    GetWindowTextW(window, text, 128);
    RECT textArea = {client.left + 10, client.top, client.right - 56, client.top + 30};
    DrawTextW(context, text, -1, &textArea, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
    DrawTextW(context, L"X", -1, &close, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
}

}  // namespace

TestWindow::TestWindow(DWORD style, const wchar_t* title) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = L"WindowNativesTestWindow";
    RegisterClassW(&windowClass);
    window_ = CreateWindowExW(0, windowClass.lpszClassName, title, style, 120, 80, 480, 320, nullptr, nullptr,
                              windowClass.hInstance, this);
    EXPECT_NE(window_, nullptr);
}

TestWindow::~TestWindow() {
    if (window_) DestroyWindow(window_);
    pump();
}

void TestWindow::pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

LRESULT CALLBACK TestWindow::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    }
    auto* self = reinterpret_cast<TestWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
        if (self) self->mouse_.push_back({message, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        const HDC context = BeginPaint(window, &paint);
        paintTitleBar(window, context);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_PRINTCLIENT:
        paintTitleBar(window, reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_SIZE:
        if (self) {
            self->sizeTypes_.push_back(wParam);
            self->lastSize_ = {LOWORD(lParam), HIWORD(lParam)};
        }
        break;
    case WM_NCACTIVATE:
        if (self) ++self->activations_;
        break;
    case WM_NCDESTROY:
        if (self) self->window_ = nullptr;
        break;
    default: break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool saveScreenshot(HWND window, const std::wstring& name) {
    return test_support::saveWindowPicture(window, test_support::WindowPicture::AsDrawn, name);
}

}  // namespace natives_test
