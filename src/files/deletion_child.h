// The "__cvn_windel" mode: a second instance of the executable that removes what a launcher
// (or the Java side) could not remove while it ran.
#pragma once

#include <string>

#include "services/platform.h"

namespace files {

// Reads the deletion file (and deletes it when it is one), waits for the semaphore it names,
// removes the entries, schedules leftovers for the reboot and asks about a reboot when the
// file wants that. Returns the exit code of the mode, 0.
int runDeletionChild(const std::wstring& deletionFile,
                     const services::RebootActions& rebootActions = services::systemRebootActions());

// Blocks while a semaphore of that name exists; returns at once for a name that cannot be a
// semaphore's.
void waitForSemaphoreRelease(const std::wstring& name);

// The registry value that tells the Java side whether a requested reboot has happened yet.
inline constexpr wchar_t kRebootCheckKey[] = L"SOFTWARE\\halvern\\corvane\\";
inline constexpr wchar_t kRebootCheckValue[] = L"RebootCheckFile";

}  // namespace files
