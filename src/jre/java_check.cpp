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

}  // namespace

JavaExeCheck::JavaExeCheck(std::string& path, std::string& version, const VersionComponents& minimum,
                           const VersionComponents& maximum, bool allowBeta, bool useCache, bool writeCache,
                           bool runOnThread)
    : path_(path), version_(version), minimum_(minimum), maximum_(maximum), allowBeta_(allowBeta), writeCache_(writeCache) {
    services::logMessage(L"checkJavaExe (%S, [out], %d, %d, %d)", path_, static_cast<int>(minimum_.size()),
                         static_cast<int>(maximum_.size()), allowBeta_ ? 1 : 0);
    path_ = files::canonicalPath(path_, false);
    if (!lastWriteTimeOf(path_, lastWriteTime_)) {
        services::logMessage(L"file doesn't exist");
        conclude(false);
        return;
    }
    services::logMessage(L"file exists");
    version_.clear();

    if (useCache) {
        std::string cachedVersion;
        uint32_t cachedMachine = 0;
        if (readVersionCache(path_, lastWriteTime_, cachedVersion, cachedMachine) && cachedVersion != kFailedRunVersion) {
            services::logMessage(L"got version from registry %S %d", cachedVersion, static_cast<int>(cachedMachine));
            version_ = cachedVersion;
            conclude(cachedMachine == kAcceptedJavaMachine && versionOutcome());
            return;
        }
    }
    run_ = std::make_unique<JavaVersionRun>(path_, lastWriteTime_);
    if (runOnThread) run_->startOnThread();
}

JavaExeCheck::~JavaExeCheck() = default;

bool JavaExeCheck::answer() {
    if (!answer_) conclude(runOutcome());
    return *answer_;
}

bool JavaExeCheck::runOutcome() {
    if (!run_->finish(version_)) {
        services::logMessage(L"couldn't get version");
        return false;
    }
    const uint16_t machine = readPeMachine(path_);
    services::logMessage(L"got version from execution %S %d", version_, static_cast<int>(machine));
    // Written whatever the machine: a foreign runtime is then refused without a run.
    if (writeCache_ && machine != 0) writeVersionCache(path_, lastWriteTime_, version_, machine);
    // An unreadable header does not refuse a runtime that ran and reported a version.
    if (machine != kAcceptedJavaMachine && machine != 0) return false;
    return versionOutcome();
}

bool JavaExeCheck::versionOutcome() {
    if (!isVersionAllowed(version_, minimum_, maximum_, allowBeta_)) return false;
    if (services::configInteger(kLauncherTypeId) == kWindowedLauncher && path_.size() > 4) {
        path_.replace(path_.size() - 4, 4, "w.exe");
        return files::pathExists(path_);
    }
    return true;
}

void JavaExeCheck::conclude(bool answer) {
    answer_ = false;
    if (isNonWorkingJava(path_)) return;
    services::logMessage(L"checkJavaExe returning %d", answer ? 1 : 0);
    answer_ = answer;
}

bool checkJavaExe(std::string& path, std::string& version, const VersionComponents& minimum,
                  const VersionComponents& maximum, bool allowBeta, bool useCache, bool writeCache) {
    return JavaExeCheck(path, version, minimum, maximum, allowBeta, useCache, writeCache, false).answer();
}

}  // namespace jre
