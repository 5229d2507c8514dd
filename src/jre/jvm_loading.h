// Turns a chosen Java runtime into a virtual machine library loaded into this process: the
// runtime's bin folder goes on PATH and into the DLL search, jvm.dll is loaded from one of its
// subfolders, and what the launch needs about the runtime is published. Also the two PATH
// adjustments of start-up (native library folders first; optionally PATH cut down to the
// Windows folder).
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace jre {

// Where an accepted runtime came from; decides the message shown when it cannot be loaded.
enum class SourceKind : int { None = 0, SearchPath = 1, Location = 2, EnvironmentVariable = 3, Registry = 4 };

// What the launch reads about the runtime of the last load attempt.
struct LoadedRuntime {
    FARPROC createJavaVm = nullptr;  // JNI_CreateJavaVM, once a load succeeded
    std::string home;                // folder of java.exe + "\.."
    std::string version;
    std::string binDirectory;  // the folder jvm.dll was loaded from (its "bin" above the subfolder)
};
const LoadedRuntime& loadedRuntime();

// Loads a runtime: the one at `location` (a runtime folder, or a java.exe when
// `locationIsJavaExe`), or when there is none the first the search finds. On failure, with
// `showErrors`, tells the user why by the source kind.
bool LoadDLL(bool showErrors, const std::optional<std::string>& location, bool locationIsJavaExe);

// jvm.dll of the runtime of `javaExe`, else of the runtime embedded beside it (a JDK whose own
// bin folder has no usable library: bin\..\jre\bin).
HMODULE loadJvmFromJavaExe(const std::string& javaExe);
// jvm.dll from the bin folder of `javaExe`: PATH and DLL search prepared, the candidate
// subfolders tried in order; PATH and the DLL search are restored when none loads.
HMODULE tryJvmDll(const std::string& javaExe);
HMODULE tryJvmDllCandidate(const std::string& bin, const std::string& subdirectory);
// Loads the runtime's own ucrtbase.dll first on Windows before 6.4, whose system copy may be
// missing or older.
void preloadUcrtbase(const std::string& bin);

// Puts the configured native library folders (config id 10004, relative ones against the
// executable's folder) before PATH and into the DLL search.
void setNativeLibPath();
// With config id 10010: keeps only the PATH entries inside the Windows folder.
void reducePath();

}  // namespace jre
