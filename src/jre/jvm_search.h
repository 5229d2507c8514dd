// The search for a usable Java runtime on this machine when the installer brings none or its
// own cannot be used: preference and installer location files, the configured search sequence
// (config id 128), a relative pass over it, and two environment variables. Each candidate is
// tested with checkJavaExe; the first whose jvm.dll loads ends the search.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "jre/java_check.h"
#include "jre/jvm_loading.h"
#include "jre/version_rules.h"

namespace jre {

struct SearchOutcome {
    std::string javaExe;
    std::string version;
    SourceKind kind = SourceKind::None;
    // The folder or file text of a location, the variable's name for an environment source.
    std::string locationText;
};

// The loaded jvm.dll, or none; `outcome` keeps the last candidate that was accepted.
HMODULE searchJvm(SearchOutcome& outcome);

// Whether the runtime folder may be used: its canonical form, packed jars expanded, its layout
// found (`javaExe`), then the version check (cached unless `force`). `force` accepts any layout
// and any version, and in a language restart skips the check altogether.
bool testLocation(std::string& javaExe, std::string& version, const std::string& directory,
                  const VersionComponents& minimum, const VersionComponents& maximum, bool allowBeta, bool force);

// testLocation in two halves (JavaExeCheck's): the constructor finds the layout and begins the
// check, whose java.exe runs beside the caller's work; answer() ends it. Until then `javaExe`
// is the executable found.
class LocationTest {
public:
    LocationTest(std::string& javaExe, std::string& version, const std::string& directory,
                 const VersionComponents& minimum, const VersionComponents& maximum, bool allowBeta, bool force,
                 bool runOnThread = true);
    bool answer();

private:
    std::optional<bool> answer_;
    std::optional<JavaExeCheck> check_;
    bool force_;
};
// The runtime folder named by an environment variable (forward slashes taken as backslashes).
bool findJreFromEnv(std::string& javaExe, std::string& version, const std::string& name,
                    const VersionComponents& minimum, const VersionComponents& maximum);
// java.exe as the system finds it along the executable search path.
bool findJavaOnPath(std::string& javaExe, std::string& version, const VersionComponents& minimum,
                    const VersionComponents& maximum);

// Set when the loaded runtime is that of a previous installation of this application; the
// launch then tells the Java side (cvn.previousJdk).
bool usesPreviousInstallationJre();

// The first line of a text file (at most 5999 characters, line ends removed); empty when the
// file is missing or unreadable.
std::string readFirstLine(const std::string& path);

}  // namespace jre
