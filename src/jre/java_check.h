// The one test every candidate runtime passes through, whatever source it came from.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "jre/version_rules.h"

namespace jre {

class JavaVersionRun;

// Whether the Java executable at `path` may be used: it exists, its version is known (from the
// version cache when `useCache`, else by running it, cached when `writeCache`), it is built for
// the launcher's machine, it passes the beta rule (unless `allowBeta`) and both bounds, and it
// is not on the non-working list. `path` becomes the canonical (full, lower-case) path, and for
// a windowed launcher (config id 107 = 1) that of javaw.exe beside it, which must then exist.
// `version` is cleared and receives the version found.
bool checkJavaExe(std::string& path, std::string& version, const VersionComponents& minimum,
                  const VersionComponents& maximum, bool allowBeta, bool useCache, bool writeCache);

// checkJavaExe in two halves, for a caller with work that does not need the answer. The
// constructor does everything up to running the executable, with its log lines (the whole
// check when no run is needed: a missing file, a cached version), and begins the run on a
// thread of its own; answer() waits for it and ends the check. Until then `path` is the
// canonical path of the executable, and the caller starts no other process.
class JavaExeCheck {
public:
    JavaExeCheck(std::string& path, std::string& version, const VersionComponents& minimum,
                 const VersionComponents& maximum, bool allowBeta, bool useCache, bool writeCache,
                 bool runOnThread = true);
    ~JavaExeCheck();
    JavaExeCheck(const JavaExeCheck&) = delete;
    JavaExeCheck& operator=(const JavaExeCheck&) = delete;

    bool answer();

private:
    bool runOutcome();
    bool versionOutcome();
    void conclude(bool answer);

    std::string& path_;
    std::string& version_;
    const VersionComponents& minimum_;
    const VersionComponents& maximum_;
    const bool allowBeta_;
    const bool writeCache_;
    FILETIME lastWriteTime_ = {};
    std::unique_ptr<JavaVersionRun> run_;
    std::optional<bool> answer_;
};

}  // namespace jre
