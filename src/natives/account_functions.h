// The account and rights functions of netapi32 and the LSA, and the logon a profile directory is
// asked with, looked up at run time (netapi32 is no KnownDLL, and not every system has every
// function). The natives call them through this table only, so that a test can stand in for the
// answers a system cannot give (Wine keeps users and groups in a fake of its own, has no account
// rights, and its logon hands out no real token) and see the arguments.
#pragma once

#include <windows.h>
#include <lm.h>
#include <ntsecapi.h>

#include "natives/replaceable.h"

namespace natives {

struct AccountFunctions {
    NET_API_STATUS(WINAPI* netLocalGroupAdd)(LPCWSTR server, DWORD level, LPBYTE info, LPDWORD parameterError);
    NET_API_STATUS(WINAPI* netLocalGroupGetInfo)(LPCWSTR server, LPCWSTR group, DWORD level, LPBYTE* info);
    NET_API_STATUS(WINAPI* netApiBufferFree)(LPVOID buffer);
    NET_API_STATUS(WINAPI* netUserAdd)(LPCWSTR server, DWORD level, LPBYTE info, LPDWORD parameterError);
    NET_API_STATUS(WINAPI* netUserGetInfo)(LPCWSTR server, LPCWSTR user, DWORD level, LPBYTE* info);
    NET_API_STATUS(WINAPI* netLocalGroupAddMembers)(LPCWSTR server, LPCWSTR group, DWORD level, LPBYTE members,
                                                    DWORD count);
    NET_API_STATUS(WINAPI* netUserDel)(LPCWSTR server, LPCWSTR user);
    NET_API_STATUS(WINAPI* netLocalGroupDel)(LPCWSTR server, LPCWSTR group);
    BOOL(WINAPI* lookupAccountName)(LPCWSTR system, LPCWSTR account, PSID sid, LPDWORD sidSize, LPWSTR domain,
                                    LPDWORD domainSize, PSID_NAME_USE use);
    NTSTATUS(WINAPI* lsaOpenPolicy)(PLSA_UNICODE_STRING system, PLSA_OBJECT_ATTRIBUTES attributes, ACCESS_MASK access,
                                    PLSA_HANDLE policy);
    NTSTATUS(WINAPI* lsaAddAccountRights)(LSA_HANDLE policy, PSID account, PLSA_UNICODE_STRING rights, ULONG count);
    NTSTATUS(WINAPI* lsaRemoveAccountRights)(LSA_HANDLE policy, PSID account, BOOLEAN allRights,
                                             PLSA_UNICODE_STRING rights, ULONG count);
    NTSTATUS(WINAPI* lsaClose)(LSA_HANDLE policy);
    BOOL(WINAPI* logonUser)(LPCWSTR user, LPCWSTR domain, LPCWSTR password, DWORD logonType, DWORD provider,
                            PHANDLE token);
};

// The system's functions, looked up once per process (netapi32 loaded from the system
// directory when the process has not loaded it); a missing one is null.
const AccountFunctions& systemAccountFunctions();

// What the natives call: the system's, or those of the innermost live replacement.
const AccountFunctions& accountFunctions();

// Puts other functions in place of the system's while it lives (tests).
using ReplacedAccountFunctions = Replacement<AccountFunctions>;

}  // namespace natives
