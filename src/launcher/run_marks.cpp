#include "launcher/run_marks.h"

#include <atomic>
#include <string>

#include "services/modes.h"

namespace launcher {

namespace {

constexpr wchar_t kMarksKey[] = L"SOFTWARE\\halvern\\lumbra\\";
constexpr wchar_t kMarkName[] = L"InstallStarted";

std::atomic<bool> marksSet{false};

std::wstring perProcessName() { return std::wstring(kMarkName) + L"_" + std::to_wstring(GetCurrentProcessId()); }

void writeMark(HKEY key, const std::wstring& name, bool set) {
    if (set) {
        const DWORD one = 1;
        RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
    } else {
        RegDeleteValueW(key, name.c_str());
    }
}

}  // namespace

void setInstallStarted(bool set, bool perProcess, bool plain) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kMarksKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return;
    }
    if (perProcess) writeMark(key, perProcessName(), set);
    if (plain) writeMark(key, kMarkName, set);
    RegCloseKey(key);
    if (set) marksSet = true;
}

void withdrawInstallStarted() {
    if (!marksSet.exchange(false)) return;
    setInstallStarted(false, true, !services::modes().languageRestart);
}

void javaSideTookOver() {
    marksSet = false;
    setInstallStarted(false, true, false);
}

DWORD readInstallStarted(bool perProcess) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kMarksKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    DWORD type = 0;
    const std::wstring name = perProcess ? perProcessName() : std::wstring(kMarkName);
    const LSTATUS status =
        RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof value ? value : 0;
}

}  // namespace launcher
