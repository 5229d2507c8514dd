// Natives of com/corvane/runtime/installer/platform/win32/Misc over top-level windows: finding a
// process's windows and titles, bringing windows to the front, closing or ending processes.
// Each enumeration carries its working data through the callback's own parameter, so two Java
// threads may enumerate at once.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/win/handles.h"
#include "jni/jni_toolkit.h"
#include "natives/diagnostics.h"
#include "natives/jni_export.h"

namespace natives {

namespace {

constexpr char kWindowInfoConstructor[] = "(JILjava/lang/String;Ljava/lang/String;)V";

DWORD processOf(HWND window) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    return process;
}

// The whole title, however long.
std::wstring titleOf(HWND window) {
    std::wstring title(static_cast<size_t>(std::max(GetWindowTextLengthW(window), 0)) + 1, L'\0');
    title.resize(static_cast<size_t>(std::max(GetWindowTextW(window, title.data(), static_cast<int>(title.size())), 0)));
    return title;
}

struct ProcessWindows {
    DWORD process;
    std::vector<HWND> windows;
};

BOOL CALLBACK collectUnownedVisible(HWND window, LPARAM parameter) {
    auto& wanted = *reinterpret_cast<ProcessWindows*>(parameter);
    if (processOf(window) == wanted.process && GetWindow(window, GW_OWNER) == nullptr && IsWindowVisible(window)) {
        wanted.windows.push_back(window);
    }
    return TRUE;
}

struct TitleSearch {
    DWORD process;
    std::wstring title;
};

BOOL CALLBACK findTitle(HWND window, LPARAM parameter) {
    auto& search = *reinterpret_cast<TitleSearch*>(parameter);
    if (processOf(window) != search.process) return TRUE;
    std::wstring title = titleOf(window);
    if (title.empty()) return TRUE;
    search.title = std::move(title);
    return IsWindowVisible(window) ? FALSE : TRUE;
}

BOOL CALLBACK bringToFront(HWND window, LPARAM) {
    if (processOf(window) == GetCurrentProcessId() && IsWindowVisible(window)) {
        SetForegroundWindow(window);
        SetForegroundWindow(GetLastActivePopup(window));
    }
    return TRUE;
}

enum TerminationStatus : jint { kNotAllReached = 0, kAllDone = 1, kWaitFailed = 2, kTimedOut = 3 };

struct Closing {
    const jint* ids;
    std::size_t count;
    std::vector<bool> reached;
    jint status = kAllDone;
};

BOOL CALLBACK postClose(HWND window, LPARAM parameter) {
    auto& closing = *reinterpret_cast<Closing*>(parameter);
    if (!IsWindowVisible(window)) return TRUE;
    const DWORD process = processOf(window);
    for (std::size_t i = 0; i < closing.count; ++i) {
        if (static_cast<DWORD>(closing.ids[i]) != process) continue;
        closing.reached[i] = true;
        if (!PostMessageW(window, WM_CLOSE, 0, 0)) closing.status = kNotAllReached;
    }
    return TRUE;
}

// WaitForMultipleObjects takes at most 64 handles; more are waited for in groups within the
// one time-out.
jint waitForAll(const std::vector<base::win::KernelHandle>& processes, DWORD timeout) {
    const ULONGLONG start = GetTickCount64();
    std::vector<HANDLE> handles;
    for (const auto& process : processes) handles.push_back(process.get());
    for (std::size_t at = 0; at < handles.size(); at += MAXIMUM_WAIT_OBJECTS) {
        const DWORD count = static_cast<DWORD>(std::min<std::size_t>(MAXIMUM_WAIT_OBJECTS, handles.size() - at));
        DWORD remaining = timeout;
        if (timeout != INFINITE) {
            const ULONGLONG spent = GetTickCount64() - start;
            remaining = spent >= timeout ? 0 : static_cast<DWORD>(timeout - spent);
        }
        const DWORD result = WaitForMultipleObjects(count, handles.data() + at, TRUE, remaining);
        if (result == WAIT_TIMEOUT) return kTimedOut;
        if (result != WAIT_OBJECT_0) return kWaitFailed;
    }
    return kAllDone;
}

}  // namespace

}  // namespace natives

using namespace natives;

extern "C" JNIEXPORT void JNICALL Java_com_corvane_runtime_installer_platform_win32_Misc_toFront0(JNIEnv*, jclass) {
    EnumWindows(bringToFront, 0);
}

extern "C" JNIEXPORT jint JNICALL Java_com_corvane_runtime_installer_platform_win32_Misc_terminateProcesses0(
    JNIEnv* env, jclass, jintArray processIds, jboolean force, jint timeout) {
    const jni::PinnedInts ids(env, processIds, jni::ArrayAccess::ReadOnly);
    if (ids.failed()) return kNotAllReached;
    if (force) {
        jint status = kAllDone;
        for (const jint id : ids) {
            const base::win::KernelHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(id)));
            if (!process || !TerminateProcess(process.get(), 0)) status = kNotAllReached;
        }
        return status;
    }
    Closing closing{ids.data(), ids.size(), std::vector<bool>(ids.size(), false)};
    EnumWindows(postClose, reinterpret_cast<LPARAM>(&closing));
    if (std::find(closing.reached.begin(), closing.reached.end(), false) != closing.reached.end()) {
        closing.status = kNotAllReached;
    }
    if (closing.status != kAllDone) return closing.status;
    std::vector<base::win::KernelHandle> processes;
    for (const jint id : ids) {
        processes.emplace_back(OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(id)));
        if (!processes.back()) return kWaitFailed;
    }
    if (processes.empty()) return kAllDone;
    return waitForAll(processes, static_cast<DWORD>(timeout));
}

extern "C" JNIEXPORT jstring JNICALL Java_com_corvane_runtime_installer_platform_win32_Misc_getWindowTitle0(
    JNIEnv* env, jclass, jint processId) {
    TitleSearch search{static_cast<DWORD>(processId), {}};
    EnumWindows(findTitle, reinterpret_cast<LPARAM>(&search));
    return jni::newJavaString(env, search.title);
}

extern "C" JNIEXPORT void JNICALL Java_com_corvane_runtime_installer_platform_win32_Misc_setForegroundWindow0(
    JNIEnv*, jclass, jlong handle) {
    const HWND window = static_cast<HWND>(jni::fromJavaHandle(handle));
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof(placement);
    if (GetWindowPlacement(window, &placement) && placement.showCmd == SW_SHOWMINIMIZED) ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
}

extern "C" JNIEXPORT jobjectArray JNICALL Java_com_corvane_runtime_installer_platform_win32_Misc_getTopLevelWindows0(
    JNIEnv* env, jclass, jclass recordClass, jint processId) {
    ProcessWindows found{static_cast<DWORD>(processId), {}};
    EnumWindows(collectUnownedVisible, reinterpret_cast<LPARAM>(&found));
    if (found.windows.empty()) return nullptr;
    if (!recordClass || !env->GetMethodID(recordClass, "<init>", kWindowInfoConstructor)) {
        writeDiagnostic(Stream::Error, "window info constructor not found");
        return nullptr;
    }
    jni::LocalRef<jobjectArray> records(
        env, env->NewObjectArray(static_cast<jsize>(found.windows.size()), recordClass, nullptr));
    if (!records) {
        writeDiagnostic(Stream::Error, "could not create window info array");
        return nullptr;
    }
    jsize slot = 0;
    for (const HWND window : found.windows) {
        const LONG style = GetWindowLongW(window, GWL_STYLE);
        wchar_t className[257] = {};
        const int classLength = GetClassNameW(window, className, 257);
        const std::wstring title = titleOf(window);
        if (title.empty() || classLength == 0 || style == 0) continue;
        jni::LocalRef<jstring> javaClassName(env, jni::newJavaString(env, std::wstring_view(className, classLength)));
        jni::LocalRef<jstring> javaTitle(env, jni::newJavaString(env, title));
        jni::LocalRef<jobject> record(env, jni::newObject(env, recordClass, kWindowInfoConstructor,
                                                          {jni::toJavaHandle(window), static_cast<jint>(style),
                                                           javaClassName.get(), javaTitle.get()}));
        if (!record) return nullptr;
        env->SetObjectArrayElement(records.get(), slot++, record.get());
        if (jni::exceptionPending(env)) return nullptr;
    }
    return records.release();
}
