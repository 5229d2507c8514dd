// Test equipment for the launcher's JNI code against the real HotSpot JVM. A process can create
// one virtual machine only, so every JVM_TEST runs its body in a child process of its own (the
// test program started again for that one test); the parent checks the child's exit status and
// fails on any JNI warning that -Xcheck:jni printed.
#pragma once

#include <gtest/gtest.h>
#include <jni.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "launch/main_call.h"
#include "launch/option_assembly.h"

namespace jvmtest {

bool inScenarioProcess();
// Runs the test `testName` ("Suite.Name") in a child process and checks how it went.
void runScenarioProcess(const std::string& testName);

// The launch of a virtual machine as the launcher does it: created on a thread of its own whose
// stack is the reservation the "-Xss" options ask for, then `body` on that thread. The test adds
// -Xcheck:jni and makes the JVM refuse options it does not know (an ignored option is a lost
// setting). The JVM is destroyed afterwards unless `body` did it.
void withJvm(std::vector<std::string> options, const std::function<void(JavaVM*, JNIEnv*)>& body);
bool jvmExists();

// Reading Java state back; a lookup that fails is a test failure, never a pending exception.
std::wstring javaText(JNIEnv* env, jstring text);
std::optional<std::wstring> staticString(JNIEnv* env, const char* className, const char* field);
std::optional<std::vector<std::wstring>> staticStrings(JNIEnv* env, const char* className, const char* field);
int staticInt(JNIEnv* env, const char* className, const char* field);
std::optional<std::wstring> systemProperty(JNIEnv* env, const char* key);
// A static method (String)Z or (String)Ljava/lang/String; called with `argument`.
bool callStaticBoolean(JNIEnv* env, const char* className, const char* method, const char* argument);
std::wstring callStaticString(JNIEnv* env, const char* className, const char* method, const char* argument);

// The system around the launcher's portable code: real paths for what the JVM reads (class and
// module path entries), fixed Windows-style texts for what only the Java side sees.
class HostServices final : public launch::AssemblyServices, public launch::MainCallServices {
public:
    std::wstring executable = L"C:\\Apps\\Setup Tool\\setup.exe";
    void* module = nullptr;
    launch::RegisterNativesExFunction registerNativesEx = nullptr;
    launch::ReportFunction reporter = nullptr;
    int registerLookups = 0;

    void expand(std::wstring&, files::ExpansionMode) override {}
    void expandNarrow(std::string&) override {}
    std::string toAnsi(std::wstring_view text) override;
    std::optional<std::string> readFile(const std::wstring&) override { return std::nullopt; }
    std::wstring fullPath(const std::wstring& path) override { return path; }
    std::wstring executableLongDirectory() override { return L"C:\\Apps\\Setup Tool"; }
    std::string resolveNarrow(const std::string& path) override;
    bool pathExists(const std::string& path) override;
    // Extracted archives are joined with a backslash, which a Linux JVM cannot read; the
    // extraction directory of these tests holds none.
    std::vector<std::string> listFiles(const std::string&, const char*) override { return {}; }
    std::optional<std::string> environmentValue(const std::string&) override { return std::nullopt; }
    std::wstring executableLongPath() override { return executable; }
    std::wstring moduleFileName() override { return executable; }
    void expandArgumentFiles(std::vector<std::string>&) override {}
    [[noreturn]] void fail(int message, const std::string& argument) override;

    void* nativesModule() override { return module; }
    launch::RegisterNativesExFunction findRegisterNativesEx(void*) override {
        ++registerLookups;
        return registerNativesEx;
    }
    launch::ReportFunction errorReporter() override { return reporter; }
    std::optional<std::wstring> winDelExecutable() override { return executable; }
    std::string canonicalExecutablePath() override { return "c:\\apps\\setup tool\\setup.exe"; }
    void expandUnicode(std::wstring&) override {}
    std::wstring canonicalKeepCase(const std::wstring& path) override { return executableLongDirectory() + L"\\" + path; }
    [[noreturn]] void fail(int message) override;
};

// The test's classes (-Djava.class.path) and modules (--module-path) as javac built them.
inline const char* const kClasses = JVM_TEST_CLASSES;
inline const char* const kModules = JVM_TEST_MODULES;

}  // namespace jvmtest

// A test whose body runs in a child process with a virtual machine of its own.
#define JVM_TEST(Suite, Name)                                               \
    static void Suite##_##Name##_InChild();                                 \
    TEST(Suite, Name) {                                                     \
        if (!jvmtest::inScenarioProcess()) {                                \
            jvmtest::runScenarioProcess(#Suite "." #Name);                  \
            return;                                                         \
        }                                                                   \
        Suite##_##Name##_InChild();                                         \
    }                                                                       \
    static void Suite##_##Name##_InChild()
