// What the launcher does in the JVM's thread once the JVM exists, against the real JVM and the
// test's Java classes: the native logger, the settings handed to the Java side, the natives'
// registration, main with its arguments, the exception report and the JVM's end.
#include <atomic>
#include <cstdarg>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <unistd.h>

#include "base/text.h"
#include "jvm_test.h"
#include "launch/native_logger.h"
#include "log_capture.h"
#include "services/tables.h"

namespace {

using jvmtest::HostServices;
using Wide = std::vector<std::wstring>;

constexpr char kRecorder[] = "jvmtest/MainRecorder";
constexpr char kCommon[] = "com/corvane/runtime/installer/platform/win32/Common";
constexpr char kMisc[] = "com/corvane/runtime/installer/platform/win32/Misc";
constexpr jint kMachine = 0x14c;

std::atomic<int> cleanups{0};
void JNICALL cleanupNative(JNIEnv*, jclass) { ++cleanups; }
jint JNICALL machineNative(JNIEnv*, jclass) { return kMachine; }

struct RegistrationCall {
    void* module;
    unsigned required;
    bool reporterGiven;
    std::optional<std::wstring> initCallsBefore;  // Common.initCalls when registration began
};
std::optional<RegistrationCall> registration;
Wide reports;

void recordReport(const wchar_t* format, ...) { reports.emplace_back(format); }

// Like the launcher's own registration: JNI calls right after the runtime's initFromLauncher,
// one class bound.
unsigned char registerMisc(JNIEnv* env, void* module, unsigned char required, launch::ReportFunction report) {
    registration = RegistrationCall{module, required, report != nullptr, jvmtest::staticString(env, kCommon, "initCalls")};
    const jclass misc = env->FindClass(kMisc);
    if (!misc) return 0;
    JNINativeMethod method = {const_cast<char*>("getMachine0"), const_cast<char*>("()I"),
                              reinterpret_cast<void*>(machineNative)};
    const jint result = env->RegisterNatives(misc, &method, 1);
    env->DeleteLocalRef(misc);
    return result == 0;
}

// A class the runtime lacks: the failure leaves its exception pending for the launcher to clear.
unsigned char registerMissingClass(JNIEnv* env, void* module, unsigned char required, launch::ReportFunction report) {
    registration = RegistrationCall{module, required, report != nullptr, jvmtest::staticString(env, kCommon, "initCalls")};
    if (!env->FindClass("com/corvane/runtime/installer/platform/win32/NotInThisRuntime"))
        report(L"could not load class com/corvane/runtime/installer/platform/win32/NotInThisRuntime");
    return 0;
}

// The assembled options of the configuration, with the runtime's classes as class path.
std::vector<std::string> launchOptions(HostServices& services, const std::vector<std::wstring>& arguments,
                                       const std::string& classPath = jvmtest::kClasses) {
    services::ConfigTable configuration = services::configTable();
    configuration[121] = "D0" + classPath;
    services::setConfigTable(configuration);
    launch::PropertyInputs properties;
    properties.installerKind = services::configString(2001) == "i";
    // The narrow (short) form; the main call replaces lumbra.moduleName by the long path.
    properties.executableNarrowPath = "C:\\APPS\\SETUPT~1\\setup.exe";
    properties.extractionDirectory = "C:\\Temp\\cvn_1234";
    launch::AssemblyInputs inputs;
    inputs.properties = launch::launcherSystemProperties(properties);
    inputs.arguments = arguments;
    inputs.extractionDirectory = properties.extractionDirectory;
    inputs.installerKind = properties.installerKind;
    return launch::assembleJvmOptions(inputs, services);
}

std::wstring expectedSplash() {
    return L"false|true|Version 1.0 \u00e9|10|20|0,0,0|8|500|" + std::wstring(1999, L'v') + L"|30|40|255,255,255|9|600";
}

services::ConfigTable installerConfiguration(std::string extraOptions) {
    return {{2001, "i"}, {123, "-Xmx64m " + extraOptions},
            {102, "1"}, {103, "app_error.log"}, {104, "1"}, {105, "$output.log"}, {106, "1"}, {107, "1"},
            {122, "com.example.Main"}, {124, "--configured \"two words\""}, {125, "1"},
            {108, "1"}, {163, "1"}, {10111, "Version 1.0 \xe9"}, {10109, "10"}, {10110, "20"},
            {10114, "0,0,0"}, {10113, "8"}, {10115, "500"}, {10118, std::string(2500, 'v')}, {10116, "30"},
            {10117, "40"}, {10121, "255,255,255"}, {10120, "9"}, {10122, "600"}};
}

}  // namespace

JVM_TEST(MainCall, TheInstallerKindHandsOverEverythingAndMainSeesItsArguments) {
    services::setConfigTable(installerConfiguration("-Djvmtest.callNatives=true"));
    // Surrogate pairs travel as two UTF-16 units; more arguments than the JVM's first block of
    // local references (32) holds.
    Wide arguments = {L"setup.exe", L"-J-Xmx128m", L"-Dsun.locale.formatasdefault=true",
                      L"\u00dcn\u00efc\u00f6d\u00e9 \u2603 \xd834\xdd1e", L"file.txt"};
    for (int i = 0; i < 40; ++i) arguments.push_back(L"arg" + std::to_wstring(i));
    Wide expected = {L"true", L"com.example.Main", L"C:\\Apps\\Setup Tool\\app_error.log", L"$output.log", L"true",
                     L"setup.exe", L"--configured", L"two words"};
    expected.insert(expected.end(), arguments.begin() + 3, arguments.end());

    HostServices services;
    services.module = &services;
    services.registerNativesEx = registerMisc;
    services.reporter = recordReport;
    jvmtest::withJvm(launchOptions(services, arguments), [&](JavaVM* vm, JNIEnv* env) {
        launch::registerNativeLogger(env, cleanupNative);
        LogSince log;
        EXPECT_TRUE(launch::runAfterCreation(vm, env, {arguments, false}, services));
        EXPECT_FALSE(env->ExceptionCheck());

        EXPECT_EQ(jvmtest::staticString(env, kRecorder, "entryClass"), L"com.corvane.runtime.launcher.WinLauncher");
        EXPECT_EQ(jvmtest::staticStrings(env, kRecorder, "arguments"), expected);
        EXPECT_TRUE(log.has(L"param count: " + std::to_wstring(expected.size())));
        EXPECT_EQ(jvmtest::staticString(env, kRecorder, "winDelExecutable"), services.executable);
        EXPECT_EQ(jvmtest::staticString(env, kRecorder, "pidValueName"), L"c:\\apps\\setup tool\\setup.exe");
        EXPECT_EQ(jvmtest::staticString(env, kRecorder, "moduleName"), services.executable);
        EXPECT_TRUE(log.has(L"setting lumbra.moduleName to C:\\Apps\\Setup Tool\\setup.exe"));
        EXPECT_EQ(jvmtest::staticString(env, "com/lumbra/runtime/WinLauncher", "splashConfig"), expectedSplash());

        // The runtime learnt of the natives before registration and before main; both bound
        // natives are reached from Java.
        ASSERT_TRUE(registration);
        EXPECT_EQ(registration->module, services.module);
        EXPECT_EQ(registration->required, 1u);
        EXPECT_TRUE(registration->reporterGiven);
        EXPECT_EQ(registration->initCallsBefore, L"true");
        EXPECT_EQ(jvmtest::staticString(env, kRecorder, "initCalls"), L"true");
        EXPECT_EQ(jvmtest::staticInt(env, kRecorder, "machine"), kMachine);
        EXPECT_EQ(cleanups.load(), 1);
        EXPECT_TRUE(log.inOrder(L"calling main", L"main returned"));
        EXPECT_TRUE(log.has(L"launch done"));
        EXPECT_FALSE(log.has(L"dest JVM"));
    });
}

// The runtime's splash and init methods may throw; the launch goes on with a clean slate.
JVM_TEST(MainCall, ExceptionsFromTheRuntimesSettingsMethodsDoNotStopTheLaunch) {
    services::setConfigTable(
        installerConfiguration("-Djvmtest.callNatives=true -Djvmtest.splashThrows=true -Djvmtest.initThrows=true"));
    HostServices services;
    services.module = &services;
    services.registerNativesEx = registerMisc;
    services.reporter = recordReport;
    jvmtest::withJvm(launchOptions(services, {L"setup.exe"}), [&](JavaVM* vm, JNIEnv* env) {
        launch::registerNativeLogger(env, cleanupNative);
        EXPECT_TRUE(launch::runAfterCreation(vm, env, {{L"setup.exe"}, false}, services));
        EXPECT_EQ(jvmtest::staticString(env, "com/lumbra/runtime/WinLauncher", "splashConfig"), expectedSplash());
        ASSERT_TRUE(registration);
        EXPECT_EQ(registration->initCallsBefore, L"true");
        EXPECT_EQ(jvmtest::staticInt(env, kRecorder, "machine"), kMachine);
        EXPECT_EQ(jvmtest::staticString(env, kRecorder, "winDelExecutable"), services.executable);
        EXPECT_EQ(jvmtest::staticString(env, kRecorder, "pidValueName"), L"c:\\apps\\setup tool\\setup.exe");
        EXPECT_EQ(jvmtest::staticString(env, kRecorder, "entryClass"), L"com.corvane.runtime.launcher.WinLauncher");
    });
}

JVM_TEST(MainCall, AFailedRegistrationIsToldToTheRuntimeAndMainStillRuns) {
    services::setConfigTable({{2001, "i"}, {123, "-Xmx64m"}});
    HostServices services;
    services.module = &services;
    services.registerNativesEx = registerMissingClass;
    services.reporter = recordReport;
    jvmtest::withJvm(launchOptions(services, {L"setup.exe"}), [&](JavaVM* vm, JNIEnv* env) {
        LogSince log;
        EXPECT_TRUE(launch::runAfterCreation(vm, env, {{L"setup.exe"}, false}, services));
        ASSERT_TRUE(registration);
        EXPECT_EQ(registration->initCallsBefore, L"true");
        EXPECT_EQ(reports, Wide{L"could not load class com/corvane/runtime/installer/platform/win32/NotInThisRuntime"});
        EXPECT_TRUE(log.has(L"ERROR: registering helper dll failed"));
        EXPECT_EQ(jvmtest::staticString(env, kRecorder, "initCalls"), L"true,false");
        EXPECT_EQ(jvmtest::staticStrings(env, kRecorder, "arguments"),
                  (Wide{L"false", L"", L"", L"", L"false", L"setup.exe"}));
    });
}

JVM_TEST(MainCall, AnExceptionFromMainIsReportedAndTheLaunchFails) {
    services::setConfigTable({{2001, "i"}, {123, "-Xmx64m \"-Djvmtest.throw=broken on purpose\""}});
    HostServices services;
    services.module = &services;  // a module without the registration export
    jvmtest::withJvm(launchOptions(services, {L"setup.exe"}), [&](JavaVM* vm, JNIEnv* env) {
        LogSince log;
        EXPECT_FALSE(launch::runAfterCreation(vm, env, {{L"setup.exe"}, true}, services));
        EXPECT_FALSE(env->ExceptionCheck());
        EXPECT_TRUE(log.has(L"ERROR: did not find register natives in helper dll"));
        EXPECT_EQ(jvmtest::staticString(env, kCommon, "initCalls"), L"");

        const Wide expected = {L"calling main", L"main returned", L"ERROR: an exception occurred",
                               L"ERROR: java.lang.IllegalStateException: broken on purpose",
                               L"ERROR: could not call main"};
        const Wide lines = log.lines();
        const auto at = std::find(lines.begin(), lines.end(), expected[0]);
        EXPECT_EQ(Wide(at, lines.end()), expected);
        // A failed launch leaves the JVM alone.
        EXPECT_TRUE(jvmtest::jvmExists());
    });
}

JVM_TEST(MainCall, OtherKindsCallTheirOwnEntryClassWithoutRegisteringNatives) {
    services::setConfigTable({{2001, "e"}, {123, "-Xmx64m"}, {122, "app.mod/com.example.Main"}, {133, "1"}});
    HostServices services;
    services.module = &services;
    services.registerNativesEx = registerMisc;
    jvmtest::withJvm(launchOptions(services, {L"C:\\Apps\\setup.exe", L"-J-Xmx1g"}), [&](JavaVM* vm, JNIEnv* env) {
        LogSince log;
        EXPECT_TRUE(launch::runAfterCreation(vm, env, {{L"C:\\Apps\\setup.exe", L"-J-Xmx1g"}, false}, services));
        EXPECT_EQ(jvmtest::staticString(env, kRecorder, "entryClass"), L"com.lumbra.runtime.WinLauncher");
        EXPECT_EQ(jvmtest::staticStrings(env, kRecorder, "arguments"),
                  (Wide{L"false", L"/app.mod/com.example.Main", L"", L"", L"false", L"C:\\Apps\\setup.exe", L"-J-Xmx1g"}));
        EXPECT_EQ(services.registerLookups, 0);
        EXPECT_FALSE(log.has(L"load helper dll"));
        EXPECT_EQ(jvmtest::staticString(env, kCommon, "initCalls"), L"");
        EXPECT_EQ(jvmtest::staticString(env, "com/lumbra/runtime/WinLauncher", "splashConfig"), std::nullopt);
        EXPECT_EQ(jvmtest::staticString(env, kRecorder, "winDelExecutable"), services.executable);
        EXPECT_EQ(jvmtest::staticString(env, kRecorder, "pidValueName"), L"c:\\apps\\setup tool\\setup.exe");
    });
}

JVM_TEST(MainCall, DestroyingTheJvmWaitsForJavaThreadsStillRunning) {
    const std::filesystem::path lateFile =
        std::filesystem::temp_directory_path() / ("jvm_tests_late_" + std::to_string(getpid()));
    std::filesystem::remove(lateFile);
    services::setConfigTable({{2001, "e"}, {123, "-Xmx64m -Djvmtest.lateFile=" + lateFile.string()}});
    HostServices services;
    jvmtest::withJvm(launchOptions(services, {L"setup.exe"}), [&](JavaVM* vm, JNIEnv* env) {
        LogSince log;
        EXPECT_TRUE(launch::runAfterCreation(vm, env, {{L"setup.exe"}, true}, services));
        EXPECT_FALSE(jvmtest::jvmExists());
        EXPECT_TRUE(log.inOrder(L"dest JVM", L"launch done"));
    });
    std::ifstream written(lateFile);
    std::string text;
    std::getline(written, text);
    EXPECT_EQ(text, "written after main");
    std::filesystem::remove(lateFile);
}

JVM_TEST(MainCall, MissingRuntimeClassesAreLoggedAndAMissingEntryClassEndsTheLaunch) {
    services::setConfigTable({{2001, "i"}, {123, "-Xmx64m"}, {108, "1"}});
    HostServices services;
    services.module = &services;
    services.registerNativesEx = registerMisc;
    const std::filesystem::path empty = std::filesystem::temp_directory_path() / "jvm_tests_no_classes";
    jvmtest::withJvm(launchOptions(services, {L"setup.exe"}, empty.string()), [&](JavaVM* vm, JNIEnv* env) {
        LogSince log;
        launch::registerNativeLogger(env, cleanupNative);
        try {
            launch::runAfterCreation(vm, env, {{L"setup.exe"}, false}, services);
            ADD_FAILURE() << "the launch went on without its entry class";
        } catch (const std::runtime_error& failure) {
            EXPECT_STREQ(failure.what(), "launch ended with message 1010");
        }
        EXPECT_FALSE(env->ExceptionCheck());
        for (const wchar_t* line :
             {L"ERROR: did not find NativeLogger class", L"ERROR: could not find main class for splash properties",
              L"ERROR: did not find com/corvane/runtime/installer/platform/win32/Common",
              L"ERROR: did not find WinDel class", L"setting lumbra.moduleName to C:\\Apps\\Setup Tool\\setup.exe",
              L"main class: com/corvane/runtime/launcher/WinLauncher", L"ERROR: could not find main class"})
            EXPECT_TRUE(log.has(line)) << base::wideToUtf8(line);
        EXPECT_FALSE(registration);
    });
}
