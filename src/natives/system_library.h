// System libraries the natives load at run time, from the system directory only (a bare name
// would find a planted copy beside the installer where the DLL search is not restricted).
// services/platform.cpp has the same for the launcher, but it lives in the launcher's library,
// which the natives' test program does not link.
#pragma once

#include <windows.h>

#include <string>

namespace natives {

inline HMODULE loadSystemLibrary(const wchar_t* name) {
    wchar_t directory[MAX_PATH];
    const UINT length = GetSystemDirectoryW(directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    return LoadLibraryW((std::wstring(directory, length) + L"\\" + name).c_str());
}

}  // namespace natives
