// Unpacking the included runtime ("jre.tar.gz") into its folder, with progress on control 1001
// of the progress window and the user's Cancel honoured between and inside files.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace jre {

// True when the archive was read to its end with at least one regular file extracted, or when
// the user cancelled. The current directory is the target's during the work and restored after
// it. A file that cannot be created ends the launcher ("Could not open file ...").
bool extractJreArchive(const std::string& archive, const std::string& target, HWND window, int64_t total);

}  // namespace jre
