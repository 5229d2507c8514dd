#include "natives/flatlaf_windows.h"

#include <atomic>

#include "jni/jni_toolkit.h"
#include "services/platform.h"

namespace natives::flatlaf {

namespace {

// Field and method IDs stay valid while their classes are loaded, which AWT's are for the life
// of the process. A lookup that failed is tried again on the next call.
std::atomic<jfieldID> peerField{nullptr};
std::atomic<jmethodID> getHWndMethod{nullptr};

template <class Function>
Function dwmFunction(const char* name) {
    static const HMODULE dwmapi = services::loadSystemLibrary(L"dwmapi.dll");
    if (!dwmapi) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(dwmapi, name)));
}

}  // namespace

jlong windowHandleOf(JNIEnv* env, jobject window) {
    if (!window) return 0;
    jfieldID field = peerField.load();
    if (!field) {
        const jni::LocalRef<jclass> component = jni::findClass(env, "java/awt/Component");
        field = component ? env->GetFieldID(component.get(), "peer", "Ljava/awt/peer/ComponentPeer;") : nullptr;
        if (!field) {
            env->ExceptionClear();
            return 0;
        }
        peerField.store(field);
    }
    const jni::LocalRef<jobject> peer(env, env->GetObjectField(window, field));
    if (!peer) {
        env->ExceptionClear();
        return 0;
    }
    jmethodID method = getHWndMethod.load();
    if (!method) {
        const jni::LocalRef<jclass> peerClass(env, env->GetObjectClass(peer.get()));
        method = peerClass ? env->GetMethodID(peerClass.get(), "getHWnd", "()J") : nullptr;
        if (!method) {
            env->ExceptionClear();
            return 0;
        }
        getHWndMethod.store(method);
    }
    const jlong handle = env->CallLongMethod(peer.get(), method);
    if (jni::exceptionPending(env)) {
        env->ExceptionClear();
        return 0;
    }
    return handle;
}

unsigned long windowsBuildNumber() {
    static const unsigned long build = [] {
        using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
        const auto rtlGetVersion = reinterpret_cast<RtlGetVersionFunction>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
        OSVERSIONINFOW version = {};
        version.dwOSVersionInfoSize = sizeof version;
        if (rtlGetVersion && rtlGetVersion(&version) == 0) return version.dwBuildNumber;
        version = {};
        version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        if (GetVersionExW(&version)) return version.dwBuildNumber;
#pragma GCC diagnostic pop
        return 0UL;
    }();
    return build;
}

DwmAttributeFunction dwmGetWindowAttribute() {
    static const auto function = dwmFunction<DwmAttributeFunction>("DwmGetWindowAttribute");
    return function;
}

DwmAttributeFunction dwmSetWindowAttribute() {
    static const auto function = dwmFunction<DwmAttributeFunction>("DwmSetWindowAttribute");
    return function;
}

}  // namespace natives::flatlaf
