// The one way a failed or cancelled run ends.
#pragma once

namespace files {

// Removes what this run put into the temporary folder and ends the process with `exitCode`.
[[noreturn]] void cleanUpAndExit(int exitCode);

}  // namespace files
