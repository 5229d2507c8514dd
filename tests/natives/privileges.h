// Whether a privilege of this process's token is enabled, for the natives that enable one
// before they ask the system for what it guards.
#pragma once

#include <windows.h>

namespace natives_test {

inline bool privilegeEnabled(const wchar_t* name) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    PRIVILEGE_SET set = {};
    set.PrivilegeCount = 1;
    set.Control = PRIVILEGE_SET_ALL_NECESSARY;
    BOOL enabled = FALSE;
    if (!LookupPrivilegeValueW(nullptr, name, &set.Privilege[0].Luid) || !PrivilegeCheck(token, &set, &enabled))
        enabled = FALSE;
    CloseHandle(token);
    return enabled != FALSE;
}

}  // namespace natives_test
