// Natives of com/corvane/runtime/installer/platform/win32/Misc: system facts, the environment,
// the running processes, delayed moves and reboot. The window natives are in misc_windows.cpp.
#include <windows.h>
#include <tlhelp32.h>

#include <atomic>
#include <string>
#include <vector>

#include "base/format.h"
#include "base/win/handles.h"
#include "jni/jni_toolkit.h"
#include "natives/diagnostics.h"
#include "natives/jni_export.h"
#include "natives/misc_seams.h"
#include "natives/registration.h"
#include "services/platform.h"

namespace natives {

namespace {

std::atomic<const services::RebootActions*> rebootActions{nullptr};

template <class Function>
Function kernelFunction(const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name)));
}

template <class Function>
Function ntdllFunction(const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), name)));
}

// Succeeds only when AdjustTokenPrivileges leaves the last error at 0: a privilege the token
// does not hold (ERROR_NOT_ALL_ASSIGNED) is a failure.
bool adjustPrivilege(const wchar_t* privilege, bool enable) {
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &rawToken)) return false;
    const base::win::KernelHandle token(rawToken);
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    if (!LookupPrivilegeValueW(nullptr, privilege, &privileges.Privileges[0].Luid)) return false;
    SetLastError(0);
    AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
    return GetLastError() == 0;
}

// The image path of an open process, whatever its length; empty when it cannot be read.
using QueryImageName = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, PDWORD);
using ModuleFileName = DWORD(WINAPI*)(HANDLE, HMODULE, LPWSTR, DWORD);

std::wstring imageNameOf(HANDLE process, QueryImageName query) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD size = static_cast<DWORD>(path.size());
        if (query(process, 0, path.data(), &size)) {
            path.resize(size);
            return path;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
}

std::wstring moduleFileNameOf(HANDLE process, ModuleFileName read) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = read(process, nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size() - 1) {
            path.resize(length);
            return path;
        }
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
}

class Library {
public:
    explicit Library(const wchar_t* name) : module_(services::loadSystemLibrary(name)) {}
    ~Library() {
        if (module_) FreeLibrary(module_);
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    template <class Function>
    Function function(const char* name) const {
        return module_ ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_, name))) : nullptr;
    }

private:
    HMODULE module_;
};

// Every process id, however many there are (a fixed list would silently drop the rest).
std::vector<DWORD> processIds(BOOL(WINAPI* enumerate)(DWORD*, DWORD, DWORD*)) {
    std::vector<DWORD> ids(8196);
    for (;;) {
        DWORD bytes = 0;
        if (!enumerate(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes)) return {};
        if (bytes < ids.size() * sizeof(DWORD)) {
            ids.resize(bytes / sizeof(DWORD));
            return ids;
        }
        ids.resize(ids.size() * 2);
    }
}

std::vector<std::wstring> modulesFromProcessList() {
    const Library psapi(L"psapi.dll");
    const auto enumerate = psapi.function<BOOL(WINAPI*)(DWORD*, DWORD, DWORD*)>("EnumProcesses");
    const auto moduleFileName = psapi.function<ModuleFileName>("GetModuleFileNameExW");
    const auto queryImageName = kernelFunction<QueryImageName>("QueryFullProcessImageNameW");
    std::vector<std::wstring> entries;
    if (!enumerate || (!moduleFileName && !queryImageName)) return entries;
    for (const DWORD id : processIds(enumerate)) {
        if (id == 0) continue;
        const DWORD access = queryImageName ? PROCESS_QUERY_INFORMATION : PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;
        const base::win::KernelHandle process(OpenProcess(access, FALSE, id));
        if (!process) continue;
        std::wstring path = queryImageName ? imageNameOf(process.get(), queryImageName)
                                           : moduleFileNameOf(process.get(), moduleFileName);
        // A program started from a temporary copy reports the copy; the module list knows the
        // file that is mapped.
        if (queryImageName && moduleFileName && path.size() > 4 && path.ends_with(L".tmp")) {
            const base::win::KernelHandle reading(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id));
            if (reading) path = moduleFileNameOf(reading.get(), moduleFileName);
        }
        if (path.empty()) continue;
        entries.push_back(base::formatWide(L"%d ", static_cast<int>(id)) + path);
    }
    return entries;
}

std::vector<std::wstring> modulesFromSnapshot() {
    using Snapshot = HANDLE(WINAPI*)(DWORD, DWORD);
    using ProcessStep = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32W*);
    using ModuleFirst = BOOL(WINAPI*)(HANDLE, MODULEENTRY32W*);
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto snapshot = kernelFunction<Snapshot>("CreateToolhelp32Snapshot");
    const auto first = kernelFunction<ProcessStep>("Process32FirstW");
    const auto next = kernelFunction<ProcessStep>("Process32NextW");
    const auto firstModule = kernelFunction<ModuleFirst>("Module32FirstW");
    std::vector<std::wstring> entries;
    if (!snapshot || !first || !next || !firstModule) {
        writeDiagnostic(Stream::Output,
                        base::formatNarrow("could not load functions %p %p %p %p %p %d\n",
                                           reinterpret_cast<void*>(snapshot), reinterpret_cast<void*>(first),
                                           reinterpret_cast<void*>(next), reinterpret_cast<void*>(firstModule),
                                           static_cast<void*>(kernel), static_cast<int>(GetLastError())));
        return entries;
    }
    const base::win::FileHandle processes(snapshot(TH32CS_SNAPALL, 0));
    if (!processes) return entries;
    PROCESSENTRY32W process = {};
    process.dwSize = sizeof(process);
    for (BOOL more = first(processes.get(), &process); more; more = next(processes.get(), &process)) {
        const base::win::FileHandle modules(snapshot(TH32CS_SNAPMODULE, process.th32ProcessID));
        if (!modules) continue;
        MODULEENTRY32W module = {};
        module.dwSize = sizeof(module);
        if (!firstModule(modules.get(), &module)) continue;
        entries.push_back(base::formatWide(L"%d %s", static_cast<int>(process.th32ProcessID), module.szExePath));
    }
    return entries;
}

}  // namespace

void setRebootActions(const services::RebootActions* actions) { rebootActions.store(actions); }

}  // namespace natives

using namespace natives;

// The extension entry is looked up in the module that holds this code: the launcher itself,
// whichever module the Java side believes it loaded.
extern "C" JNIEXPORT jboolean JNICALL Java_com_corvane_runtime_installer_platform_win32_Misc_registerExtensionFunctions0(
    JNIEnv* env, jclass, jobject classLoader, jstring entryName, jstring packageName) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&Java_com_corvane_runtime_installer_platform_win32_Misc_registerExtensionFunctions0),
                            &module)) {
        return JNI_FALSE;
    }
    return natives::registerExtensionFunctions(env, module, classLoader, entryName, packageName) ? JNI_TRUE : JNI_FALSE;
}

extern "C" JNIEXPORT void JNICALL Java_com_corvane_runtime_installer_platform_win32_Misc_reboot0(JNIEnv*, jclass) {
    const services::RebootActions* actions = rebootActions.load();
    services::rebootNow(actions ? *actions : services::systemRebootActions());
}

extern "C" JNIEXPORT jobjectArray JNICALL Java_com_corvane_runtime_installer_platform_win32_Misc_getRunningModules0(
    JNIEnv* env, jclass, jboolean keepDebugPrivilegeOff) {
    adjustPrivilege(L"SeDebugPrivilege", !keepDebugPrivilegeOff);
    std::vector<std::wstring> entries = modulesFromProcessList();
    if (entries.empty()) entries = modulesFromSnapshot();
    if (entries.empty()) return nullptr;
    return jni::newJavaStringArray(env, entries);
}

extern "C" JNIEXPORT jobjectArray JNICALL Java_com_corvane_runtime_installer_platform_win32_Misc_getEnvVarPairs0(
    JNIEnv* env, jclass) {
    std::vector<std::wstring> pairs;
    if (wchar_t* block = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = block; *entry; entry += pairs.back().size() + 1) pairs.emplace_back(entry);
        FreeEnvironmentStringsW(block);
    }
    return jni::newJavaStringArray(env, pairs);
}

extern "C" JNIEXPORT void JNICALL Java_com_corvane_runtime_installer_platform_win32_Misc_broadcastSettingChange0(JNIEnv*, jclass) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Environment"), SMTO_ABORTIFHUNG,
                        5000, &result);
}

extern "C" JNIEXPORT jlong JNICALL Java_com_corvane_runtime_installer_platform_win32_Misc_getPhysicalMemory0(JNIEnv*, jclass) {
    if (const auto status = kernelFunction<BOOL(WINAPI*)(MEMORYSTATUSEX*)>("GlobalMemoryStatusEx")) {
        MEMORYSTATUSEX memory = {};
        memory.dwLength = sizeof(memory);
        if (status(&memory)) return static_cast<jlong>(memory.ullTotalPhys);
        writeDiagnostic(Stream::Output, base::formatNarrow("error %d\n", static_cast<int>(GetLastError())));
    }
    MEMORYSTATUS memory = {};
    memory.dwLength = sizeof(memory);
    GlobalMemoryStatus(&memory);
    return static_cast<jlong>(static_cast<unsigned long long>(memory.dwTotalPhys));
}

extern "C" JNIEXPORT jlong JNICALL Java_com_corvane_runtime_installer_platform_win32_Misc_getFreeDiskSpace0(
    JNIEnv* env, jclass, jstring directory) {
    const jni::WideString path(env, directory);
    if (path.failed()) return -1;
    ULARGE_INTEGER available = {};
    if (!GetDiskFreeSpaceExW(path.get(), &available, nullptr, nullptr)) return -1;
    return static_cast<jlong>(available.QuadPart);
}

extern "C" JNIEXPORT jboolean JNICALL Java_com_corvane_runtime_installer_platform_win32_Misc_moveWithDelayUntilReboot0(
    JNIEnv* env, jclass, jstring source, jstring target) {
    using MoveFileEx = BOOL(WINAPI*)(LPCWSTR, LPCWSTR, DWORD);
    static const MoveFileEx move = kernelFunction<MoveFileEx>("MoveFileExW");
    const jni::WideString from(env, source);
    const jni::WideString to(env, target);
    if (!move || from.failed() || to.failed()) return JNI_FALSE;
    return move(from.get(), to.get(), MOVEFILE_DELAY_UNTIL_REBOOT) ? JNI_TRUE : JNI_FALSE;
}

extern "C" JNIEXPORT jint JNICALL Java_com_corvane_runtime_installer_platform_win32_Misc_getPidFromHandle0(
    JNIEnv*, jclass, jlong process) {
    return static_cast<jint>(GetProcessId(jni::fromJavaHandle(process)));
}

extern "C" JNIEXPORT jint JNICALL Java_com_corvane_runtime_installer_platform_win32_Misc_getMachine0(JNIEnv*, jclass) {
    using IsWow64Process2 = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
    if (const auto query = kernelFunction<IsWow64Process2>("IsWow64Process2")) {
        USHORT processMachine = 0;
        USHORT nativeMachine = 0;
        if (query(GetCurrentProcess(), &processMachine, &nativeMachine)) return nativeMachine;
    }
    SYSTEM_INFO system = {};
    GetNativeSystemInfo(&system);
    switch (system.wProcessorArchitecture) {
    case 0: return 0x14C;
    case 5: return 0x1C0;
    case 6: return 0x200;
    case 9: return 0x8664;
    case 12: return 0xAA64;
    default: return 0;
    }
}

extern "C" JNIEXPORT jint JNICALL Java_com_corvane_runtime_installer_platform_win32_Misc_getOsBuildNumber0(JNIEnv*, jclass) {
    using RtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    const auto getVersion = ntdllFunction<RtlGetVersion>("RtlGetVersion");
    if (!getVersion) return 0;
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (getVersion(&version) < 0) return 0;
    return static_cast<jint>(version.dwBuildNumber);
}
