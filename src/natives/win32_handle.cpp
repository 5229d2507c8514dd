// Natives of com/corvane/runtime/installer/platform/win32/Win32Handle: the file handles this
// process holds, closing one of them, and the targets of object-manager symbolic links. The
// Nt functions come from ntdll at run time.
#include <windows.h>
#include <winternl.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/format.h"
#include "base/win/handles.h"
#include "jni/jni_toolkit.h"
#include "natives/diagnostics.h"
#include "natives/jni_export.h"

namespace natives {

namespace {

constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004);
constexpr NTSTATUS kBufferTooSmall = static_cast<NTSTATUS>(0xC0000023);
constexpr ULONG kSystemHandleInformation = 16;
constexpr ULONG kObjectNameInformation = 1;
constexpr ULONG kObjectTypeInformation = 2;
// Handles with exactly this access are synchronous pipes and the like, on which a name query
// can block for ever.
constexpr ULONG kBlockingAccess = 0x12019F;

using NtQuerySystemInformationFunction = NTSTATUS(NTAPI*)(ULONG, void*, ULONG, ULONG*);
using NtDuplicateObjectFunction = NTSTATUS(NTAPI*)(HANDLE, HANDLE, HANDLE, HANDLE*, ACCESS_MASK, ULONG, ULONG);
using NtQueryObjectFunction = NTSTATUS(NTAPI*)(HANDLE, ULONG, void*, ULONG, ULONG*);
using NtOpenSymbolicLinkObjectFunction = NTSTATUS(NTAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*);
using NtQuerySymbolicLinkObjectFunction = NTSTATUS(NTAPI*)(HANDLE, UNICODE_STRING*, ULONG*);

template <class Function>
Function ntdllFunction(const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), name)));
}

// One row of the system handle table in this build's own layout: 16 bytes in a 32-bit process,
// 24 in a 64-bit one (the object address is pointer-wide and aligns the rows).
struct HandleEntry {
    ULONG processId;
    UCHAR objectType;
    UCHAR flags;
    USHORT handle;
    void* object;
    ULONG grantedAccess;
};
struct HandleTable {
    ULONG count;
    HandleEntry entries[1];
};
static_assert(sizeof(HandleEntry) == (sizeof(void*) == 4 ? 16 : 24));
// The rows follow the count at the alignment of the object address.
static_assert(offsetof(HandleTable, entries) == sizeof(void*));

std::wstring textOf(const UNICODE_STRING& text) {
    return text.Buffer ? std::wstring(text.Buffer, text.Length / sizeof(wchar_t)) : std::wstring();
}

// The object's name or type record; empty when the query fails.
std::vector<unsigned char> queryObject(NtQueryObjectFunction query, HANDLE handle, ULONG informationClass, bool retry) {
    std::vector<unsigned char> buffer(4096);
    ULONG needed = 0;
    NTSTATUS status = query(handle, informationClass, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (status < 0 && retry && needed > buffer.size()) {
        buffer.assign(needed, 0);
        status = query(handle, informationClass, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    }
    if (status < 0) buffer.clear();
    return buffer;
}

}  // namespace

}  // namespace natives

using namespace natives;

extern "C" JNIEXPORT jobjectArray JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32Handle_list0(JNIEnv* env,
                                                                                                               jclass) {
    const auto querySystem = ntdllFunction<NtQuerySystemInformationFunction>("NtQuerySystemInformation");
    const auto duplicate = ntdllFunction<NtDuplicateObjectFunction>("NtDuplicateObject");
    const auto queryObjectFunction = ntdllFunction<NtQueryObjectFunction>("NtQueryObject");
    if (!querySystem || !duplicate || !queryObjectFunction) return nullptr;

    // Rows of ULONG and pointer fields: the buffer keeps their alignment.
    std::vector<std::uint64_t> table(65536 / sizeof(std::uint64_t));
    NTSTATUS status;
    for (;;) {
        status = querySystem(kSystemHandleInformation, table.data(), static_cast<ULONG>(table.size() * sizeof(table[0])), nullptr);
        if (status != kInfoLengthMismatch || table.size() >= (std::size_t{1} << 28)) break;
        table.resize(table.size() * 2);
    }
    if (status < 0) {
        writeDiagnostic(Stream::Output, "NtQuerySystemInformation failed!\n");
        return nullptr;
    }
    const auto& handles = *reinterpret_cast<const HandleTable*>(table.data());
    const std::size_t capacity =
        (table.size() * sizeof(table[0]) - offsetof(HandleTable, entries)) / sizeof(HandleEntry);
    const std::size_t count = std::min<std::size_t>(handles.count, capacity);

    const DWORD self = GetCurrentProcessId();
    std::vector<jint> values;
    std::vector<std::wstring> names;
    for (std::size_t i = 0; i < count; ++i) {
        const HandleEntry& entry = handles.entries[i];
        if (entry.processId != self) continue;
        HANDLE copy = nullptr;
        if (duplicate(GetCurrentProcess(), reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(entry.handle)),
                      GetCurrentProcess(), &copy, 0, 0, 0) < 0) {
            continue;
        }
        const base::win::KernelHandle duplicated(copy);
        const auto type = queryObject(queryObjectFunction, copy, kObjectTypeInformation, false);
        if (type.empty() || entry.grantedAccess == kBlockingAccess) continue;
        const auto name = queryObject(queryObjectFunction, copy, kObjectNameInformation, true);
        if (name.empty()) continue;
        const std::wstring typeName = textOf(*reinterpret_cast<const UNICODE_STRING*>(type.data()));
        const std::wstring objectName = textOf(*reinterpret_cast<const UNICODE_STRING*>(name.data()));
        if (objectName.empty() || typeName != L"File") continue;
        values.push_back(static_cast<jint>(entry.handle));
        names.push_back(objectName);
    }
    writeDiagnostic(Stream::Output, "");

    jni::LocalRef<jclass> objectClass = jni::findClass(env, "java/lang/Object");
    if (!objectClass) return nullptr;
    jni::LocalRef<jintArray> handleArray(env, env->NewIntArray(static_cast<jsize>(values.size())));
    if (!handleArray) return nullptr;
    env->SetIntArrayRegion(handleArray.get(), 0, static_cast<jsize>(values.size()), values.data());
    jni::LocalRef<jobjectArray> nameArray(env, jni::newJavaStringArray(env, names));
    if (!nameArray || jni::exceptionPending(env)) return nullptr;
    jni::LocalRef<jobjectArray> result(env, env->NewObjectArray(2, objectClass.get(), nullptr));
    if (!result) return nullptr;
    env->SetObjectArrayElement(result.get(), 0, handleArray.get());
    env->SetObjectArrayElement(result.get(), 1, nameArray.get());
    return jni::exceptionPending(env) ? nullptr : result.release();
}

extern "C" JNIEXPORT jboolean JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32Handle_close0(JNIEnv*, jclass,
                                                                                                          jint handle) {
    const auto duplicate = ntdllFunction<NtDuplicateObjectFunction>("NtDuplicateObject");
    if (!duplicate) return JNI_FALSE;
    HANDLE copy = nullptr;
    const HANDLE source = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(static_cast<std::uint32_t>(handle)));
    if (duplicate(GetCurrentProcess(), source, GetCurrentProcess(), &copy, 0, 0, DUPLICATE_CLOSE_SOURCE) < 0) return JNI_FALSE;
    CloseHandle(copy);
    return JNI_TRUE;
}

extern "C" JNIEXPORT jstring JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32Handle_getDeviceName0(
    JNIEnv* env, jclass, jstring linkName) {
    jni::WideString name(env, linkName);
    if (name.isNull() || name.failed()) return nullptr;
    const auto open = ntdllFunction<NtOpenSymbolicLinkObjectFunction>("NtOpenSymbolicLinkObject");
    const auto query = ntdllFunction<NtQuerySymbolicLinkObjectFunction>("NtQuerySymbolicLinkObject");
    if (!open || !query) {
        writeDiagnostic(Stream::Output, "did not find functions\n");
        return nullptr;
    }
    // A counted string holds at most 32767 characters.
    if (name.length() > 32767) return nullptr;
    UNICODE_STRING counted = {};
    counted.Length = counted.MaximumLength = static_cast<USHORT>(name.length() * sizeof(wchar_t));
    counted.Buffer = name.data();
    OBJECT_ATTRIBUTES attributes = {};
    attributes.Length = sizeof(attributes);
    attributes.ObjectName = &counted;
    HANDLE rawLink = nullptr;
    const NTSTATUS opened = open(&rawLink, GENERIC_READ, &attributes);
    if (opened < 0) {
        writeDiagnostic(Stream::Output,
                        base::formatNarrow("could not open link %S %p\n", name.text(),
                                           reinterpret_cast<void*>(static_cast<std::uintptr_t>(static_cast<ULONG>(opened)))));
        return nullptr;
    }
    const base::win::KernelHandle link(rawLink);
    UNICODE_STRING target = {};
    ULONG needed = 0;
    if (query(link.get(), &target, &needed) != kBufferTooSmall) {
        writeDiagnostic(Stream::Output, base::formatNarrow("could not query link length %S\n", name.text()));
        return nullptr;
    }
    if (needed + 2 > 0xFFFF) return nullptr;
    std::vector<wchar_t> buffer((needed + 2) / sizeof(wchar_t) + 1);
    target.Buffer = buffer.data();
    target.Length = 0;
    target.MaximumLength = static_cast<USHORT>(needed + 2);
    if (query(link.get(), &target, &needed) < 0) {
        writeDiagnostic(Stream::Output, base::formatNarrow("could not query link %S\n", name.text()));
        return nullptr;
    }
    return jni::newJavaString(env, textOf(target));
}
