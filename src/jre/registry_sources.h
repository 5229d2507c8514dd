// Runtimes the registry knows of: the one a previous installation of this application
// installed (search entry type I), those Java vendors registered and those a user once picked
// by hand (type Y). Every candidate passes findJavaExeInDir and checkJavaExe, so a path on the
// non-working list is never returned again and the search's retry loop moves on.
#pragma once

#include <optional>
#include <string>

#include "jre/version_rules.h"

namespace jre {

// Type I: the "jre" folder of each installation directory recorded for this application
// (config id 160) under "SOFTWARE\halvern\corvane\installations", user hive before machine
// hive, each in the default and the 32-bit view. Fills the java.exe path and its version.
bool findPreviousInstallationJre(std::string& javaExe, std::string& version, const VersionComponents& minimum,
                                 const VersionComponents& maximum);

// Type Y: the newer of the best vendor-registered runtime and the best located JVM; equal
// versions prefer the located one. Finds nothing when config id 165 is set.
bool findRegistryOrLocatedJre(std::string& javaExe, std::string& version, const VersionComponents& minimum,
                              const VersionComponents& maximum);

// Records a java.exe the user picked and the launcher could load, as a subkey of
// "SOFTWARE\halvern\lumbra\locatedjvms\" (machine hive, else user hive).
void registerLocatedJvm(const std::string& javaExe);

// The two halves of type Y.

// The vendor keys under HKEY_LOCAL_MACHINE in their fixed order, each contributing its best
// runtime; the newest of those, the earlier key winning a tie. When a JDK is required (config
// id 131) the keys that only ever hold JREs are not opened.
bool findRegistryJre(std::string& javaExe, std::string& version, const VersionComponents& minimum,
                     const VersionComponents& maximum);
// The newest runtime recorded by registerLocatedJvm under HKEY_LOCAL_MACHINE, or the one under
// HKEY_CURRENT_USER when it is strictly newer.
bool findLocatedJvm(std::string& javaExe, std::string& version, const VersionComponents& minimum,
                    const VersionComponents& maximum);

struct RegistryCandidate {
    std::string javaExe;
    std::string version;
};

// One vendor key (under HKEY_LOCAL_MACHINE): its subkeys are runtime versions; the first
// acceptable runtime in newest-first order. The home is the subkey's "JavaHome", in installer
// mode the "Path" of its "hotspot\MSI" subkey, in zulu mode its "InstallationPath" (and a
// "zulu-" before the version is left out when the name is compared with the bounds).
std::optional<RegistryCandidate> findInVendorKey(const std::string& key, bool installerMode, bool zuluMode,
                                                 const VersionComponents& minimum, const VersionComponents& maximum);

}  // namespace jre
