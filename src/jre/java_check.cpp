#include "jre/java_check.h"

#include <windows.h>

#include "base/text.h"
#include "files/path_operations.h"
#include "jre/java_probe.h"
#include "jre/non_working_list.h"
#include "jre/pe_machine.h"
#include "jre/version_cache.h"
#include "services/log.h"
#include "services/tables.h"

namespace jre {

namespace {

using services::logMessage;

constexpr int32_t kLauncherTypeId = 107;
constexpr int kWindowedLauncher = 1;
// Left behind by a java.exe that could not report its version; never a version to trust.
constexpr char kFailedRunVersion[] = "1.0.0";

bool lastWriteTimeOf(const std::string& path, FILETIME& lastWriteTime) {
    return files::pathExists(base::narrowToWide(path), &lastWriteTime);
}

struct CheckSettings {
    const VersionComponents& minimum;
    const VersionComponents& maximum;
    bool allowBeta;
    bool useCache;
    bool writeCache;
};

// Steps up to the verdict; the non-working list and the closing log line are the caller's.
bool evaluate(std::string& path, std::string& version, const CheckSettings& settings) {
    FILETIME lastWriteTime = {};
    if (!lastWriteTimeOf(path, lastWriteTime)) {
        services::logMessage(L"file doesn't exist");
        return false;
    }
    services::logMessage(L"file exists");
    version.clear();

    bool fromCache = false;
    if (settings.useCache) {
        std::string cachedVersion;
        uint32_t cachedMachine = 0;
        if (readVersionCache(path, lastWriteTime, cachedVersion, cachedMachine) &&
            cachedVersion != kFailedRunVersion) {
            services::logMessage(L"got version from registry %S %d", cachedVersion, static_cast<int>(cachedMachine));
            version = cachedVersion;
            if (cachedMachine != kAcceptedJavaMachine) return false;
            fromCache = true;
        }
    }
    if (!fromCache) {
        if (!readJavaVersion(path, lastWriteTime, version)) {
            services::logMessage(L"couldn't get version");
            return false;
        }
        const uint16_t machine = readPeMachine(path);
        services::logMessage(L"got version from execution %S %d", version, static_cast<int>(machine));
        // Written whatever the machine: a foreign runtime is then refused without a run.
        if (settings.writeCache && machine != 0) writeVersionCache(path, lastWriteTime, version, machine);
        // An unreadable header does not refuse a runtime that ran and reported a version.
        if (machine != kAcceptedJavaMachine && machine != 0) return false;
    }

    if (!isVersionAllowed(version, settings.minimum, settings.maximum, settings.allowBeta)) return false;
    if (services::configInteger(kLauncherTypeId) == kWindowedLauncher && path.size() > 4) {
        path.replace(path.size() - 4, 4, "w.exe");
        return files::pathExists(path);
    }
    return true;
}

}  // namespace

bool checkJavaExe(std::string& path, std::string& version, const VersionComponents& minimum,
                  const VersionComponents& maximum, bool allowBeta, bool useCache, bool writeCache) {
    services::logMessage(L"checkJavaExe (%S, [out], %d, %d, %d)", path, static_cast<int>(minimum.size()),
               static_cast<int>(maximum.size()), allowBeta ? 1 : 0);
    path = files::canonicalPath(path, false);
    const bool answer = evaluate(path, version, {minimum, maximum, allowBeta, useCache, writeCache});
    if (isNonWorkingJava(path)) return false;
    services::logMessage(L"checkJavaExe returning %d", answer ? 1 : 0);
    return answer;
}

}  // namespace jre
