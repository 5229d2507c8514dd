// The conversions of the Registry natives between registry data and the Java objects the
// installer runtime reads and writes. Values cross whole: the registry's size is read first,
// and nothing is cut to a buffer on the way in or out.
#pragma once

#include <windows.h>

#include <jni.h>

#include <vector>

namespace natives::registry {

// The Java object for stored data of a registry type: String (REG_SZ, one terminating NUL
// dropped), WinRegistry$ExpandString (REG_EXPAND_SZ; the String when that class is missing),
// byte[] (REG_BINARY), Integer (REG_DWORD), String[] (REG_MULTI_SZ, up to the final
// terminator), Long (REG_QWORD); null for any other type and when an object cannot be made.
jobject toJavaValue(JNIEnv* env, DWORD type, const std::vector<unsigned char>& data);

// Registry data of a Java value by the Java side's type code.
struct RegistryData {
    bool converted = false;  // false: the object does not fit the type code
    DWORD type = REG_NONE;
    std::vector<unsigned char> bytes;
};
// 1 String as REG_SZ, 5 String as REG_EXPAND_SZ, 2 Integer as REG_DWORD, 3 String[] as
// REG_MULTI_SZ (no element empty or null), 4 byte[] as REG_BINARY, 6 Long as REG_QWORD.
RegistryData fromJavaValue(JNIEnv* env, jobject value, jint typeCode);

}  // namespace natives::registry
