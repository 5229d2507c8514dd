#include "files/executable_paths.h"

#include <windows.h>

namespace files {

namespace {

// Grow-until-it-fits for the API functions that report a needed or truncated size.
template <class Call>
std::wstring growingBuffer(Call call) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = call(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return std::wstring();
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        if (buffer.size() >= 32768 * 2) return std::wstring();
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

const std::wstring& executableLongPath() {
    static const std::wstring path = [] {
        const std::wstring module = growingBuffer([](wchar_t* buffer, DWORD size) {
            const DWORD length = GetModuleFileNameW(nullptr, buffer, size);
            // A full buffer means the path was cut; report it as too small.
            return length >= size ? size : length;
        });
        const std::wstring longPath = growingBuffer([&](wchar_t* buffer, DWORD size) {
            return GetLongPathNameW(module.c_str(), buffer, size);
        });
        return longPath.empty() ? module : longPath;
    }();
    return path;
}

std::wstring systemTemporaryFolder() {
    std::wstring folder = growingBuffer([](wchar_t* buffer, DWORD size) { return GetTempPathW(size, buffer); });
    while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    return folder;
}

}  // namespace files
