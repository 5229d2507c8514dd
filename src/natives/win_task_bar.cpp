// Natives of com/corvane/runtime/installer/platform/win32/WinTaskBar: progress and an overlay
// icon on the window's taskbar button, through the shell's taskbar list.
#include <windows.h>

#include <shobjidl.h>

#include <atomic>
#include <mutex>

#include "jni/jni_toolkit.h"
#include "natives/jni_export.h"

namespace {

// Made once by initTaskBar0 and kept for the life of the process; until then the setters do
// nothing.
std::once_flag created;
std::atomic<ITaskbarList3*> taskBar{nullptr};

HWND windowOf(jlong handle) { return static_cast<HWND>(jni::fromJavaHandle(handle)); }

}  // namespace

extern "C" JNIEXPORT void JNICALL Java_com_corvane_runtime_installer_platform_win32_WinTaskBar_initTaskBar0(JNIEnv*,
                                                                                                          jclass) {
    std::call_once(created, [] {
        // The apartment is the calling thread's from now on; a thread that has one already keeps it.
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ITaskbarList3* list = nullptr;
        if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                    reinterpret_cast<void**>(&list)))) {
            return;
        }
        if (FAILED(list->HrInit())) {
            list->Release();
            return;
        }
        taskBar.store(list);  // the process keeps the reference
    });
}

extern "C" JNIEXPORT void JNICALL Java_com_corvane_runtime_installer_platform_win32_WinTaskBar_setOverlayIcon0(
    JNIEnv*, jclass, jlong window, jlong icon) {
    if (ITaskbarList3* list = taskBar.load()) {
        list->SetOverlayIcon(windowOf(window), static_cast<HICON>(jni::fromJavaHandle(icon)), nullptr);
    }
}

extern "C" JNIEXPORT void JNICALL Java_com_corvane_runtime_installer_platform_win32_WinTaskBar_setProgress0(
    JNIEnv*, jclass, jlong window, jlong completed, jlong total) {
    if (ITaskbarList3* list = taskBar.load()) {
        list->SetProgressValue(windowOf(window), static_cast<ULONGLONG>(completed), static_cast<ULONGLONG>(total));
    }
}

extern "C" JNIEXPORT void JNICALL Java_com_corvane_runtime_installer_platform_win32_WinTaskBar_setState0(JNIEnv*,
                                                                                                       jclass,
                                                                                                       jlong window,
                                                                                                       jint flags) {
    if (ITaskbarList3* list = taskBar.load()) list->SetProgressState(windowOf(window), static_cast<TBPFLAG>(flags));
}
