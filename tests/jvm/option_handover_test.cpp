// The option list the launcher assembles, handed to the real JVM: every option accepted, the
// properties arriving unchanged, module options taking effect; and the classes the launcher
// binds natives to loading in that JVM.
#include <algorithm>

#include "jvm_test.h"
#include "services/tables.h"

namespace {

using jvmtest::HostServices;
using Strings = std::vector<std::string>;

bool contains(const Strings& options, const std::string& option) {
    return std::find(options.begin(), options.end(), option) != options.end();
}

}  // namespace

JVM_TEST(JvmOptions, ATypicalConfigurationIsAcceptedAndItsPropertiesArrive) {
    services::setConfigTable({{2001, "i"},
                           {121, std::string("D1") + jvmtest::kClasses},
                           {123, "-Xmx64m -Xss2m --add-opens java.base/java.lang=ALL-UNNAMED "
                                 "\"-Djvmtest.words=two words\" -Djvmtest.empty="},
                           {125, "1"}});
    launch::PropertyInputs properties;
    properties.semaphoreName = "Local\\corvane setup";
    properties.manualJre = true;
    properties.previousInstallationJre = true;
    properties.installerKind = true;
    properties.executableNarrowPath = "C:\\Apps\\Setup Tool\\setup.exe";
    properties.extractionDirectory = "C:\\Users\\me\\AppData\\Local\\Temp\\cvn_1234";
    properties.unextractedPosition = 5000000000;
    properties.path = "/usr/local/bin:/usr/bin";
    properties.consoleCodePage = 65001;

    launch::AssemblyInputs inputs;
    inputs.properties = launch::launcherSystemProperties(properties);
    inputs.arguments = {L"setup.exe", L"-J-Djvmtest.fromArgument=yes", L"-Dsun.locale.formatasdefault=false"};
    inputs.language = "de";
    inputs.country = "CH";
    inputs.extractionDirectory = properties.extractionDirectory;
    inputs.installerKind = true;
    HostServices services;
    const Strings options = launch::assembleJvmOptions(inputs, services);
    ASSERT_TRUE(contains(options, "--add-opens=java.base/java.lang=ALL-UNNAMED"));
    ASSERT_TRUE(contains(options, std::string("-Djava.class.path=") + jvmtest::kClasses));

    jvmtest::withJvm(options, [&](JavaVM*, JNIEnv* env) {
        size_t properties = 0;
        for (const std::string& option : options) {
            if (option.rfind("-D", 0) != 0) continue;
            const size_t equals = option.find('=');
            const std::string key = option.substr(2, equals - 2);
            const std::string value = option.substr(equals + 1);
            EXPECT_EQ(jvmtest::systemProperty(env, key.c_str()), std::wstring(value.begin(), value.end())) << key;
            ++properties;
        }
        // The launcher's ten, the configured two, one "-J" argument, the locale three, the class path.
        EXPECT_EQ(properties, 17u);
        EXPECT_EQ(jvmtest::systemProperty(env, "lumbra.unextractedPosition"), L"5000000000");
        EXPECT_EQ(jvmtest::systemProperty(env, "user.country"), L"CH");

        EXPECT_TRUE(jvmtest::callStaticBoolean(env, "jvmtest/Probe", "openToClassPath", "java.lang"));
        EXPECT_FALSE(jvmtest::callStaticBoolean(env, "jvmtest/Probe", "openToClassPath", "java.util"));
        const std::wstring maxHeap = jvmtest::callStaticString(env, "jvmtest/Probe", "maxHeapBytes", "");
        EXPECT_LE(std::stoll(maxHeap), 64ll << 20);
    });
}

JVM_TEST(JvmOptions, AModularApplicationIsResolvedAndOpensItsMainPackageToTheRuntime) {
    services::setConfigTable({{2001, "i"},
                           {133, "1"},
                           {122, "app.mod/com.example.app.Main"},
                           {132, std::string("D1") + jvmtest::kModules},
                           {123, "-Xmx64m --add-opens java.base/java.util=com.corvane.runtime"}});
    launch::AssemblyInputs inputs;
    inputs.arguments = {L"setup.exe"};
    inputs.extractionDirectory = "C:\\Temp\\cvn_1234";
    inputs.installerKind = true;
    HostServices services;
    const Strings options = launch::assembleJvmOptions(inputs, services);
    EXPECT_TRUE(contains(options, std::string("--module-path=") + jvmtest::kModules));
    EXPECT_TRUE(contains(options, "--add-opens=java.base/java.util=com.corvane.runtime"));
    EXPECT_TRUE(contains(options, "--add-opens=app.mod/com.example.app=com.corvane.runtime"));
    EXPECT_TRUE(contains(options, "--add-modules=app.mod,com.corvane.runtime"));

    jvmtest::withJvm(options, [&](JavaVM*, JNIEnv* env) {
        const char* runtime = "com/corvane/runtime/boot/RuntimeModule";
        EXPECT_EQ(jvmtest::callStaticString(env, runtime, "moduleOf", "com.example.app.Main"), L"app.mod");
        EXPECT_EQ(jvmtest::callStaticString(env, runtime, "moduleOf", "com.corvane.runtime.boot.RuntimeModule"),
                  L"com.corvane.runtime");
        EXPECT_TRUE(jvmtest::callStaticBoolean(env, runtime, "canReflectInto", "com.example.app.Main"));
        EXPECT_TRUE(jvmtest::callStaticBoolean(env, runtime, "canReflectInto", "java.util.ArrayList"));
        EXPECT_FALSE(jvmtest::callStaticBoolean(env, runtime, "canReflectInto", "java.lang.Object"));
    });
}

// The classes whose natives the launcher registers, with the helper types their signatures
// name. A later test registers the launcher's table against them.
JVM_TEST(JavaClasses, EveryClassWithLauncherNativesLoads) {
    const char* const win32Classes[] = {
        "FileVersion", "FolderInfo", "Misc", "ObjectPicker", "ShellLink", "VistaFileChooser", "VistaTaskDialog",
        "Win32CommunicationBackend", "Win32Firewall", "Win32Proxy", "Win32UserInfo", "WinGuiHelper",
        "wininet/WinInet", "WinTaskBar", "ACLHandling", "Registry", "Win32Exec", "Win32Handle", "Win32Services",
        "ObjectPicker$Result", "Common", "LauncherState"};
    const char* const flatlafClasses[] = {"FlatNativeLibrary", "FlatNativeWindowsLibrary",
                                          "FlatWindowsNativeWindowBorder$WndProc", "FlatWindowsNativeWindowBorder"};
    Strings names = {"com/corvane/api/windows/WindowInfo", "com/corvane/runtime/installer/helper/NativeLogger",
                     "com/corvane/runtime/launcher/WinLauncher", "com/lumbra/runtime/WinLauncher",
                     "com/lumbra/runtime/util/WinDel"};
    for (const char* name : win32Classes) names.push_back(std::string("com/corvane/runtime/installer/platform/win32/") + name);
    for (const char* name : flatlafClasses) names.push_back(std::string("com/corvane/shadow/com/formdev/flatlaf/ui/") + name);

    jvmtest::withJvm({std::string("-Djava.class.path=") + jvmtest::kClasses}, [&](JavaVM*, JNIEnv* env) {
        for (const std::string& name : names) {
            const jclass type = env->FindClass(name.c_str());
            if (env->ExceptionCheck()) {
                env->ExceptionDescribe();
                env->ExceptionClear();
            }
            EXPECT_TRUE(type) << name;
            if (type) env->DeleteLocalRef(type);
        }
    });
}
