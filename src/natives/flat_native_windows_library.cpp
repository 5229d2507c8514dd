// Natives of com/corvane/shadow/com/formdev/flatlaf/ui/FlatNativeWindowsLibrary: the build
// number, the handle of an AWT window, and DWM window attributes (rounded corners, dark title
// bars, border colours), where the system has them.
#include <windows.h>

#include "jni/jni_toolkit.h"
#include "natives/flatlaf_windows.h"
#include "natives/jni_export.h"

namespace {

constexpr DWORD kWindowCornerPreference = 33;  // DWMWA_WINDOW_CORNER_PREFERENCE

// One 4-byte attribute value; false for handle 0, without DWM, or when DWM refuses it.
jboolean setAttribute(jlong window, DWORD attribute, DWORD value) {
    const HWND handle = static_cast<HWND>(jni::fromJavaHandle(window));
    const auto set = natives::flatlaf::dwmSetWindowAttribute();
    if (!handle || !set) return JNI_FALSE;
    return SUCCEEDED(set(handle, attribute, &value, sizeof value)) ? JNI_TRUE : JNI_FALSE;
}

}  // namespace

extern "C" JNIEXPORT jlong JNICALL
Java_com_corvane_shadow_com_formdev_flatlaf_ui_FlatNativeWindowsLibrary_getOSBuildNumberImpl(JNIEnv*, jclass) {
    return static_cast<jlong>(natives::flatlaf::windowsBuildNumber());
}

extern "C" JNIEXPORT jlong JNICALL Java_com_corvane_shadow_com_formdev_flatlaf_ui_FlatNativeWindowsLibrary_getHWND(
    JNIEnv* env, jclass, jobject window) {
    return natives::flatlaf::windowHandleOf(env, window);
}

extern "C" JNIEXPORT jboolean JNICALL
Java_com_corvane_shadow_com_formdev_flatlaf_ui_FlatNativeWindowsLibrary_setWindowCornerPreference(JNIEnv*, jclass,
                                                                                                jlong window,
                                                                                                jint preference) {
    return setAttribute(window, kWindowCornerPreference, static_cast<DWORD>(preference));
}

extern "C" JNIEXPORT jboolean JNICALL
Java_com_corvane_shadow_com_formdev_flatlaf_ui_FlatNativeWindowsLibrary_dwmSetWindowAttributeBOOL(JNIEnv*, jclass,
                                                                                                jlong window,
                                                                                                jint attribute,
                                                                                                jboolean value) {
    return setAttribute(window, static_cast<DWORD>(attribute), value ? TRUE : FALSE);
}

extern "C" JNIEXPORT jboolean JNICALL
Java_com_corvane_shadow_com_formdev_flatlaf_ui_FlatNativeWindowsLibrary_dwmSetWindowAttributeDWORD(JNIEnv*, jclass,
                                                                                                 jlong window,
                                                                                                 jint attribute,
                                                                                                 jint value) {
    return setAttribute(window, static_cast<DWORD>(attribute), static_cast<DWORD>(value));
}
