// The calls of the service natives a test needs to stand in for: opening the manager (an
// administrator's process under Wine always can, so the refusal has to be made), and the
// configuration changes whose arguments Wine does not keep (dependencies, failure actions,
// delayed start), so that they can be seen on their way. ChangeServiceConfig2W is looked up at
// run time.
#pragma once

#include <windows.h>

#include "natives/replaceable.h"

namespace natives {

struct ServiceFunctions {
    SC_HANDLE(WINAPI* openManager)(LPCWSTR machine, LPCWSTR database, DWORD access);
    BOOL(WINAPI* changeServiceConfig)(SC_HANDLE service, DWORD serviceType, DWORD startType, DWORD errorControl,
                                      LPCWSTR binaryPath, LPCWSTR loadOrderGroup, LPDWORD tag, LPCWSTR dependencies,
                                      LPCWSTR account, LPCWSTR password, LPCWSTR displayName);
    BOOL(WINAPI* changeServiceConfig2)(SC_HANDLE service, DWORD level, LPVOID info);
};

// The system's functions; changeServiceConfig2 is null where advapi32 lacks it.
const ServiceFunctions& systemServiceFunctions();
// What the natives call: the system's, or those of the innermost live replacement.
const ServiceFunctions& serviceFunctions();

// Puts other functions in place of the system's while it lives (tests).
using ReplacedServiceFunctions = Replacement<ServiceFunctions>;

}  // namespace natives
