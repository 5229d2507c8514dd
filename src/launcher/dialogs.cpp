#include "launcher/dialogs.h"

#include <commctrl.h>

#include <optional>

#include <commdlg.h>

#include "base/text.h"
#include "files/cleanup.h"
#include "jre/jvm_loading.h"
#include "jre/registry_sources.h"
#include "launcher/dialog_rules.h"
#include "services/error_path.h"
#include "services/log.h"
#include "services/cancel.h"
#include "services/modes.h"
#include "services/platform.h"
#include "launcher/run_marks.h"
#include "launcher/work_flow.h"
#include "services/tables.h"
#include "resources/resource_ids.h"

namespace launcher {

using services::failWithMessage;
using services::isCancelled;
using services::loadSystemLibrary;
using services::logMessage;
using services::Modes;
using services::modes;
using services::setCancelled;
using services::setMessageOwner;

namespace {

constexpr COLORREF kDarkText = 0xFFFFFF;
constexpr COLORREF kDarkBackground = 0x383838;
constexpr UINT kWorkFinished = WM_APP + 1;
constexpr int kDarkModeConfig = 10013;
constexpr DWORD kImmersiveDarkMode = 20;

using SetWindowThemeFunction = HRESULT(WINAPI*)(HWND, LPCWSTR, LPCWSTR);
using DwmSetWindowAttributeFunction = HRESULT(WINAPI*)(HWND, DWORD, LPCVOID, DWORD);

struct DarkMode {
    bool active = false;
    SetWindowThemeFunction setWindowTheme = nullptr;
    DwmSetWindowAttributeFunction setWindowAttribute = nullptr;
};

DarkMode darkMode;
HANDLE workThread = nullptr;
HWND startupDialog = nullptr;

template <class Function>
Function functionOf(HMODULE module, const char* name) {
    return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

// By its full path in the system directory: a module of the same name that is already loaded
// may have come from the installer's folder (some system libraries import others by name
// before the entry point restricts the search), and a bare name would return that one.
HMODULE systemModule(const wchar_t* name) {
    if (HMODULE module = services::loadSystemLibrary(name)) return module;
    return LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

std::optional<uint32_t> appsUseLightTheme() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    DWORD value = 0;
    DWORD size = sizeof value;
    DWORD type = 0;
    const LSTATUS status =
        RegQueryValueExW(key, L"AppsUseLightTheme", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_DWORD || size != 4) return std::nullopt;
    return value;
}

void detectDarkMode() {
    const int mode = services::configInteger(kDarkModeConfig);
    bool wish = false;
    // Every way out says what was decided.
    struct Report {
        const bool& wish;
        ~Report() { services::logMessage(L"Dark mode: %d %d", darkMode.active, wish); }
    } report{wish};
    if (mode != 0 && mode != 2) return;
    using VersionFunction = void(WINAPI*)(DWORD*, DWORD*, DWORD*);
    const auto versionNumbers = functionOf<VersionFunction>(GetModuleHandleW(L"ntdll.dll"), "RtlGetNtVersionNumbers");
    if (!versionNumbers) return;
    DWORD major = 0, minor = 0, build = 0;
    versionNumbers(&major, &minor, &build);
    if (!isWindows11(major, minor, build)) return;
    services::logMessage(L"Checking dark mode on Windows 11");
    // "Follow the system" reads the user's setting; always-dark never asks.
    wish = wantsDarkMode(mode, mode == 0 ? appsUseLightTheme() : std::nullopt);
    if (!wish) return;
    darkMode.setWindowTheme = functionOf<SetWindowThemeFunction>(systemModule(L"uxtheme.dll"), "SetWindowTheme");
    darkMode.setWindowAttribute =
        functionOf<DwmSetWindowAttributeFunction>(systemModule(L"dwmapi.dll"), "DwmSetWindowAttribute");
    darkMode.active = darkMode.setWindowTheme && darkMode.setWindowAttribute;
}

void centre(HWND window) {
    HWND parent = GetParent(window);
    if (!parent) parent = GetDesktopWindow();
    RECT outer = {};
    RECT own = {};
    GetWindowRect(parent, &outer);
    GetWindowRect(window, &own);
    const int x = outer.left + ((outer.right - outer.left) - (own.right - own.left)) / 2;
    const int y = outer.top + ((outer.bottom - outer.top) - (own.bottom - own.top)) / 2;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void setText(HWND dialog, int control, int message) {
    SetDlgItemTextW(dialog, control, services::messageText(message).c_str());
}

DWORD WINAPI startupWork(void* parameter) {
    const HWND dialog = static_cast<HWND>(parameter);
    // In no-dialog mode the startup dialog only stands behind the runtime selection.
    const int result = services::modes().noDialog ? static_cast<int>(offerJreSelection(dialog)) : runInstallerWork(dialog);
    if (!services::isCancelled()) PostMessageW(dialog, kWorkFinished, static_cast<WPARAM>(result), 0);
    return static_cast<DWORD>(result);
}

INT_PTR CALLBACK startupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    static HBRUSH brush = nullptr;
    switch (message) {
    case WM_INITDIALOG:
        startupDialog = dialog;
        prepareDialogWindow(dialog);
        services::setMessageOwner(dialog);
        SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
        setText(dialog, IDC_MESSAGE, 20007);
        SetWindowTextW(dialog, services::messageText(20013).c_str());
        setText(dialog, IDCANCEL, 20012);
        workThread = CreateThread(nullptr, 0, startupWork, dialog, 0, nullptr);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            services::logMessage(L"Canceled installer");
            withdrawInstallStarted();
            services::setCancelled();
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    case kWorkFinished:
        EndDialog(dialog, 0);
        return TRUE;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
        return darkControlColors(reinterpret_cast<HDC>(wParam), brush);
    case WM_DESTROY:
        releaseDarkBrush(brush);
        services::setMessageOwner(nullptr);
        return FALSE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK jreSelectionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    static HBRUSH brush = nullptr;
    switch (message) {
    case WM_INITDIALOG: {
        prepareDialogWindow(dialog);
        SetWindowTextW(dialog, services::messageText(20013).c_str());
        setText(dialog, IDCANCEL, 20012);
        setText(dialog, IDC_LOCATE, 20011);
        const std::wstring text =
            jreSelectionText(services::messageText(20006), services::messageText(20019), services::messageText(20020),
                             services::configString(126).substr(0, 1999), services::configString(127).substr(0, 1999));
        SetDlgItemTextW(dialog, IDC_MESSAGE, text.c_str());
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_LOCATE:
            if (chooseJavaExecutable(dialog)) EndDialog(dialog, IDC_LOCATE);
            return TRUE;
        case IDCANCEL:
            withdrawInstallStarted();
            files::cleanUpAndExit(1);
        default:
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
        return darkControlColors(reinterpret_cast<HDC>(wParam), brush);
    case WM_DESTROY:
        releaseDarkBrush(brush);
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace

bool chooseJavaExecutable(HWND owner) {
    using OpenFileNameFunction = BOOL(WINAPI*)(OPENFILENAMEA*);
    static const OpenFileNameFunction openFileName =
        functionOf<OpenFileNameFunction>(services::loadSystemLibrary(L"Comdlg32.dll"), "GetOpenFileNameA");
    if (!openFileName) return false;
    std::string title = base::wideToNarrow(services::messageText(20004));
    if (title.size() > 5999) title.resize(5999);
    std::string file(6000, '\0');
    static const char filter[] = "Java EXE\0java.exe\0";
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrTitle = title.c_str();
    dialog.Flags = OFN_FILEMUSTEXIST;
    if (!openFileName(&dialog)) return false;
    file.resize(file.find('\0'));
    if (!jre::LoadDLL(true, file, true)) return false;
    jre::registerLocatedJvm(file);
    return true;
}

DWORD WINAPI offerJreSelection(void* parameter) {
    const HWND owner = static_cast<HWND>(parameter);
    const services::Modes& state = services::modes();
    if (!state.manualJreSelection && services::configInteger(10014) == 0) services::failWithMessage(20021);
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_JRE_SELECTION), owner, jreSelectionDialogProc, 0);
    if (owner && state.noDialog && !state.msi) EndDialog(owner, 0);
    return 0;
}

void registerDialogClass() {
    services::initCommonControls();
    detectDarkMode();
    WNDCLASSW windowClass = {};
    windowClass.style = CS_DBLCLKS | CS_SAVEBITS | CS_BYTEALIGNWINDOW;
    windowClass.lpfnWndProc = DefDlgProcW;
    windowClass.cbWndExtra = DLGWINDOWEXTRA;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hIcon = LoadIconW(windowClass.hInstance, MAKEINTRESOURCEW(IDI_LAUNCHER));
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = L"MyDialogClass";
    RegisterClassW(&windowClass);
}

bool darkModeActive() { return darkMode.active; }

void prepareDialogWindow(HWND window) {
    if (darkMode.active) {
        const BOOL dark = TRUE;
        darkMode.setWindowAttribute(window, kImmersiveDarkMode, &dark, sizeof dark);
        for (int control : {IDCANCEL, IDC_LOCATE}) {
            if (HWND button = GetDlgItem(window, control)) darkMode.setWindowTheme(button, L"DarkMode_Explorer", nullptr);
        }
    }
    centre(window);
}

INT_PTR darkControlColors(HDC context, HBRUSH& brush) {
    if (!darkMode.active) return 0;
    SetTextColor(context, kDarkText);
    SetBkColor(context, kDarkBackground);
    if (!brush) brush = CreateSolidBrush(kDarkBackground);
    return reinterpret_cast<INT_PTR>(brush);
}

void releaseDarkBrush(HBRUSH& brush) {
    if (brush) DeleteObject(brush);
    brush = nullptr;
}

INT_PTR runStartupDialog() {
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_STARTUP), nullptr, startupDialogProc, 0);
}

HANDLE startupWorkThread() { return workThread; }

}  // namespace launcher
