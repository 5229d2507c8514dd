#include "files/directory_tree.h"

#include <windows.h>

#include "files/path_text.h"
#include "services/log.h"

namespace files {

std::vector<DirectoryEntry> directoryEntries(const std::wstring& directory, const wchar_t* pattern) {
    std::vector<DirectoryEntry> entries;
    WIN32_FIND_DATAW data;
    const HANDLE find = FindFirstFileW(extendedLengthPath(directory + pattern).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return entries;
    do {
        const std::wstring_view name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        entries.push_back({directory + data.cFileName, data.dwFileAttributes});
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return entries;
}

void emptyDirectoryTree(const std::wstring& directory, std::vector<std::wstring>& failedFiles,
                        std::vector<std::wstring>& failedDirectories, int depth) {
    if (directory.empty() || directory[0] == L'.') return;
    services::logMessage(L"emptying %s", directory);
    std::wstring prefix = directory;
    if (prefix.back() != L'\\') prefix += L'\\';
    for (const DirectoryEntry& entry : directoryEntries(prefix)) {
        const std::wstring systemPath = extendedLengthPath(entry.path);
        if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) {
            services::logMessage(L"attempting to remove %s (%d)", entry.path, depth);
            // A junction or directory link leads out of the tree: removing the link is all
            // that is ours to do.
            const bool link = (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            if (depth > 0 && !link) emptyDirectoryTree(entry.path, failedFiles, failedDirectories, depth - 1);
            if (!RemoveDirectoryW(systemPath.c_str())) failedDirectories.push_back(entry.path);
        } else {
            services::logMessage(L"attempting to delete %s", entry.path);
            if (!DeleteFileW(systemPath.c_str())) failedFiles.push_back(entry.path);
        }
    }
}

}  // namespace files
