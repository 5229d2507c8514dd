// The one step of shortcut creation that some shells only pretend to do (Wine's link object
// keeps no data flags), apart so that what it asks of the link can be checked on its own.
#pragma once

#include <windows.h>

#include <shobjidl.h>

namespace natives {

// The link data flags bit that makes the shell start the target elevated (SLDF_RUNAS_USER).
inline constexpr DWORD kRunAsAdministratorFlag = 0x2000;

// Adds the run-as-administrator bit to the link's data flags; false when reading or writing
// them fails.
bool markRunAsAdministrator(IShellLinkDataList* dataList);

}  // namespace natives
