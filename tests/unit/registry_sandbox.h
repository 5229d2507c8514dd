// A registry of a test's own: both hives of this process redirected to fresh keys below the real
// user hive, so a test sees only what it wrote and test programs running beside it never see its
// keys. Also small writers and readers for the tests that fill it.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>

#include <gtest/gtest.h>

namespace test_registry {

inline void setText(HKEY root, const std::string& key, const char* value, const std::string& data) {
    HKEY opened = nullptr;
    ASSERT_EQ(RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened, nullptr), 0);
    RegSetValueExA(opened, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>(data.size() + 1));
    RegCloseKey(opened);
}

inline std::string locatedKey(std::string javaExe) {
    std::replace(javaExe.begin(), javaExe.end(), '\\', '/');
    return "SOFTWARE\\halvern\\lumbra\\locatedjvms\\" + javaExe;
}

inline void createKey(HKEY root, const std::string& key) { setText(root, key, "unused", ""); }

inline bool keyExists(HKEY root, const std::string& key) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    RegCloseKey(opened);
    return true;
}

// Redirects both hives of this process to keys below the real user hive, removed at the end.
class RegistrySandbox {
public:
    RegistrySandbox() {
        static LONG counter = 0;
        base_ = L"SOFTWARE\\halvern\\tests\\registry_sources_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                std::to_wstring(InterlockedIncrement(&counter));
        machine_ = create(L"\\machine");
        user_ = create(L"\\user");
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine_);
        RegOverridePredefKey(HKEY_CURRENT_USER, user_);
    }
    ~RegistrySandbox() {
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        RegCloseKey(machine_);
        RegCloseKey(user_);
        RegDeleteTreeW(HKEY_CURRENT_USER, base_.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, base_.c_str());
        // Stays while another test's sandbox is in it.
        RegDeleteKeyW(HKEY_CURRENT_USER, L"SOFTWARE\\halvern\\tests");
    }
    // From now on the machine hive refuses every write, as it does for a user without rights.
    void refuseMachineWrites() {
        const HKEY gone = create(L"\\gone");
        RegDeleteKeyW(HKEY_CURRENT_USER, (base_ + L"\\gone").c_str());
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, gone);
        RegCloseKey(gone);
    }

private:
    HKEY create(const std::wstring& suffix) {
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, (base_ + suffix).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr);
        return key;
    }

    std::wstring base_;
    HKEY machine_ = nullptr;
    HKEY user_ = nullptr;
};

}  // namespace test_registry
