// checkJavaExe and its pieces against stand-in runtimes: the runs.log in each runtime's home
// tells a real run from an answer out of the version cache.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

#include "base/text.h"
#include "jre/java_check.h"
#include "jre/java_probe.h"
#include "jre/non_working_list.h"
#include "jre/pe_machine.h"
#include "jre/version_cache.h"
#include "log_capture.h"
#include "services/tables.h"
#include "stand_in_runtimes.h"

using stand_in::Behaviour;
using stand_in::Shape;

namespace {

std::string narrow(const std::wstring& text) { return base::wideToNarrow(text); }

// The canonical form checkJavaExe gives the laid-out paths (already full).
std::string canonical(const std::wstring& path) {
    std::string text = narrow(path);
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return text;
}

FILETIME lastWriteTime(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

struct CheckResult {
    bool accepted;
    std::string path;
    std::string version;
};

struct CheckOptions {
    jre::VersionComponents minimum;
    jre::VersionComponents maximum;
    bool allowBeta = false;
    bool useCache = true;
    bool writeCache = true;
};

CheckResult check(const std::wstring& javaExe, const CheckOptions& options = {}) {
    CheckResult result;
    result.path = narrow(javaExe);
    result.version = "stale";
    result.accepted = jre::checkJavaExe(result.path, result.version, options.minimum, options.maximum,
                                        options.allowBeta, options.useCache, options.writeCache);
    return result;
}

std::wstring machineText(uint16_t machine) { return std::to_wstring(machine); }

class JavaCheck : public ::testing::Test {
protected:
    void SetUp() override { services::setConfigTable({}); }
    void TearDown() override { services::setConfigTable({}); }

    stand_in::RuntimeFolder folder;
};

}  // namespace

TEST_F(JavaCheck, TheVersionCacheSavesTheSecondRun) {
    const auto runtime = stand_in::layOutRuntime(folder / L"Jdk17", Shape::Bin);
    LogSince log;
    const CheckResult first = check(runtime.javaExe);
    EXPECT_TRUE(first.accepted);
    EXPECT_EQ(first.version, "17.0.2");
    EXPECT_EQ(first.path, canonical(runtime.javaExe));
    EXPECT_TRUE(log.has(L"got version from execution 17.0.2 " + machineText(jre::kAcceptedJavaMachine)));
    EXPECT_TRUE(log.has(L"checkJavaExe returning 1"));
    ASSERT_EQ(stand_in::runLog(runtime.home).size(), 1u);
    // Started by its short path, quoted, with -version (the variables it saw follow a tab).
    const std::string entry = stand_in::runLog(runtime.home)[0];
    const std::string run = entry.substr(0, entry.find('\t'));
    EXPECT_EQ(run.front(), '"');
    EXPECT_EQ(run.substr(run.size() - 10), "\" -version");

    const CheckResult second = check(runtime.javaExe);
    EXPECT_TRUE(second.accepted);
    EXPECT_EQ(second.version, "17.0.2");
    EXPECT_EQ(stand_in::runLog(runtime.home).size(), 1u);
    EXPECT_TRUE(log.has(L"got version from registry 17.0.2 " + machineText(jre::kAcceptedJavaMachine)));

    // Without useCache the runtime runs whatever the cache holds.
    check(runtime.javaExe, {.useCache = false});
    EXPECT_EQ(stand_in::runLog(runtime.home).size(), 2u);
}

TEST_F(JavaCheck, ReplacingTheExecutableInPlaceInvalidatesItsEntry) {
    const auto runtime = stand_in::layOutRuntime(folder / L"jre", Shape::JreBin);
    EXPECT_EQ(check(runtime.javaExe).version, "17.0.2");
    stand_in::describe(runtime.home, {.version = "17.0.9"});
    EXPECT_EQ(check(runtime.javaExe).version, "17.0.2");  // still the cached answer
    stand_in::touch(runtime.javaExe);
    const CheckResult afterTouch = check(runtime.javaExe);
    EXPECT_TRUE(afterTouch.accepted);
    EXPECT_EQ(afterTouch.version, "17.0.9");
    EXPECT_EQ(stand_in::runLog(runtime.home).size(), 2u);
}

TEST_F(JavaCheck, ARuntimeOfTheOtherMachineIsRefusedAndRemembered) {
    const auto runtime = stand_in::layOutRuntime(folder / L"foreign", Shape::OtherMachine);
    const std::wstring other = machineText(stand_in::otherMachine());
    LogSince log;
    EXPECT_FALSE(check(runtime.javaExe).accepted);
    EXPECT_TRUE(log.has(L"got version from execution 17.0.2 " + other));
    EXPECT_TRUE(log.has(L"checkJavaExe returning 0"));

    // Refused again from the cache, without starting it.
    const CheckResult second = check(runtime.javaExe);
    EXPECT_FALSE(second.accepted);
    EXPECT_EQ(second.version, "17.0.2");
    EXPECT_TRUE(log.has(L"got version from registry 17.0.2 " + other));
    EXPECT_EQ(stand_in::runLog(runtime.home).size(), 1u);
}

TEST_F(JavaCheck, WithoutWriteCacheNothingIsRecorded) {
    const auto runtime = stand_in::layOutRuntime(folder / L"foreign", Shape::OtherMachine);
    const CheckResult result = check(runtime.javaExe, {.writeCache = false});
    EXPECT_FALSE(result.accepted);
    std::string version;
    uint32_t machine = 0;
    EXPECT_FALSE(jre::readVersionCache(result.path, lastWriteTime(runtime.javaExe), version, machine));
}

TEST_F(JavaCheck, AFailedRunLeavesVersion100AndRunsAgainNextTime) {
    const auto runtime = stand_in::layOutRuntime(folder / L"broken", Shape::Bin, {.exitCode = 1});
    LogSince log;
    const CheckResult first = check(runtime.javaExe);
    EXPECT_FALSE(first.accepted);
    EXPECT_TRUE(log.has(L"Exit Code 1"));
    EXPECT_TRUE(log.has(L"couldn't get version"));
    std::string version;
    uint32_t machine = 0;
    ASSERT_TRUE(jre::readVersionCache(first.path, lastWriteTime(runtime.javaExe), version, machine));
    EXPECT_EQ(version, "1.0.0");
    EXPECT_EQ(machine, 332u);

    stand_in::describe(runtime.home, {});
    const CheckResult second = check(runtime.javaExe);
    EXPECT_TRUE(second.accepted);
    EXPECT_EQ(second.version, "17.0.2");
    EXPECT_EQ(stand_in::runLog(runtime.home).size(), 2u);
}

// A java.exe that is no program cannot be started: logged, refused, and nothing remembered, so
// that a repaired runtime is run next time.
TEST_F(JavaCheck, AJavaThatCannotStartIsLoggedAndLeavesNoEntry) {
    const auto runtime = stand_in::layOutRuntime(folder / L"notaprogram", Shape::Bin);
    const HANDLE file = CreateFileW(runtime.javaExe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, "no program", 10, &written, nullptr);
    CloseHandle(file);
    LogSince log;
    const CheckResult result = check(runtime.javaExe);
    EXPECT_FALSE(result.accepted);
    EXPECT_TRUE(log.hasPrefix(L"Could not create process \""));
    EXPECT_TRUE(log.has(L"couldn't get version"));
    std::string version;
    uint32_t machine = 0;
    EXPECT_FALSE(jre::readVersionCache(result.path, lastWriteTime(runtime.javaExe), version, machine));
}

TEST_F(JavaCheck, AVersionLineWithoutClosingQuoteStillGivesAVersion) {
    const auto runtime =
        stand_in::layOutRuntime(folder / L"noquote", Shape::Bin, {.version = "11.0.2", .closingQuote = false});
    const CheckResult result = check(runtime.javaExe);
    EXPECT_TRUE(result.accepted);
    // The rest of the line loses two characters: its carriage return and the last digit.
    EXPECT_EQ(result.version, "11.0.");
}

TEST_F(JavaCheck, AHungJavaIsEndedAtTheTimeOut) {
    const auto runtime = stand_in::layOutRuntime(folder / L"hung", Shape::Bin, {.delay = 60000});
    LogSince log;
    std::string version;
    const std::string path = narrow(runtime.javaExe);
    EXPECT_FALSE(jre::readJavaVersion(path, lastWriteTime(runtime.javaExe), version, 300));
    EXPECT_TRUE(log.has(L"Exit Code 259"));
    EXPECT_TRUE(log.has(L"Terminating process"));
    uint32_t machine = 0;
    EXPECT_FALSE(jre::readVersionCache(path, lastWriteTime(runtime.javaExe), version, machine));
    // Ended, not left behind: its executable can be deleted.
    EXPECT_TRUE(DeleteFileW(runtime.javaExe.c_str()));
}

TEST_F(JavaCheck, JavaOptionsVariablesAreHiddenFromTheRunAndRestored) {
    const auto runtime = stand_in::layOutRuntime(folder / L"options", Shape::Bin);
    SetEnvironmentVariableW(L"_JAVA_OPTIONS", L"-Dcvn.test=1");
    SetEnvironmentVariableW(L"JAVA_TOOL_OPTIONS", L"-Dname=\u4e2d\u00e9");
    SetEnvironmentVariableW(L"JDK_JAVA_OPTIONS", nullptr);
    LogSince log;
    std::string version;
    EXPECT_TRUE(jre::readJavaVersion(narrow(runtime.javaExe), lastWriteTime(runtime.javaExe), version));
    EXPECT_EQ(version, "17.0.2");

    const auto runs = stand_in::runLog(runtime.home);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].find("OPTIONS="), std::string::npos) << runs[0];
    EXPECT_TRUE(log.has(L"_JAVA_OPTIONS is -Dcvn.test=1"));

    wchar_t value[64] = {};
    EXPECT_EQ(GetEnvironmentVariableW(L"_JAVA_OPTIONS", value, 64), 12u);
    EXPECT_STREQ(value, L"-Dcvn.test=1");
    EXPECT_GT(GetEnvironmentVariableW(L"JAVA_TOOL_OPTIONS", value, 64), 0u);
    EXPECT_STREQ(value, L"-Dname=\u4e2d\u00e9");
    EXPECT_EQ(GetEnvironmentVariableW(L"JDK_JAVA_OPTIONS", value, 64), 0u);
    SetEnvironmentVariableW(L"_JAVA_OPTIONS", nullptr);
    SetEnvironmentVariableW(L"JAVA_TOOL_OPTIONS", nullptr);
}

TEST_F(JavaCheck, AWindowedLauncherAnswersWithJavawAndNeedsIt) {
    services::setConfigTable({{107, "1"}});
    const auto runtime = stand_in::layOutRuntime(folder / L"gui", Shape::Bin);
    const CheckResult result = check(runtime.javaExe);
    EXPECT_TRUE(result.accepted);
    EXPECT_EQ(result.path, canonical(runtime.javawExe));

    const auto bare = stand_in::layOutRuntime(folder / L"bare", Shape::NoJavaw);
    LogSince log;
    const CheckResult refused = check(bare.javaExe);
    EXPECT_FALSE(refused.accepted);
    EXPECT_EQ(refused.path, canonical(bare.home + L"\\bin\\javaw.exe"));
    EXPECT_TRUE(log.has(L"checkJavaExe returning 0"));
}

TEST_F(JavaCheck, VersionRulesApplyToCachedAndRunVersionsAlike) {
    const auto runtime = stand_in::layOutRuntime(folder / L"ea", Shape::Bin, {.version = "1.8.0_20-ea"});
    LogSince log;
    EXPECT_FALSE(check(runtime.javaExe).accepted);
    EXPECT_TRUE(log.has(L"beta vm not allowed"));
    EXPECT_TRUE(check(runtime.javaExe, {.allowBeta = true}).accepted);
    EXPECT_FALSE(check(runtime.javaExe, {.minimum = jre::splitVersion("9"), .allowBeta = true}).accepted);
    EXPECT_TRUE(check(runtime.javaExe, {.minimum = jre::splitVersion("1.8"), .maximum = jre::splitVersion("1.8"),
                                        .allowBeta = true})
                    .accepted);
    services::setConfigTable({{130, "1"}});
    EXPECT_TRUE(check(runtime.javaExe).accepted);
    EXPECT_EQ(stand_in::runLog(runtime.home).size(), 1u);
}

TEST_F(JavaCheck, ANonWorkingPathIsRefusedWithoutAClosingLine) {
    const auto runtime = stand_in::layOutRuntime(folder / L"nonworking", Shape::Bin);
    const CheckResult first = check(runtime.javaExe);
    ASSERT_TRUE(first.accepted);
    jre::addNonWorkingJava(first.path);
    LogSince log;
    EXPECT_FALSE(check(runtime.javaExe).accepted);
    EXPECT_FALSE(log.hasPrefix(L"checkJavaExe returning"));
    EXPECT_TRUE(log.hasPrefix(L"checkJavaExe ("));
}

TEST_F(JavaCheck, MissingFilesAreRefusedAndRelativePathsResolveAgainstTheLauncher) {
    LogSince log;
    const CheckResult missing = check(folder / L"none\\bin\\java.exe");
    EXPECT_FALSE(missing.accepted);
    EXPECT_TRUE(log.has(L"file doesn't exist"));
    EXPECT_TRUE(log.has(L"checkJavaExe returning 0"));
    EXPECT_EQ(missing.version, "stale");

    wchar_t program[MAX_PATH];
    const std::wstring self(program, GetModuleFileNameW(nullptr, program, MAX_PATH));
    const CheckResult relative = check(L"Sub\\.\\Java.exe");
    EXPECT_EQ(relative.path, canonical(self.substr(0, self.find_last_of(L'\\') + 1) + L"sub\\java.exe"));
}

TEST(VersionCache, EntriesMatchOnlyTheirLastWriteTime) {
    stand_in::RuntimeFolder folder;
    const std::string path = canonical(folder / L"cache\\bin\\java.exe");
    EXPECT_EQ(jre::versionCacheKey("C:\\jre\\bin\\java.exe"), "SOFTWARE\\halvern\\lumbra\\jvms2\\C:/jre/bin/java.exe");

    const FILETIME written = {0x12345678, 0x01D00000};
    jre::writeVersionCache(path, written, "1.8.0_292", 332);
    std::string version;
    uint32_t machine = 0;
    ASSERT_TRUE(jre::readVersionCache(path, written, version, machine));
    EXPECT_EQ(version, "1.8.0_292");
    EXPECT_EQ(machine, 332u);
    const FILETIME later = {0x12345679, 0x01D00000};
    EXPECT_FALSE(jre::readVersionCache(path, later, version, machine));

    // A value stored without terminator reads back whole, and no further.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, jre::versionCacheKey(path).c_str(), 0, KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    const wchar_t unterminated[] = L"11.0.2Z";
    RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(unterminated), 6 * sizeof(wchar_t));
    RegCloseKey(key);
    ASSERT_TRUE(jre::readVersionCache(path, written, version, machine));
    EXPECT_EQ(version, "11.0.2");

    // The launcher reads versions into 6000 bytes, terminator included.
    jre::writeVersionCache(path, written, std::string(5999, '1'), 332);
    ASSERT_TRUE(jre::readVersionCache(path, written, version, machine));
    EXPECT_EQ(version.size(), 5999u);
    jre::writeVersionCache(path, written, std::string(6001, '1'), 332);
    EXPECT_FALSE(jre::readVersionCache(path, written, version, machine));
}

TEST(StandInRuntimes, EveryShapeIsLaidOutAndRuns) {
    stand_in::RuntimeFolder folder;
    const auto exists = [](const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; };
    const auto runs = [](const std::wstring& javaExe) {
        std::string version;
        return jre::readJavaVersion(narrow(javaExe), lastWriteTime(javaExe), version) && version == "17.0.2";
    };

    const auto jreBin = stand_in::layOutRuntime(folder / L"a", Shape::JreBin);
    EXPECT_EQ(jreBin.javaExe, folder / L"a\\jre\\bin\\java.exe");
    EXPECT_TRUE(exists(jreBin.javawExe));
    EXPECT_TRUE(runs(jreBin.javaExe));

    const auto jdk = stand_in::layOutRuntime(folder / L"b", Shape::JdkWithJre);
    EXPECT_EQ(jdk.javaExe, folder / L"b\\bin\\java.exe");
    EXPECT_TRUE(exists(folder / L"b\\lib\\tools.jar"));
    EXPECT_EQ(jdk.embeddedJavaExe, folder / L"b\\jre\\bin\\java.exe");
    EXPECT_TRUE(runs(jdk.javaExe));
    EXPECT_TRUE(runs(jdk.embeddedJavaExe));
    EXPECT_EQ(stand_in::runLog(jdk.home).size(), 1u);
    EXPECT_EQ(stand_in::runLog(jdk.embeddedHome).size(), 1u);

    const auto bare = stand_in::layOutRuntime(folder / L"c", Shape::NoJavaw);
    EXPECT_TRUE(bare.javawExe.empty());
    EXPECT_FALSE(exists(folder / L"c\\bin\\javaw.exe"));

    const auto bin = stand_in::layOutRuntime(folder / L"d", Shape::Bin);
    EXPECT_EQ(jre::readPeMachine(narrow(bin.javaExe)), jre::kAcceptedJavaMachine);
    EXPECT_EQ(jre::readPeMachine(narrow(bin.javawExe)), jre::kAcceptedJavaMachine);
    const auto foreign = stand_in::layOutRuntime(folder / L"e", Shape::OtherMachine);
    EXPECT_EQ(jre::readPeMachine(narrow(foreign.javawExe)), stand_in::otherMachine());
    EXPECT_EQ(jre::readPeMachine(narrow(foreign.javaExe)), jre::kAcceptedJavaMachine);
    EXPECT_TRUE(runs(foreign.javaExe));
    EXPECT_EQ(jre::readPeMachine(narrow(foreign.javaExe)), stand_in::otherMachine());
}
