// Natives of com/corvane/runtime/installer/platform/win32/Misc.
#include <windows.h>

#include "natives/jni_export.h"
#include "natives/registration.h"

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
