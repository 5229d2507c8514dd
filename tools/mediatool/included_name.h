// Names of included files. The launcher joins each name to its extraction directory and
// creates at most one directory level, so a name must stay inside that directory on its own.
#pragma once

#include <string>
#include <string_view>

namespace media {

// Checks a UTF-8 name written with '/' or '\' and returns it with '\' separators. Throws
// MediaBuildError saying what is wrong: absolute, drive or stream (':'), "." or "..", empty
// components, more than one directory level, ';' (the list separator), characters Windows
// does not allow in file names, trailing dots or blanks, device names.
std::string storedIncludedName(std::string_view name);

// A key under which two names collide exactly when Windows would take them for the same
// file (its file names ignore case).
std::wstring includedNameKey(std::string_view storedName);

}  // namespace media
