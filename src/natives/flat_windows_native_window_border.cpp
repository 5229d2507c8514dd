// Natives of com/corvane/shadow/com/formdev/flatlaf/ui/FlatWindowsNativeWindowBorder: a DWORD
// of the user's settings (the accent colour on the title bar and the like). The window
// procedure of its inner class WndProc is in flat_window_procedure.cpp.
#include <windows.h>

#include "base/win/registry_key.h"
#include "jni/jni_toolkit.h"
#include "natives/jni_export.h"

// Key and value names go to the wide registry functions as the Java strings hold them, so
// that a name outside the ANSI code page is found too.
extern "C" JNIEXPORT jint JNICALL
Java_com_corvane_shadow_com_formdev_flatlaf_ui_FlatWindowsNativeWindowBorder_registryGetIntValue(JNIEnv* env, jclass,
                                                                                               jstring key,
                                                                                               jstring valueName,
                                                                                               jint defaultValue) {
    const jni::WideString keyName(env, key);
    const jni::WideString name(env, valueName);
    if (keyName.failed() || name.failed() || keyName.isNull()) return defaultValue;
    base::win::RegistryKey opened;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, keyName.get(), 0, KEY_QUERY_VALUE, opened.receive()) != ERROR_SUCCESS) {
        return defaultValue;
    }
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExW(opened.get(), name.get(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value) {
        return defaultValue;
    }
    return static_cast<jint>(value);
}
