// Emptying a directory tree as far as the system lets us, remembering what stayed.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace files {

struct DirectoryEntry {
    std::wstring path;
    DWORD attributes;
};
// The entries of `directory` (its path ending with a backslash) whose names match `pattern`, as
// the system matches wildcards; "." and ".." are left out.
std::vector<DirectoryEntry> directoryEntries(const std::wstring& directory, const wchar_t* pattern = L"*.*");

// Deletes the files of `directory` and, down to `depth` levels, of its subdirectories, and
// removes the emptied subdirectories; the directory itself stays. What cannot be deleted is
// appended to the lists, subdirectories before their parents. A link or junction is removed
// as an entry of its own and never entered, so nothing outside the tree is touched. Paths
// that are empty or begin with "." are refused.
void emptyDirectoryTree(const std::wstring& directory, std::vector<std::wstring>& failedFiles,
                        std::vector<std::wstring>& failedDirectories, int depth);

}  // namespace files
