// The second process of the dialog and shortcut tests: it reads shortcut files back through
// the shell's own interfaces, and it finds the dialog that a test's native shows and works it
// the way a user would, writing what it saw into a report file (UTF-8, one line per fact).
//
//   dialog_peer link <file.lnk> <report>
//   dialog_peer dialog <process id> <report> <action>...
//
// Actions, in order: dump (every control of the dialog), wait=<ms>, click=<button text>,
// tick=<check box text>, untick=<check box text>,
// press=<control id>, type=<control id>=<text> (an edit, or a combo box's edit),
// close (the window's close command), shot=<name> (build/<arch>/artifacts/<name>.bmp). The
// dialog is the first visible top-level "#32770" window of the process; when anything goes
// wrong the peer closes it, so that the test's native returns instead of waiting for a user.
#include <windows.h>

#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bitmap_file.h"

namespace {

std::string utf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

std::wstring hex(unsigned long value) {
    wchar_t text[16];
    swprintf(text, 16, L"0x%lx", value);
    return text;
}

class Report {
public:
    explicit Report(const wchar_t* path) : file_(_wfopen(path, L"wb")) {}
    ~Report() {
        if (file_) fclose(file_);
    }
    void line(const std::wstring& text) {
        if (!file_) return;
        const std::string bytes = utf8(text) + "\n";
        fwrite(bytes.data(), 1, bytes.size(), file_);
        fflush(file_);
    }

private:
    FILE* file_;
};

// ---- Shortcuts ---------------------------------------------------------------------------------

// The link file's header as stored: its data flags and show command (the shell link binary
// format: LinkFlags at offset 20, ShowCommand at offset 60).
void readLinkHeader(const wchar_t* linkFile, Report& report) {
    FILE* file = _wfopen(linkFile, L"rb");
    if (!file) return;
    unsigned char header[76] = {};
    if (fread(header, 1, sizeof header, file) == sizeof header) {
        auto at = [&](int offset) {
            return static_cast<unsigned long>(header[offset] | header[offset + 1] << 8 | header[offset + 2] << 16 |
                                              static_cast<unsigned long>(header[offset + 3]) << 24);
        };
        report.line(L"stored-flags=" + hex(at(20)));
        report.line(L"stored-show=" + std::to_wstring(at(60)));
    }
    fclose(file);
}

int readLink(const wchar_t* linkFile, Report& report) {
    readLinkHeader(linkFile, report);
    CoInitialize(nullptr);
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        return 2;
    IPersistFile* file = nullptr;
    IShellLinkDataList* data = nullptr;
    int status = 3;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Load(linkFile, STGM_READ))) {
        wchar_t text[4096];
        int number = 0;
        text[0] = 0;
        link->GetPath(text, 4096, nullptr, SLGP_RAWPATH);
        report.line(std::wstring(L"path=") + text);
        text[0] = 0;
        link->GetArguments(text, 4096);
        report.line(std::wstring(L"arguments=") + text);
        text[0] = 0;
        link->GetWorkingDirectory(text, 4096);
        report.line(std::wstring(L"directory=") + text);
        text[0] = 0;
        link->GetDescription(text, 4096);
        report.line(std::wstring(L"description=") + text);
        text[0] = 0;
        link->GetIconLocation(text, 4096, &number);
        report.line(std::wstring(L"icon=") + text + L"," + std::to_wstring(number));
        link->GetShowCmd(&number);
        report.line(L"show=" + std::to_wstring(number));
        DWORD flags = 0;
        if (SUCCEEDED(link->QueryInterface(IID_IShellLinkDataList, reinterpret_cast<void**>(&data))) &&
            SUCCEEDED(data->GetFlags(&flags)))
            report.line(L"flags=" + hex(flags));
        status = 0;
    }
    if (data) data->Release();
    if (file) file->Release();
    link->Release();
    CoUninitialize();
    return status;
}

// ---- Dialogs -----------------------------------------------------------------------------------

struct Search {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK findDialog(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<Search*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (owner == search->processId && IsWindowVisible(window) && std::wstring(className) == L"#32770") {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND waitForDialog(DWORD processId, DWORD milliseconds) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    do {
        Search search{processId, nullptr};
        EnumWindows(findDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        Sleep(50);
    } while (GetTickCount64() < deadline);
    return nullptr;
}

std::wstring textOf(HWND window) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::wstring classOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

// A button's text as shown, without the mnemonic's ampersand.
std::wstring plain(std::wstring text) {
    for (size_t at; (at = text.find(L'&')) != std::wstring::npos;) text.erase(at, 1);
    return text;
}

BOOL CALLBACK collectControl(HWND window, LPARAM parameter) {
    reinterpret_cast<std::vector<HWND>*>(parameter)->push_back(window);
    return TRUE;
}

std::vector<HWND> controlsOf(HWND dialog) {
    std::vector<HWND> controls;
    EnumChildWindows(dialog, collectControl, reinterpret_cast<LPARAM>(&controls));
    return controls;
}

std::wstring rectText(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    return std::to_wstring(rect.left) + L"," + std::to_wstring(rect.top) + L"," + std::to_wstring(rect.right) + L"," +
           std::to_wstring(rect.bottom);
}

// control|class|id|text|checked|style|visible|icon
void dump(HWND dialog, Report& report) {
    report.line(L"window|" + textOf(dialog) + L"|" + rectText(dialog));
    const HWND owner = GetWindow(dialog, GW_OWNER);
    report.line(L"owner|" + hex(static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(owner))) + L"|next=" +
                (owner && GetWindow(dialog, GW_HWNDNEXT) == owner ? L"owner" : L"other"));
    // The process's top-level windows from the top of the z-order down.
    std::wstring order = L"zorder";
    DWORD processId = 0;
    GetWindowThreadProcessId(dialog, &processId);
    for (HWND window = GetTopWindow(nullptr); window; window = GetWindow(window, GW_HWNDNEXT)) {
        DWORD windowProcess = 0;
        GetWindowThreadProcessId(window, &windowProcess);
        if (windowProcess == processId && IsWindowVisible(window))
            order += window == dialog ? L"|dialog" : window == owner ? L"|owner" : L"|" + textOf(window);
    }
    report.line(order);
    report.line(std::wstring(L"active|") + (GetForegroundWindow() == dialog ? L"dialog" : L"other"));
    for (const HWND control : controlsOf(dialog)) {
        const std::wstring className = classOf(control);
        const LONG style = GetWindowLongW(control, GWL_STYLE);
        std::wstring checked = L"-";
        if (_wcsicmp(className.c_str(), L"Button") == 0)
            checked = std::to_wstring(SendMessageW(control, BM_GETCHECK, 0, 0));
        std::wstring icon = L"-";
        if (_wcsicmp(className.c_str(), L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON)
            icon = SendMessageW(control, STM_GETICON, 0, 0) ? L"icon" : L"none";
        std::wstring text = textOf(control);
        if (_wcsicmp(className.c_str(), L"ComboBox") == 0) {
            const LRESULT selected = SendMessageW(control, CB_GETCURSEL, 0, 0);
            if (selected >= 0) {
                std::wstring item(static_cast<size_t>(SendMessageW(control, CB_GETLBTEXTLEN, selected, 0)) + 1, L'\0');
                item.resize(static_cast<size_t>(SendMessageW(control, CB_GETLBTEXT, selected, reinterpret_cast<LPARAM>(item.data()))));
                text = L"selected:" + item;
            }
        }
        report.line(L"control|" + className + L"|" + std::to_wstring(GetDlgCtrlID(control)) + L"|" + text + L"|" + checked +
                    L"|" + hex(static_cast<unsigned long>(style)) + L"|" + (IsWindowVisible(control) ? L"visible" : L"hidden") +
                    L"|" + icon);
    }
}

HWND findButton(HWND dialog, const std::wstring& text) {
    for (const HWND control : controlsOf(dialog))
        if (_wcsicmp(classOf(control).c_str(), L"Button") == 0 && plain(textOf(control)) == text) return control;
    return nullptr;
}

HWND findControl(HWND dialog, int id) {
    for (const HWND control : controlsOf(dialog))
        if (GetDlgCtrlID(control) == id) return control;
    return nullptr;
}

// The dialog's window as the screen shows it, a 24-bit BMP under the build's artifacts.
bool screenshot(HWND window, const std::wstring& name) {
    // On top for the moment of the picture: under a parallel run another test's dialog may
    // cover it.
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    Sleep(300);
    const bool saved = test_support::saveWindowPicture(window, test_support::WindowPicture::FromScreen, name);
    SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return saved;
}

bool act(HWND dialog, const std::wstring& action, Report& report) {
    const size_t equals = action.find(L'=');
    const std::wstring verb = action.substr(0, equals);
    const std::wstring value = equals == std::wstring::npos ? L"" : action.substr(equals + 1);
    if (verb == L"dump") {
        dump(dialog, report);
    } else if (verb == L"wait") {
        Sleep(static_cast<DWORD>(_wtoi(value.c_str())));
    } else if (verb == L"click") {
        const HWND button = findButton(dialog, value);
        if (!button) return false;
        PostMessageW(button, BM_CLICK, 0, 0);
    } else if (verb == L"tick" || verb == L"untick") {
        // What a click on a check box leaves behind: the box in its new state and its parent told.
        const HWND box = findButton(dialog, value);
        if (!box) return false;
        SendMessageW(box, BM_SETCHECK, verb == L"tick" ? BST_CHECKED : BST_UNCHECKED, 0);
        PostMessageW(GetParent(box), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(box), BN_CLICKED), reinterpret_cast<LPARAM>(box));
    } else if (verb == L"press") {
        const int id = _wtoi(value.c_str());
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(findControl(dialog, id)));
    } else if (verb == L"type") {
        const size_t second = value.find(L'=');
        HWND control = findControl(dialog, _wtoi(value.substr(0, second).c_str()));
        if (control && _wcsicmp(classOf(control).c_str(), L"ComboBox") == 0) control = FindWindowExW(control, nullptr, L"Edit", nullptr);
        if (!control || second == std::wstring::npos) return false;
        SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(value.substr(second + 1).c_str()));
    } else if (verb == L"close") {
        PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    } else if (verb == L"shot") {
        return screenshot(dialog, value);
    } else {
        return false;
    }
    report.line(L"done|" + action);
    return true;
}

int driveDialog(DWORD processId, const std::vector<std::wstring>& actions, Report& report) {
    const HWND dialog = waitForDialog(processId, 20000);
    if (!dialog) {
        report.line(L"error|no dialog");
        return 2;
    }
    // The controls of a dialog appear while it starts; a moment lets it settle.
    Sleep(300);
    for (const std::wstring& action : actions) {
        if (!IsWindow(dialog)) {
            report.line(L"error|the dialog ended before " + action);
            return 3;
        }
        if (!act(dialog, action, report)) {
            report.line(L"error|" + action);
            PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            PostMessageW(dialog, WM_CLOSE, 0, 0);
            return 4;
        }
    }
    // The last action should have ended the dialog. One that is still open (or a message box
    // it raised) is reported and closed, so that the test's native returns.
    for (int round = 0; round < 100; ++round) {
        Search search{processId, nullptr};
        EnumWindows(findDialog, reinterpret_cast<LPARAM>(&search));
        if (!search.found) return 0;
        if (round == 40) {
            report.line(L"error|still open");
            dump(search.found, report);
        }
        if (round >= 40) {
            PostMessageW(search.found, WM_COMMAND, IDCANCEL, 0);
            PostMessageW(search.found, WM_CLOSE, 0, 0);
        }
        Sleep(100);
    }
    return 5;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) return 1;
    Report report(argv[3]);
    if (std::wstring(argv[1]) == L"link") return readLink(argv[2], report);
    if (std::wstring(argv[1]) == L"dialog")
        return driveDialog(static_cast<DWORD>(_wtoi(argv[2])), std::vector<std::wstring>(argv + 4, argv + argc), report);
    return 1;
}
