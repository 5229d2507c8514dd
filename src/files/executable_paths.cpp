#include "files/executable_paths.h"

#include <windows.h>

#include "base/text.h"
#include "base/win/growing_buffer.h"
#include "files/path_operations.h"
#include "files/path_text.h"

namespace files {

namespace {

using base::win::growingBuffer;

std::wstring moduleFileNameWide() {
    return growingBuffer<wchar_t>([](wchar_t* buffer, DWORD size) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer, size);
        // A full buffer means the path was cut; report it as too small.
        return length >= size ? size : length;
    });
}

std::string moduleFileNameNarrow() {
    return growingBuffer<char>([](char* buffer, DWORD size) {
        const DWORD length = GetModuleFileNameA(nullptr, buffer, size);
        return length >= size ? size : length;
    });
}

// The narrow path is accepted only when it names the executable without a lost character.
std::string convertedExePath(const std::wstring& path) {
    if (path.empty()) return {};
    bool lossy = false;
    std::string narrow = toFileApiNarrow(path, &lossy);
    return !lossy && endsWithExe(narrow) ? narrow : std::string();
}

std::string chooseNarrowPath() {
    const std::wstring& longPath = executableLongPath();
    std::string narrow = convertedExePath(longPath);
    if (narrow.empty()) narrow = convertedExePath(shortPathName(longPath));
    if (narrow.empty()) {
        if (auto viaShell = shortPathViaShell(longPath); viaShell && endsWithExe(*viaShell)) narrow = *viaShell;
    }
    if (narrow.empty()) {
        const std::string module = moduleFileNameNarrow();
        narrow = growingBuffer<char>([&](char* buffer, DWORD size) {
            return GetShortPathNameA(module.c_str(), buffer, size);
        });
        if (narrow.empty()) narrow = module;
    }
    // Folded through a wide copy, so that a trail byte that looks like a backslash in a
    // double-byte code page is never taken for one.
    std::wstring wide = base::narrowToWide(narrow);
    foldSeparators(wide);
    bool lossy = false;
    std::string folded = toFileApiNarrow(wide, &lossy);
    return lossy || folded.empty() ? narrow : folded;
}

}  // namespace

const std::wstring& executableLongPath() {
    static const std::wstring path = [] {
        const std::wstring module = moduleFileNameWide();
        std::wstring longPath = longPathName(module);
        if (longPath.empty()) longPath = module;
        foldSeparators(longPath);
        return longPath;
    }();
    return path;
}

const std::string& executableNarrowPath() {
    static const std::string path = chooseNarrowPath();
    return path;
}

const std::string& executableDirectory() {
    static const std::string directory = [] {
        const std::string& narrow = executableNarrowPath();
        if (narrow.empty()) return std::string();
        std::string full = fullPathName(narrow);
        return directoryPart(full.empty() ? narrow : full);
    }();
    return directory;
}

const std::wstring& executableDirectoryWide() {
    static const std::wstring directory = base::narrowToWide(executableDirectory());
    return directory;
}

const std::wstring& executableLongDirectory() {
    static const std::wstring directory = directoryPart(executableLongPath());
    return directory;
}

void enterExecutableDirectory() {
    std::wstring directory = executableLongDirectory();
    if (directory.size() > 3 && directory.back() == L'\\') directory.pop_back();
    if (!directory.empty()) SetCurrentDirectoryW(directory.c_str());
}

std::wstring systemTemporaryFolder() {
    std::wstring folder = growingBuffer<wchar_t>([](wchar_t* buffer, DWORD size) { return GetTempPathW(size, buffer); });
    while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    return folder;
}

}  // namespace files
