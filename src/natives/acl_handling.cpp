// Natives of com/corvane/runtime/installer/platform/win32/ACLHandling: one access entry merged
// into the DACL of a file, directory or registry key. Its only reports go to standard output.
#include <windows.h>

#include <aclapi.h>

#include <cstdio>
#include <new>
#include <string>

#include "base/text.h"
#include "jni/jni_toolkit.h"
#include "natives/acl_entries.h"
#include "natives/jni_export.h"

namespace {

void report(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
}

}  // namespace

extern "C" {

// The registry-key flag makes the name a key in the form GetNamedSecurityInfoW takes
// ("CURRENT_USER\\Software\\..."); otherwise it names a file or directory. True when the new
// DACL was set.
JNIEXPORT jboolean JNICALL Java_com_corvane_runtime_installer_platform_win32_ACLHandling_addACE(
    JNIEnv* env, jclass, jstring objectName, jboolean registryKey, jboolean read, jboolean write, jboolean execute,
    jboolean all, jint trusteeKind, jstring account, jint accessMode) {
    jni::WideString name(env, objectName);
    const jni::WideString accountName(env, account);
    if (name.failed() || accountName.failed()) return JNI_FALSE;
    try {
        const std::vector<unsigned char> sid = natives::acl::trusteeSid(trusteeKind, accountName.get());
        if (sid.empty()) return JNI_FALSE;
        if (name.isNull()) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return JNI_FALSE;
        }
        const SE_OBJECT_TYPE type = registryKey ? SE_REGISTRY_KEY : SE_FILE_OBJECT;
        PACL current = nullptr;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        DWORD error = GetNamedSecurityInfoW(name.get(), type, DACL_SECURITY_INFORMATION, nullptr, nullptr, &current,
                                            nullptr, &descriptor);
        if (error != ERROR_SUCCESS) {
            report("GetNamedSecurityInfo Error " + std::to_string(error) + " " + base::wideToNarrow(name.text()) + "\n");
            return JNI_FALSE;
        }
        const std::unique_ptr<void, natives::acl::LocalFreeDeleter> descriptorOwner(descriptor);
        const natives::acl::LocalAcl merged = natives::acl::mergeEntry(
            current, natives::acl::accessMask(read, write, execute, all), accessMode, sid, error);
        if (!merged) {
            report("SetEntriesInAcl Error " + std::to_string(error) + "\n");
            return JNI_FALSE;
        }
        error = SetNamedSecurityInfoW(name.data(), type, DACL_SECURITY_INFORMATION, nullptr, nullptr, merged.get(),
                                      nullptr);
        if (error != ERROR_SUCCESS) {
            report("SetNamedSecurityInfo Error " + std::to_string(error) + "\n");
            return JNI_FALSE;
        }
        return JNI_TRUE;
    } catch (const std::bad_alloc&) {
        return JNI_FALSE;
    }
}

}  // extern "C"
