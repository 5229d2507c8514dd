// The two shell functions some natives call, from a shell library loaded on first use.
#pragma once

#include <windows.h>

namespace natives {

using ChangeNotifyFunction = void(WINAPI*)(LONG, UINT, LPCVOID, LPCVOID);
using ShellExecuteFunction = HINSTANCE(WINAPI*)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);

struct ShellFunctions {
    ChangeNotifyFunction changeNotify = nullptr;
    ShellExecuteFunction shellExecute = nullptr;
};

// Looked up once per process, after the preload that the launcher's start-up shares (loading
// the shell can pull in libraries by bare name, which are then already there from the system
// directory); both or neither. The library stays loaded.
const ShellFunctions& shellFunctions();

}  // namespace natives
