// Win32Firewall on Wine's firewall objects, which keep no rules: the codes of each step that
// fails. The matching, deletion and counting are tested on the host (firewall_rules_test.cpp).
#include <windows.h>

#include <thread>

#include "harness/natives_test.h"

extern "C" jlong JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32Firewall_getCurrentProfileTypes0(JNIEnv*,
                                                                                                                jclass);
extern "C" jint JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32Firewall_addRule0(
    JNIEnv*, jclass, jstring, jstring, jstring, jint, jint, jstring, jstring, jstring, jstring, jstring, jint, jboolean);
extern "C" jint JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32Firewall_deleteRules0(
    JNIEnv*, jclass, jstring, jstring, jstring, jint, jint, jstring, jstring, jstring, jstring, jstring);

namespace natives_test {
namespace {

class FirewallNatives : public NativesTest {
protected:
    jint addRule(const wchar_t* ports = L"8080") {
        return callInt("Win32Firewall.addRule0",
                       {javaString(L"C:\\corvane\\app.exe"), javaString(L"corvane test rule"), javaString(L"corvane"), 1,
                        6, javaString(L"a test rule"), javaString(ports), javaString(L"10.0.0.1"), nullptr, nullptr, 7,
                        true});
    }
    jint deleteRules() {
        return callInt("Win32Firewall.deleteRules0", {javaString(L"C:\\corvane\\app.exe"), nullptr, nullptr, 0, 0,
                                                      nullptr, nullptr, nullptr, nullptr, nullptr});
    }
};

TEST_F(FirewallNatives, WithoutComOnTheThreadThePolicyCannotBeCreated) {
    // A thread that never ran initialize0; the natives take no Java object with null texts.
    jlong profiles = -1;
    jint added = -1, deleted = -1;
    std::thread([&] {
        profiles = Java_com_corvane_runtime_installer_platform_win32_Win32Firewall_getCurrentProfileTypes0(env(), nullptr);
        added = Java_com_corvane_runtime_installer_platform_win32_Win32Firewall_addRule0(
            env(), nullptr, nullptr, nullptr, nullptr, 1, 6, nullptr, nullptr, nullptr, nullptr, nullptr, 7, JNI_TRUE);
        deleted = Java_com_corvane_runtime_installer_platform_win32_Win32Firewall_deleteRules0(
            env(), nullptr, nullptr, nullptr, nullptr, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr);
    }).join();
    EXPECT_EQ(profiles, jlong{2} << 32);
    EXPECT_EQ(added, 2);
    EXPECT_EQ(deleted, 2);
}

TEST_F(FirewallNatives, OnWinesPolicyObjectTheStepsItLacksGiveTheirCodes) {
    callVoid("Win32Firewall.initialize0", {});
    // The policy is created, its profile types cannot be read (E_NOTIMPL): base 3, mask 0.
    EXPECT_EQ(callLong("Win32Firewall.getCurrentProfileTypes0", {}), jlong{3} << 32);
    // Policy, rule collection and rule object exist; walking the rules does not (base 32), so
    // nothing is added or deleted.
    EXPECT_EQ(addRule(), 32);
    EXPECT_EQ(deleteRules(), 32);
}

}  // namespace
}  // namespace natives_test
