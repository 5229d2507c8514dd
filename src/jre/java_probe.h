// Running `java.exe -version` to learn a runtime's version.
#pragma once

#include <windows.h>

#include <string>

namespace jre {

// How long a child may take to end after its error output has ended, and how long it may stay
// silent while its output is still open.
constexpr DWORD kJavaExitTimeout = 60000;

// Runs the executable (its short path) with -version: hidden window, standard error into a
// pipe, without "_JAVA_OPTIONS", "JAVA_TOOL_OPTIONS" and "JDK_JAVA_OPTIONS" (removed for the
// run and restored afterwards). A child still running at the time-out is ended. A non-zero
// exit code records version "1.0.0" in the version cache, which the next check ignores.
bool readJavaVersion(const std::string& path, const FILETIME& lastWriteTime, std::string& version,
                     DWORD exitTimeout = kJavaExitTimeout);

}  // namespace jre
