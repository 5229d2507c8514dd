// Natives of com/corvane/runtime/installer/platform/win32/Win32Exec.
#include <windows.h>

#include "jni/jni_toolkit.h"
#include "natives/jni_export.h"

using jni::WideString;

// The caller keeps no handle of the started process, so both are closed at once.
extern "C" JNIEXPORT jint JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32Exec_launch0(
    JNIEnv* env, jclass, jstring application, jstring commandLine) {
    const WideString program(env, application);
    WideString arguments(env, commandLine);
    if (program.failed() || arguments.failed()) return static_cast<jint>(ERROR_NOT_ENOUGH_MEMORY);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started = {};
    if (!CreateProcessW(program.get(), arguments.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                        &startup, &started)) {
        return static_cast<jint>(GetLastError());
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return 0;
}
