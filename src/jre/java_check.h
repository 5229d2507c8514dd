// The one test every candidate runtime passes through, whatever source it came from.
#pragma once

#include <string>

#include "jre/version_rules.h"

namespace jre {

// Whether the Java executable at `path` may be used: it exists, its version is known (from the
// version cache when `useCache`, else by running it, cached when `writeCache`), it is built for
// the launcher's machine, it passes the beta rule (unless `allowBeta`) and both bounds, and it
// is not on the non-working list. `path` becomes the canonical (full, lower-case) path, and for
// a windowed launcher (config id 107 = 1) that of javaw.exe beside it, which must then exist.
// `version` is cleared and receives the version found.
bool checkJavaExe(std::string& path, std::string& version, const VersionComponents& minimum,
                  const VersionComponents& maximum, bool allowBeta, bool useCache, bool writeCache);

}  // namespace jre
