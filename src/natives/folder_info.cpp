// Natives of com/corvane/runtime/installer/platform/win32/FolderInfo: special folders, the
// Windows and system directories, a path from the registry, drive types, short and universal
// path names.
#include <windows.h>

#include <objbase.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "base/win/growing_buffer.h"
#include "base/win/registry_key.h"
#include "jni/jni_toolkit.h"
#include "natives/jni_export.h"
#include "services/platform.h"

namespace {

using jni::WideString;

template <class Function>
Function lookUp(HMODULE module, const char* name) {
    return module == nullptr ? nullptr : reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

HMODULE shellLibrary() {
    static const HMODULE shell = services::loadSystemLibrary(L"shell32.dll");
    return shell;
}

// Identifiers up to 1000: CSIDL values, the all-users variant where there is one.
int csidlOf(jint id, bool allUsers) {
    struct Row {
        int user;
        int common;
    };
    static constexpr Row kFolders[] = {
        {0x10, 0x19},  // 1 desktop
        {0x0B, 0x16},  // 2 start menu
        {0x02, 0x17},  // 3 programs
        {0x07, 0x18},  // 4 startup
        {0x09, 0x09},  // 5 send to
        {0x14, 0x14},  // 6 fonts
        {0x1A, 0x23},  // 7 application data
        {0x05, 0x2E},  // 8 documents
        {0x15, 0x2D},  // 9 templates
        {0x06, 0x1F},  // 10 favorites
        {0x1C, 0x1C},  // 11 local application data (no all-users variant)
    };
    if (id < 1 || id > 11) return 0x00;  // the desktop
    const Row& row = kFolders[id - 1];
    return allUsers ? row.common : row.user;
}

// Identifiers above 1000: known folders.
GUID knownFolderOf(jint id) {
    switch (id) {
    case 1001: return {0x374DE290, 0x123F, 0x4565, {0x91, 0x64, 0x39, 0xC4, 0x92, 0x5E, 0x46, 0x7B}};  // Downloads
    case 1002: return {0x5CD7AEE2, 0x2219, 0x4A67, {0xB8, 0x5D, 0x6C, 0x9C, 0xE1, 0x56, 0x60, 0xCB}};  // UserProgramFiles
    case 1003: return {0xBCBD3057, 0xCA5C, 0x4622, {0xB4, 0x2D, 0xBC, 0x56, 0xDB, 0x0A, 0xE5, 0x16}};  // UserProgramFilesCommon
    case 1004: return {0xA520A1A4, 0x1780, 0x4FF6, {0xBD, 0x18, 0x16, 0x73, 0x43, 0xC5, 0xAF, 0x16}};  // LocalAppDataLow
    default: return {0x5E6C858F, 0x0E22, 0x4760, {0x9A, 0xFE, 0xEA, 0x33, 0x17, 0xB6, 0x71, 0x73}};  // Profile
    }
}

jstring specialFolder(JNIEnv* env, jint id, bool allUsers) {
    using GetFolderPath = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR);
    static const auto getFolderPath = lookUp<GetFolderPath>(shellLibrary(), "SHGetFolderPathW");
    if (getFolderPath == nullptr) return nullptr;
    constexpr int kCreate = 0x8000;  // CSIDL_FLAG_CREATE
    wchar_t path[MAX_PATH] = {};
    if (getFolderPath(nullptr, csidlOf(id, allUsers) | kCreate, nullptr, 0, path) != S_OK) return nullptr;
    path[MAX_PATH - 1] = L'\0';
    return jni::newJavaString(env, path);
}

jstring knownFolder(JNIEnv* env, jint id) {
    using GetKnownFolderPath = HRESULT(WINAPI*)(const GUID&, DWORD, HANDLE, PWSTR*);
    // Looked up until found: a system without it may gain it no sooner, but the lookup is cheap.
    static GetKnownFolderPath getKnownFolderPath = nullptr;
    if (getKnownFolderPath == nullptr) getKnownFolderPath = lookUp<GetKnownFolderPath>(shellLibrary(), "SHGetKnownFolderPath");
    if (getKnownFolderPath == nullptr) return nullptr;
    PWSTR path = nullptr;
    const HRESULT result = getKnownFolderPath(knownFolderOf(id), 0, nullptr, &path);
    const jstring folder = SUCCEEDED(result) ? jni::newJavaString(env, path) : nullptr;
    CoTaskMemFree(path);
    return folder;
}

// A directory function filling a buffer (GetSystemDirectoryW and its kind).
template <class Function>
jstring directory(JNIEnv* env, Function function) {
    const std::wstring path = base::win::growingBuffer<wchar_t>([&](wchar_t* buffer, DWORD size) {
        return static_cast<DWORD>(function(buffer, size));
    });
    return path.empty() ? nullptr : jni::newJavaString(env, path);
}

}  // namespace

extern "C" {

JNIEXPORT jstring JNICALL Java_com_corvane_runtime_installer_platform_win32_FolderInfo_getSpecialFolder0(
    JNIEnv* env, jclass, jint id, jboolean allUsers) {
    return id > 1000 ? knownFolder(env, id) : specialFolder(env, id, allUsers != JNI_FALSE);
}

// A value under HKLM\Software\Microsoft\Windows\CurrentVersion (the process's own view).
JNIEXPORT jstring JNICALL Java_com_corvane_runtime_installer_platform_win32_FolderInfo_getPathFromRegistry0(
    JNIEnv* env, jclass, jstring name) {
    const WideString valueName(env, name);
    if (valueName.failed()) return nullptr;
    base::win::RegistryKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion", 0, KEY_QUERY_VALUE,
                      key.receive()) != ERROR_SUCCESS) {
        return nullptr;
    }
    try {
        DWORD size = 0;
        if (RegQueryValueExW(key.get(), valueName.get(), nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) {
            return nullptr;
        }
        // Room for a terminator the stored data may lack.
        std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
        DWORD got = size;
        if (RegQueryValueExW(key.get(), valueName.get(), nullptr, nullptr, reinterpret_cast<BYTE*>(text.data()), &got) !=
            ERROR_SUCCESS) {
            return nullptr;
        }
        text.back() = L'\0';
        return jni::newJavaString(env, text.data());
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

JNIEXPORT jstring JNICALL Java_com_corvane_runtime_installer_platform_win32_FolderInfo_getWindowsDirectory0(JNIEnv* env,
                                                                                                           jclass) {
    using Directory = UINT(WINAPI*)(LPWSTR, UINT);
    static const auto systemWindows = lookUp<Directory>(GetModuleHandleW(L"kernel32.dll"), "GetSystemWindowsDirectoryW");
    return directory(env, systemWindows != nullptr ? systemWindows : GetWindowsDirectoryW);
}

JNIEXPORT jstring JNICALL Java_com_corvane_runtime_installer_platform_win32_FolderInfo_getSystemDirectory0(JNIEnv* env,
                                                                                                          jclass) {
    return directory(env, GetSystemDirectoryW);
}

JNIEXPORT jint JNICALL Java_com_corvane_runtime_installer_platform_win32_FolderInfo_getDriveType0(JNIEnv* env, jclass,
                                                                                                  jstring root) {
    const WideString path(env, root);
    if (path.failed()) return DRIVE_UNKNOWN;
    return static_cast<jint>(GetDriveTypeW(path.get()));
}

// The path itself (the very string passed) when it has no short form.
JNIEXPORT jstring JNICALL Java_com_corvane_runtime_installer_platform_win32_FolderInfo_getShortPathName0(JNIEnv* env,
                                                                                                        jclass,
                                                                                                        jstring path) {
    const WideString longPath(env, path);
    if (longPath.get() == nullptr) return path;
    try {
        const std::wstring shortPath = base::win::growingBuffer<wchar_t>([&](wchar_t* buffer, DWORD size) {
            return GetShortPathNameW(longPath.get(), buffer, size);
        });
        if (shortPath.empty()) return path;
        const jstring result = jni::newJavaString(env, shortPath);
        return result != nullptr ? result : path;
    } catch (const std::bad_alloc&) {
        return path;
    }
}

// The UNC name of a path on a network drive; ";" and the error code otherwise; the path itself
// where mpr.dll is missing.
JNIEXPORT jstring JNICALL Java_com_corvane_runtime_installer_platform_win32_FolderInfo_getUniversalPathName0(
    JNIEnv* env, jclass, jstring path) {
    using GetUniversalName = DWORD(WINAPI*)(LPCWSTR, DWORD, LPVOID, LPDWORD);
    static const auto getUniversalName =
        lookUp<GetUniversalName>(services::loadSystemLibrary(L"mpr.dll"), "WNetGetUniversalNameW");
    if (getUniversalName == nullptr) return path;
    const WideString localPath(env, path);
    if (localPath.failed()) return nullptr;
    constexpr DWORD kUniversalNameInfoLevel = 1;
    try {
        std::vector<unsigned char> buffer(65534);
        DWORD size = static_cast<DWORD>(buffer.size());
        DWORD result = getUniversalName(localPath.get(), kUniversalNameInfoLevel, buffer.data(), &size);
        if (result == ERROR_MORE_DATA && size > buffer.size()) {
            buffer.resize(size);
            result = getUniversalName(localPath.get(), kUniversalNameInfoLevel, buffer.data(), &size);
        }
        if (result != NO_ERROR) return jni::newJavaString(env, L";" + std::to_wstring(result));
        // UNIVERSAL_NAME_INFOW: one pointer to the name, which lies in the same buffer.
        const wchar_t* name = nullptr;
        std::memcpy(&name, buffer.data(), sizeof name);
        return jni::newJavaString(env, name);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // extern "C"
