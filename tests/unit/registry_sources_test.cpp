// The registry sources against stand-in runtimes. Each test redirects this process's
// HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER to fresh keys of its own, so it sees only what it
// wrote, and test programs running beside it never see its keys.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

#include "base/text.h"
#include "jre/non_working_list.h"
#include "jre/registry_sources.h"
#include "log_capture.h"
#include "registry_sandbox.h"
#include "services/tables.h"
#include "stand_in_runtimes.h"

using stand_in::Shape;
using namespace test_registry;

namespace {

constexpr char kInstallations[] = "SOFTWARE\\halvern\\corvane\\installations";

std::string narrow(const std::wstring& text) { return base::wideToNarrow(text); }
std::wstring wide(const std::string& text) { return base::narrowToWide(text); }

std::string canonical(const std::wstring& path) {
    std::string text = narrow(path);
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return text;
}

jre::VersionComponents bound(const char* text) { return jre::splitVersion(text); }

class RegistrySources : public ::testing::Test {
protected:
    void SetUp() override { services::setConfigTable({}); }
    void TearDown() override { services::setConfigTable({}); }

    // A runtime whose java.exe sits in name\bin and reports `version`.
    stand_in::Runtime runtime(const std::wstring& name, const std::string& version) {
        return stand_in::layOutRuntime(folder / name, Shape::Bin, {.version = version});
    }

    stand_in::RuntimeFolder folder;
    RegistrySandbox sandbox;  // destroyed first: the folder's clean-up then sees the real hives
};

}  // namespace

TEST_F(RegistrySources, AVendorKeyOffersItsNewestAcceptableRuntimeInRange) {
    const auto old = runtime(L"jre292", "1.8.0_292");
    const auto newer = runtime(L"jre301", "1.8.0_301");
    setText(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft\\JRE\\1.8.0_292", "JavaHome", narrow(old.home));
    setText(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft\\JRE\\1.8.0_301", "JavaHome", narrow(newer.home));
    setText(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft\\JRE\\11.0.2", "JavaHome", narrow(newer.home));
    // A home longer than the launcher's buffer is passed over, not cut.
    setText(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft\\JRE\\1.8.0_400", "JavaHome", std::string(7000, 'x'));
    LogSince log;
    const auto found = jre::findInVendorKey("SOFTWARE\\JavaSoft\\JRE", false, false, {}, bound("1.8"));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->javaExe, canonical(newer.javaExe));
    EXPECT_EQ(found->version, "1.8.0_301");
    EXPECT_TRUE(log.has(L"test key name 11.0.2 11.0.2"));
    EXPECT_FALSE(log.has(L"found in SOFTWARE\\JavaSoft\\JRE: 11.0.2"));
    EXPECT_TRUE(log.inOrder(L"found in SOFTWARE\\JavaSoft\\JRE: 1.8.0_400", L"found in SOFTWARE\\JavaSoft\\JRE: 1.8.0_301"));
    EXPECT_TRUE(log.inOrder(L"found in SOFTWARE\\JavaSoft\\JRE: 1.8.0_301", L"found in SOFTWARE\\JavaSoft\\JRE: 1.8.0_292"));
    // The first acceptable one ends the key: the older runtime never ran.
    EXPECT_TRUE(stand_in::runLog(old.home).empty());
}

TEST_F(RegistrySources, EveryVendorKindCountsAndEqualVersionsKeepTheTableOrder) {
    const auto zulu = runtime(L"zulu", "1.8.0_392");
    const auto temurin = runtime(L"temurin", "17.0.2");
    const auto oracle = runtime(L"oracle", "17.0.2");
    setText(HKEY_LOCAL_MACHINE, "SOFTWARE\\Azul Systems\\Zulu\\zulu-8", "InstallationPath", narrow(zulu.home));
    createKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Azul Systems\\Zulu\\8.0.292");
    setText(HKEY_LOCAL_MACHINE, "SOFTWARE\\Eclipse Adoptium\\JDK\\17.0.2.8\\hotspot\\MSI", "Path",
            narrow(temurin.home));
    setText(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft\\JDK\\17.0.2", "JavaHome", narrow(oracle.home));
    LogSince log;
    std::string javaExe, version;
    // "zulu-8" passes a minimum of 1.8 only when read as "8".
    ASSERT_TRUE(jre::findRegistryJre(javaExe, version, bound("1.8"), {}));
    EXPECT_EQ(javaExe, canonical(oracle.javaExe));
    EXPECT_TRUE(log.has(L"test key name 8 zulu-8"));
    EXPECT_TRUE(log.has(L"test key name 8.0.292 8.0.292"));
    const std::wstring found = L"found registry jre ";
    EXPECT_TRUE(log.inOrder(found + wide(canonical(oracle.javaExe)) + L" 17.0.2",
                            found + wide(canonical(temurin.javaExe)) + L" 17.0.2"));
    EXPECT_TRUE(log.inOrder(found + wide(canonical(temurin.javaExe)) + L" 17.0.2",
                            found + wide(canonical(zulu.javaExe)) + L" 1.8.0_392"));
}

TEST_F(RegistrySources, AJdkRequiredLeavesTheJreKeysUnopened) {
    services::setConfigTable({{131, "1"}});
    const auto jdk = stand_in::layOutRuntime(folder / L"jdk", Shape::JdkWithJre, {.version = "11.0.2"});
    const auto jreOnly = runtime(L"jre", "17.0.77");
    setText(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft\\JRE\\17.0.77", "JavaHome", narrow(jreOnly.home));
    setText(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft\\JDK\\11.0.2", "JavaHome", narrow(jdk.root));
    LogSince log;
    std::string javaExe, version;
    ASSERT_TRUE(jre::findRegistryJre(javaExe, version, {}, {}));
    EXPECT_EQ(javaExe, canonical(jdk.embeddedJavaExe));
    EXPECT_FALSE(log.hasPrefix(L"test key name 17.0.77"));
}

TEST_F(RegistrySources, TheRegistryRuntimeMustBeNewerThanTheLocatedOne) {
    const auto registry = runtime(L"registry", "1.8.0_301");
    const auto located = runtime(L"located", "1.8.0_301");
    setText(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft\\JRE\\1.8.0_301", "JavaHome", narrow(registry.home));
    jre::registerLocatedJvm(narrow(located.javaExe));
    LogSince log;
    std::string javaExe, version;
    ASSERT_TRUE(jre::findRegistryOrLocatedJre(javaExe, version, {}, {}));
    EXPECT_EQ(javaExe, canonical(located.javaExe));
    EXPECT_TRUE(log.has(L"found sun " + wide(canonical(registry.javaExe)) + L" 1.8.0_301"));
    EXPECT_TRUE(log.has(L"found located " + wide(canonical(located.javaExe)) + L" 1.8.0_301"));

    const auto newer = runtime(L"registry302", "1.8.0_302");
    setText(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft\\JRE\\1.8.0_302", "JavaHome", narrow(newer.home));
    ASSERT_TRUE(jre::findRegistryOrLocatedJre(javaExe, version, {}, {}));
    EXPECT_EQ(javaExe, canonical(newer.javaExe));
    EXPECT_EQ(version, "1.8.0_302");

    services::setConfigTable({{165, "1"}});
    EXPECT_FALSE(jre::findRegistryOrLocatedJre(javaExe, version, {}, {}));
}

TEST_F(RegistrySources, LocatedJvmsAreRecordedForTheMachineAndPreferredFromThere) {
    const auto machine = runtime(L"machine", "11.0.2");
    const auto user = runtime(L"user", "11.0.2");
    // Newest of all, but in one of the launcher's own runtime folders.
    const auto own = runtime(L"cvn_jres\\x", "21");
    jre::registerLocatedJvm(narrow(machine.javaExe));
    EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, locatedKey(narrow(machine.javaExe))));
    EXPECT_FALSE(keyExists(HKEY_CURRENT_USER, locatedKey(narrow(machine.javaExe))));
    createKey(HKEY_CURRENT_USER, locatedKey(narrow(user.javaExe)));
    createKey(HKEY_LOCAL_MACHINE, locatedKey(narrow(own.javaExe)));
    std::string javaExe, version;
    ASSERT_TRUE(jre::findLocatedJvm(javaExe, version, {}, {}));
    EXPECT_EQ(javaExe, canonical(machine.javaExe));
    EXPECT_TRUE(stand_in::runLog(own.home).empty());

    const auto newer = runtime(L"user2", "11.0.3");
    createKey(HKEY_CURRENT_USER, locatedKey(narrow(newer.javaExe)));
    ASSERT_TRUE(jre::findLocatedJvm(javaExe, version, {}, {}));
    EXPECT_EQ(javaExe, canonical(newer.javaExe));
    // After its load failed the next best is offered: the machine's, the user's being no newer.
    jre::addNonWorkingJava(javaExe);
    ASSERT_TRUE(jre::findLocatedJvm(javaExe, version, {}, {}));
    EXPECT_EQ(javaExe, canonical(machine.javaExe));

    // Without rights on the machine hive the user's gets the record.
    sandbox.refuseMachineWrites();
    jre::registerLocatedJvm("C:\\Java\\Picked\\bin\\java.exe");
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, "SOFTWARE\\halvern\\lumbra\\locatedjvms\\C:/Java/Picked/bin/java.exe"));
}

TEST_F(RegistrySources, PreviousInstallationsAreTriedInListOrderUserHiveFirst) {
    std::string javaExe, version;
    LogSince log;
    EXPECT_FALSE(jre::findPreviousInstallationJre(javaExe, version, {}, {}));
    EXPECT_TRUE(log.hasPrefix(L"checking app id  (0, "));

    services::setConfigTable({{160, "allinstdirs42"}});
    const auto app2 = stand_in::layOutRuntime(folder / L"App2", Shape::JreBin);
    const std::string list = narrow(folder / L"App1") + ";" + narrow(folder / L"App2");
    setText(HKEY_CURRENT_USER, kInstallations, "allinstdirs42", list);
    ASSERT_TRUE(jre::findPreviousInstallationJre(javaExe, version, {}, {}));
    EXPECT_EQ(javaExe, canonical(app2.javaExe));
    EXPECT_TRUE(log.hasPrefix(L"checking app id allinstdirs42 (0, "));
    EXPECT_TRUE(log.inOrder(L"found installations: " + wide(list),
                            L"java version did not match in " + folder / L"App1\\jre"));
    EXPECT_TRUE(log.has(L"found JRE from previous installation (user) " + wide(canonical(app2.javaExe))));
}

TEST_F(RegistrySources, PreviousInstallationsOfTheMachineAndAJdkRequired) {
    services::setConfigTable({{160, "allinstdirs7"}, {131, "1"}});
    const auto app2 = stand_in::layOutRuntime(folder / L"App2\\jre", Shape::JdkWithJre);
    const std::string list = narrow(folder / L"App1") + ";" + narrow(folder / L"App2") + ";";
    setText(HKEY_LOCAL_MACHINE, kInstallations, "allinstdirs7", list);
    // Longer than the launcher reads: treated as unreadable.
    setText(HKEY_CURRENT_USER, kInstallations, "allinstdirs7", std::string(7000, 'x'));
    LogSince log;
    std::string javaExe, version;
    ASSERT_TRUE(jre::findPreviousInstallationJre(javaExe, version, {}, {}));
    EXPECT_EQ(javaExe, canonical(app2.embeddedJavaExe));
    EXPECT_GE(log.count(L"could not query value node 0"), 2u);
    EXPECT_TRUE(log.has(L"did not find java in " + folder / L"App1\\jre"));
    EXPECT_TRUE(log.has(L"found JRE from previous installation (machine) " + wide(canonical(app2.embeddedJavaExe))));
}
