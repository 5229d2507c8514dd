// The one way a failed or cancelled run ends.
#pragma once

#include <string>

namespace files {

// Removes what this run put into the temporary folder and ends the process with `exitCode`.
// What cannot be removed yet is listed in a deletion file for a deletion child, a second
// instance of this executable that finishes the work once this process has ended.
[[noreturn]] void cleanUpAndExit(int exitCode);

// The semaphore the deletion child waits for: the single-instance semaphore, whose last
// holder ending means no instance can still hold the files. Without one, the clean-up holds
// a semaphore of its own for the rest of the process.
void setDeletionSemaphoreName(std::wstring name);

}  // namespace files
