// Path operations that ask the system: narrow forms the file functions accept, existence,
// canonical and short forms. The pure text rules are in path_text.h.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "files/path_text.h"

namespace files {

// Wide to narrow in the code page of the file functions (ANSI or OEM), never with a best-fit
// look-alike: a character without a narrow form becomes "?" and sets `lossy`; a conversion
// that fails yields an empty text and sets `lossy` too.
std::string toFileApiNarrow(std::wstring_view text, bool* lossy);

// Drive roots are taken as existing without asking the disk; otherwise whether the name is
// found. Names holding wildcards are never found: a lost character ("?") must not let the
// test match some other file.
bool pathExists(std::string_view path);
bool pathExists(std::wstring_view path);
// The same, also giving the entry's last-write time when found.
bool pathExists(std::wstring_view path, FILETIME* lastWrite);

// Appends `path` to `out`, a relative one prefixed with the directory of `baseFile` (its full
// path with the file part cut off) or, without a base file, with the executable's directory.
// The wide form chooses between the narrow directory widened and the long path's directory.
void resolveAgainst(std::string& out, std::string_view path, std::string_view baseFile = {});
void resolveAgainst(std::wstring& out, std::wstring_view path, std::wstring_view baseFile = {},
                    bool longDirectory = false);

// The full path of `path` resolved against the executable's directory, lower-cased unless
// `keepCase`, doubled backslashes folded. Falls back to the resolved path (logged as an
// error) when the system cannot make it full.
std::string canonicalPath(std::string_view path, bool keepCase);
std::wstring canonicalPath(std::wstring_view path, bool keepCase, bool longDirectory = false);

// The 8.3 form the command interpreter gives for a long path, for volumes where
// GetShortPathName has nothing better; none when the interpreter could not say.
std::optional<std::string> shortPathViaShell(const std::wstring& longPath);

// The system's path forms, at any length; empty when the call fails.
std::wstring shortPathName(const std::wstring& path);
std::wstring longPathName(const std::wstring& path);
std::string longPathName(const std::string& path);
std::wstring fullPathName(const std::wstring& path);
// The process's current directory; empty when the system cannot say.
std::wstring currentDirectory();
std::string fullPathName(const std::string& path);

// SHGetFolderPathA/W from shell32, looked up once per process; either may be null.
struct FolderPathFunctions {
    HRESULT(WINAPI* narrow)(HWND, int, HANDLE, DWORD, LPSTR) = nullptr;
    HRESULT(WINAPI* wide)(HWND, int, HANDLE, DWORD, LPWSTR) = nullptr;
};
const FolderPathFunctions& loadFolderPathFunctions();

}  // namespace files
