// Where the running executable lies, in the forms the rest of the launcher needs, and the
// user's temporary folder. Each value is computed on first use and kept for the process.
#pragma once

#include <string>

namespace files {

// Full path of the running executable in its long form (the module path when the long form
// cannot be had), doubled backslashes folded.
const std::wstring& executableLongPath();

// A narrow form of the executable path that the file functions accept back: the plain
// conversion, else the 8.3 short path, else the command interpreter's short form, else the
// system's own narrow module name. Empty when none was found.
const std::string& executableNarrowPath();

// The full executable path with its file part cut off; ends with a backslash.
const std::string& executableDirectory();
// executableDirectory() converted to wide text.
const std::wstring& executableDirectoryWide();
// The directory of executableLongPath(), ending with a backslash.
const std::wstring& executableLongDirectory();
// Makes that directory the current one (without the backslash, but for a drive's root): what
// removes an extraction directory must not hold it as its own current directory.
void enterExecutableDirectory();

// The folder GetTempPathW names, without a trailing separator; empty when there is none.
std::wstring systemTemporaryFolder();

}  // namespace files
