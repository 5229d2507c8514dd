// Natives of com/corvane/runtime/installer/platform/win32/FileVersion: the file versions of
// two executables' version resources, compared as unsigned 64-bit numbers.
#include <windows.h>

#include <winver.h>

#include <cstdint>
#include <new>
#include <optional>
#include <vector>

#include "jni/jni_toolkit.h"
#include "natives/jni_export.h"
#include "services/platform.h"

namespace {

// version.dll is no KnownDLL: it comes from the system directory, never from beside the
// installer, and its three functions are kept for the life of the process.
struct VersionFunctions {
    DWORD(WINAPI* size)(LPCWSTR, LPDWORD) = nullptr;
    BOOL(WINAPI* info)(LPCWSTR, DWORD, DWORD, LPVOID) = nullptr;
    BOOL(WINAPI* query)(LPCVOID, LPCWSTR, LPVOID*, PUINT) = nullptr;
    bool complete() const { return size != nullptr && info != nullptr && query != nullptr; }
};

template <class Function>
void lookUp(HMODULE module, const char* name, Function& function) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

const VersionFunctions& versionFunctions() {
    static const VersionFunctions functions = [] {
        VersionFunctions found;
        if (const HMODULE version = services::loadSystemLibrary(L"version.dll")) {
            lookUp(version, "GetFileVersionInfoSizeW", found.size);
            lookUp(version, "GetFileVersionInfoW", found.info);
            lookUp(version, "VerQueryValueW", found.query);
        }
        return found;
    }();
    return functions;
}

// The longest path the file functions take; longer ones are refused rather than cut.
constexpr std::size_t kLongestPath = 32767;

// dwFileVersionMS in the high half, dwFileVersionLS in the low; nothing when the file has no
// readable version resource.
std::optional<std::uint64_t> fileVersion(const VersionFunctions& functions, const jni::WideString& path) {
    if (path.get() == nullptr || path.length() > kLongestPath) return std::nullopt;
    DWORD handle = 0;
    const DWORD size = functions.size(path.get(), &handle);
    if (size == 0) return std::nullopt;
    std::vector<unsigned char> block(static_cast<std::size_t>(size) * 2);
    if (!functions.info(path.get(), 0, size, block.data())) return std::nullopt;
    void* fixed = nullptr;
    UINT length = 0;
    if (!functions.query(block.data(), L"\\", &fixed, &length) || fixed == nullptr ||
        length < sizeof(VS_FIXEDFILEINFO)) {
        return std::nullopt;
    }
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
    return (static_cast<std::uint64_t>(info->dwFileVersionMS) << 32) | info->dwFileVersionLS;
}

}  // namespace

extern "C" {

// 0 equal, 1 the first is newer, 2 the first is older, 3 either has no readable version.
JNIEXPORT jint JNICALL Java_com_corvane_runtime_installer_platform_win32_FileVersion_compare0(JNIEnv* env, jclass,
                                                                                              jstring first,
                                                                                              jstring second) {
    const VersionFunctions& functions = versionFunctions();
    const jni::WideString firstPath(env, first);
    const jni::WideString secondPath(env, second);
    if (!functions.complete() || firstPath.failed() || secondPath.failed()) return 3;
    try {
        const std::optional<std::uint64_t> a = fileVersion(functions, firstPath);
        const std::optional<std::uint64_t> b = fileVersion(functions, secondPath);
        if (!a || !b) return 3;
        return *a == *b ? 0 : *a > *b ? 1 : 2;
    } catch (const std::bad_alloc&) {
        return 3;
    }
}

}  // extern "C"
