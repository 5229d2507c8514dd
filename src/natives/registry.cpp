// Natives of com/corvane/runtime/installer/platform/win32/Registry: thin wrappers over the
// wide registry functions. The view flags (KEY_WOW64_32KEY, KEY_WOW64_64KEY) arrive as the last
// argument and join the access mask of every open and create, and the extended deletion.
#include <windows.h>

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "base/win/handles.h"
#include "base/win/registry_key.h"
#include "jni/jni_toolkit.h"
#include "natives/jni_export.h"
#include "natives/registry_values.h"
#include "natives/shell_functions.h"
#include "services/platform.h"

namespace {

using base::win::RegistryKey;
using jni::WideString;

// Root codes of the Java side; anything else has no key.
HKEY rootKey(jint code) {
    switch (code) {
    case 1: return HKEY_CLASSES_ROOT;
    case 2: return HKEY_CURRENT_USER;
    case 3: return HKEY_LOCAL_MACHINE;
    case 4: return HKEY_USERS;
    case 5: return HKEY_CURRENT_CONFIG;
    default: return nullptr;
    }
}

REGSAM viewOf(jint view) { return static_cast<REGSAM>(view); }

RegistryKey openKey(HKEY root, const wchar_t* path, REGSAM access) {
    RegistryKey key;
    if (root == nullptr || RegOpenKeyExW(root, path, 0, access, key.receive()) != ERROR_SUCCESS) key.reset();
    return key;
}

RegistryKey createKey(HKEY root, const wchar_t* path, REGSAM view) {
    RegistryKey key;
    if (root == nullptr || RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, key.receive(),
                                           nullptr) != ERROR_SUCCESS) {
        key.reset();
    }
    return key;
}

// The value's type and data, whatever its size; false when it cannot be read.
bool readValue(HKEY key, const wchar_t* name, DWORD& type, std::vector<unsigned char>& data) {
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    // The value may grow between the two calls; each round asks for what it needs now.
    for (int round = 0; round < 8; ++round) {
        data.resize(size);
        DWORD got = size;
        const LONG result = RegQueryValueExW(key, name, nullptr, &type, data.data(), &got);
        if (result == ERROR_SUCCESS) {
            data.resize(got);
            return true;
        }
        if (result != ERROR_MORE_DATA) return false;
        size = got > size ? got : size * 2;
    }
    return false;
}

// The names of a key's subkeys or values in enumeration order; false on a failure other than
// the end of the list. The buffer holds the longest name the registry allows (16383).
bool enumerateNames(HKEY key, bool values, std::vector<std::wstring>& names) {
    std::wstring name(16384, L'\0');
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        const LONG result = values ? RegEnumValueW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr)
                                   : RegEnumKeyExW(key, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) return true;
        if (result != ERROR_SUCCESS) return false;
        names.emplace_back(name.data(), length);
    }
}

using DeleteKeyEx = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);

// The extended deletion honours the view flags; systems without it have one view only.
void deleteOneKey(HKEY parent, const wchar_t* path, REGSAM view) {
    static const auto deleteKeyEx = reinterpret_cast<DeleteKeyEx>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"advapi32.dll"), "RegDeleteKeyExW")));
    if (view != 0 && deleteKeyEx != nullptr) {
        deleteKeyEx(parent, path, view, 0);
    } else {
        RegDeleteKeyW(parent, path);
    }
}

// Subkeys first, the last enumerated first; failures of single deletions are left behind.
void deleteTree(HKEY parent, const wchar_t* path, REGSAM view) {
    std::vector<std::wstring> subkeys;
    {
        const RegistryKey key = openKey(parent, path, KEY_READ | view);
        if (!key) return;
        enumerateNames(key.get(), false, subkeys);
        for (auto name = subkeys.rbegin(); name != subkeys.rend(); ++name) deleteTree(key.get(), name->c_str(), view);
    }
    deleteOneKey(parent, path, view);
}

bool keyIsEmpty(HKEY key) {
    DWORD subkeys = 0;
    DWORD values = 0;
    return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                            nullptr, nullptr) == ERROR_SUCCESS &&
           subkeys == 0 && values == 0;
}

// Enabled when the adjustment leaves no error (ERROR_NOT_ALL_ASSIGNED when the token lacks it).
bool enablePrivilege(const wchar_t* name) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
    const base::win::KernelHandle owner(token);
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid)) return false;
    SetLastError(ERROR_SUCCESS);
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    return GetLastError() == ERROR_SUCCESS;
}

jobjectArray namesOf(JNIEnv* env, jint root, jstring key, jint view, bool values) {
    const WideString path(env, key);
    if (path.failed()) return nullptr;
    const RegistryKey opened = openKey(rootKey(root), path.get(), KEY_READ | viewOf(view));
    if (!opened) return nullptr;
    try {
        std::vector<std::wstring> names;
        if (!enumerateNames(opened.get(), values, names)) return nullptr;
        return jni::newJavaStringArray(env, names);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

constexpr LONG kAssociationsChanged = 0x08000000;  // SHCNE_ASSOCCHANGED, with no items

}  // namespace

extern "C" {

JNIEXPORT jboolean JNICALL Java_com_corvane_runtime_installer_platform_win32_Registry_keyExists0(JNIEnv* env, jclass,
                                                                                                 jint root, jstring key,
                                                                                                 jint view) {
    const WideString path(env, key);
    if (path.failed()) return JNI_FALSE;
    return openKey(rootKey(root), path.get(), KEY_READ | viewOf(view)) ? JNI_TRUE : JNI_FALSE;
}

JNIEXPORT jboolean JNICALL Java_com_corvane_runtime_installer_platform_win32_Registry_createKey0(JNIEnv* env, jclass,
                                                                                                 jint root, jstring key,
                                                                                                 jint view) {
    const WideString path(env, key);
    if (path.failed()) return JNI_FALSE;
    return createKey(rootKey(root), path.get(), viewOf(view)) ? JNI_TRUE : JNI_FALSE;
}

JNIEXPORT jobject JNICALL Java_com_corvane_runtime_installer_platform_win32_Registry_getValue0(JNIEnv* env, jclass,
                                                                                               jint root, jstring key,
                                                                                               jstring name, jint view) {
    const WideString path(env, key);
    const WideString valueName(env, name);
    if (path.failed() || valueName.failed()) return nullptr;
    const RegistryKey opened = openKey(rootKey(root), path.get(), KEY_READ | viewOf(view));
    if (!opened) return nullptr;
    try {
        DWORD type = REG_NONE;
        std::vector<unsigned char> data;
        if (!readValue(opened.get(), valueName.get(), type, data)) return nullptr;
        return natives::registry::toJavaValue(env, type, data);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

JNIEXPORT jboolean JNICALL Java_com_corvane_runtime_installer_platform_win32_Registry_setValue0(
    JNIEnv* env, jclass, jint root, jstring key, jstring name, jobject value, jint typeCode, jint view) {
    const WideString path(env, key);
    const WideString valueName(env, name);
    if (path.failed() || valueName.failed()) return JNI_FALSE;
    const RegistryKey opened = createKey(rootKey(root), path.get(), viewOf(view));
    if (!opened) return JNI_FALSE;
    try {
        const natives::registry::RegistryData data = natives::registry::fromJavaValue(env, value, typeCode);
        if (!data.converted) return JNI_FALSE;
        const LONG result = RegSetValueExW(opened.get(), valueName.get(), 0, data.type, data.bytes.data(),
                                           static_cast<DWORD>(data.bytes.size()));
        if (result != ERROR_SUCCESS) {
            std::printf("no success %ld\n", result);
            std::fflush(stdout);
            return JNI_FALSE;
        }
        return JNI_TRUE;
    } catch (const std::bad_alloc&) {
        return JNI_FALSE;
    }
}

JNIEXPORT void JNICALL Java_com_corvane_runtime_installer_platform_win32_Registry_deleteValue0(JNIEnv* env, jclass,
                                                                                               jint root, jstring key,
                                                                                               jstring name, jint view) {
    const WideString path(env, key);
    const WideString valueName(env, name);
    if (path.failed() || valueName.failed()) return;
    const RegistryKey opened = openKey(rootKey(root), path.get(), KEY_READ | KEY_SET_VALUE | viewOf(view));
    if (opened) RegDeleteValueW(opened.get(), valueName.get());
}

JNIEXPORT void JNICALL Java_com_corvane_runtime_installer_platform_win32_Registry_deleteKey0(JNIEnv* env, jclass,
                                                                                             jint root, jstring key,
                                                                                             jboolean onlyIfEmpty,
                                                                                             jint view) {
    const WideString path(env, key);
    const HKEY base = rootKey(root);
    if (path.failed() || base == nullptr) return;
    if (onlyIfEmpty) {
        const RegistryKey opened = openKey(base, path.get(), KEY_READ | KEY_SET_VALUE | viewOf(view));
        if (opened && !keyIsEmpty(opened.get())) return;
    }
    try {
        deleteTree(base, path.get(), viewOf(view));
    } catch (const std::bad_alloc&) {
    }
}

JNIEXPORT jboolean JNICALL Java_com_corvane_runtime_installer_platform_win32_Registry_saveKey0(JNIEnv* env, jclass,
                                                                                               jint root, jstring key,
                                                                                               jstring file, jint view) {
    const WideString path(env, key);
    const WideString fileName(env, file);
    if (path.failed() || fileName.failed()) return JNI_FALSE;
    enablePrivilege(L"SeBackupPrivilege");
    const RegistryKey opened = openKey(rootKey(root), path.get(), KEY_READ | KEY_WRITE | viewOf(view));
    if (!opened) return JNI_FALSE;
    return RegSaveKeyW(opened.get(), fileName.get(), nullptr) == ERROR_SUCCESS ? JNI_TRUE : JNI_FALSE;
}

JNIEXPORT jboolean JNICALL Java_com_corvane_runtime_installer_platform_win32_Registry_restoreKey0(
    JNIEnv* env, jclass, jint root, jstring key, jstring file, jint view) {
    const WideString path(env, key);
    const WideString fileName(env, file);
    if (path.failed() || fileName.failed()) return JNI_FALSE;
    enablePrivilege(L"SeBackupPrivilege");
    enablePrivilege(L"SeRestorePrivilege");
    const RegistryKey opened = createKey(rootKey(root), path.get(), viewOf(view));
    if (!opened) return JNI_FALSE;
    return RegRestoreKeyW(opened.get(), fileName.get(), 0) == ERROR_SUCCESS ? JNI_TRUE : JNI_FALSE;
}

JNIEXPORT jobjectArray JNICALL Java_com_corvane_runtime_installer_platform_win32_Registry_enumSubKeys0(
    JNIEnv* env, jclass, jint root, jstring key, jint view) {
    return namesOf(env, root, key, view, false);
}

JNIEXPORT jobjectArray JNICALL Java_com_corvane_runtime_installer_platform_win32_Registry_enumValues0(
    JNIEnv* env, jclass, jint root, jstring key, jint view) {
    return namesOf(env, root, key, view, true);
}

JNIEXPORT void JNICALL Java_com_corvane_runtime_installer_platform_win32_Registry_changeNotifyAssociations0(JNIEnv*,
                                                                                                           jclass) {
    if (const auto notify = natives::shellFunctions().changeNotify) notify(kAssociationsChanged, 0, nullptr, nullptr);
}

}  // extern "C"
