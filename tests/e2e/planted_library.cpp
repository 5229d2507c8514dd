// A library planted beside an installer under the name of a system library (version.dll,
// uxtheme.dll, ...): when anything loads it, it leaves "<its own path>.loaded" beside itself.
// It exports the few functions the launcher takes from such libraries; a call of one appends
// its name to "<its own path>.called". The version functions, which Wine's own user32 imports,
// fail as for a file without a version, so that such a caller goes on instead of crashing.
#include <windows.h>

#include <string>

namespace {

HINSTANCE self = nullptr;

void note(const wchar_t* suffix, const std::string& text, DWORD disposition) {
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size()) return;
    path.resize(length);
    const HANDLE file = CreateFileW((path + suffix).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, disposition, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

void called(const char* name) { note(L".called", std::string(name) + "\n", OPEN_ALWAYS); }

}  // namespace

extern "C" {

__declspec(dllexport) HRESULT WINAPI SetWindowTheme(HWND, LPCWSTR, LPCWSTR) {
    called("SetWindowTheme");
    return S_OK;
}

__declspec(dllexport) HRESULT WINAPI DwmSetWindowAttribute(HWND, DWORD, LPCVOID, DWORD) {
    called("DwmSetWindowAttribute");
    return S_OK;
}

__declspec(dllexport) void WINAPI InitCommonControls() { called("InitCommonControls"); }

__declspec(dllexport) DWORD WINAPI NetApiBufferFree(void*) {
    called("NetApiBufferFree");
    return 0;
}

__declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR, LPDWORD) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return 0;
}

__declspec(dllexport) BOOL WINAPI GetFileVersionInfoW(LPCWSTR, DWORD, DWORD, LPVOID) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return FALSE;
}

__declspec(dllexport) BOOL WINAPI VerQueryValueW(LPCVOID, LPCWSTR, LPVOID*, PUINT) { return FALSE; }

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    self = instance;
    note(L".loaded", "", CREATE_ALWAYS);
    return TRUE;
}
