// Path rules that are pure text: no file system is asked. Each comes in the narrow form (the
// file-API code page) and the wide form, because the launcher carries most paths both ways.
#pragma once

#include <string>
#include <string_view>

namespace files {

// "C:\", "C:\." and "C:\.\." (whatever the first character): roots that exist on every
// drive the system knows, so nobody needs to touch the disk to say so.
bool isDriveRoot(std::string_view path);
bool isDriveRoot(std::wstring_view path);

// False for "X:\..." and "\\..." (after one optional leading double quote); true otherwise,
// and always for texts too short to hold a drive prefix.
bool isRelativePath(std::string_view path);
bool isRelativePath(std::wstring_view path);

// From `start` on, every run of backslashes becomes one; a run at position 0 keeps two
// characters so that a UNC prefix survives.
void foldSeparators(std::string& path, size_t start = 0);
void foldSeparators(std::wstring& path, size_t start = 0);

// At least five characters, the last four ".exe" in any case.
bool endsWithExe(std::string_view path);

// "!\" inside or "!" at the end: such paths break the "jar:...!/" URLs of the Java side.
bool hasBangSeparator(std::string_view path);
bool hasBangSeparator(std::wstring_view path);

// The path up to and including its last backslash; empty when it has none.
std::string directoryPart(std::string_view path);
std::wstring directoryPart(std::wstring_view path);

// Appends `path` to `out`, prefixed with `directory` when it is relative, and folds doubled
// backslashes from the joint on. `directory` is expected to end with a backslash.
void appendResolved(std::string& out, std::string_view path, std::string_view directory);
void appendResolved(std::wstring& out, std::wstring_view path, std::wstring_view directory);

// A drive path ("X:\...") or a UNC or device path ("\\..."): the only forms a deletion
// entry may have, since anything else would resolve against some current directory.
bool isFullPath(std::wstring_view path);

// The name GetTempFileName gives an extraction directory's reservation: "lmb", one to four
// hexadecimal digits, ".tmp" (any case).
bool isReservationName(std::wstring_view name);
// The name of a directory that the reservation `reservation` made: that name, "_dir" and the
// decimal time of its creation.
bool isReservedDirectoryName(std::wstring_view reservation, std::wstring_view name);

// The names of the launcher's extraction directories contain both "lmb" and ".tmp_dir".
bool isLauncherDirectoryPath(std::wstring_view path);

// A form the wide file functions accept at any length: full paths of MAX_PATH characters or
// more get the "\\?\" (or "\\?\UNC\") prefix; everything else is returned unchanged.
// `whateverItsLength` gives a full path the prefix however short it is.
std::wstring extendedLengthPath(std::wstring_view path, bool whateverItsLength = false);

}  // namespace files
