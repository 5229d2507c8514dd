// The per-user cache of Java versions, so that a runtime seen in an earlier run need not be
// started again: one key per executable under HKEY_CURRENT_USER, valid while the executable's
// last-write time is unchanged. The launcher never deletes entries.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace jre {

// "SOFTWARE\halvern\lumbra\jvms2\" and the path with every backslash turned into a slash, so
// that the path is one key rather than a chain of them.
std::string versionCacheKey(const std::string& path);

// True when an entry exists for `path` whose "LastWriteTime" equals `lastWriteTime` and whose
// "Version" and "Machine" read back.
bool readVersionCache(const std::string& path, const FILETIME& lastWriteTime, std::string& version,
                      uint32_t& machine);
// Failures are ignored: the executable is then run again next time.
void writeVersionCache(const std::string& path, const FILETIME& lastWriteTime, const std::string& version,
                       uint32_t machine);

}  // namespace jre
