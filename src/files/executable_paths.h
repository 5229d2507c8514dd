// Where the running executable lies, and the user's temporary folder.
#pragma once

#include <string>

namespace files {

// Full path of the running executable in its long form (the module path when the long form
// cannot be had). Computed once.
const std::wstring& executableLongPath();

// The folder GetTempPathW names, without a trailing separator; empty when there is none.
std::wstring systemTemporaryFolder();

}  // namespace files
