// The registration frame against the stand-in virtual machine, from a module in the
// launcher's place (natives_test_module.dll: the frame, and every native of the table exported):
// which classes get bound to which functions, where registration stops, and what it reports.
#include <gtest/gtest.h>

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/text.h"
#include "jvm_record.h"
#include "natives/registration.h"
#include "natives/registration_table.h"
#include "natives/report_text.h"
#include "stand_in_runtimes.h"
#include "stream_capture.h"

namespace {

using launch::RegisterNativesExFunction;
using RegisterNativesFunction = unsigned char (*)(JNIEnv*, void*, launch::ReportFunction);
using ExtensionNative = jboolean(JNICALL*)(JNIEnv*, jclass, jobject, jstring, jstring);
using CreateJavaVm = jint(JNICALL*)(JavaVM**, void**, void*);

constexpr char kWin32[] = "com/corvane/runtime/installer/platform/win32/";
constexpr char kFlatlaf[] = "com/corvane/shadow/com/formdev/flatlaf/ui/";

std::vector<std::wstring> reports;

void captureReport(const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    reports.push_back(natives::formatReport(format, arguments));
    va_end(arguments);
}

std::wstring testDirectory() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring self = path;
    return self.substr(0, self.find_last_of(L'\\'));
}

// The runtime classes' simple names, in registration order.
std::vector<std::string> runtimeClasses() {
    std::vector<std::string> names;
    for (const natives::NativeClass* c : natives::classesOf(natives::ClassGroup::Runtime))
        names.push_back(std::string(c->className).substr(sizeof kWin32 - 1));
    return names;
}

// Standard error of this process, redirected into a file while it lives.
class StandardErrorCapture : public test_support::StreamCapture {
public:
    explicit StandardErrorCapture(const std::wstring& path) : StreamCapture(stderr, path) {}
};

class Registration : public testing::Test {
protected:
    void SetUp() override {
        reports.clear();
        module_ = LoadLibraryW((testDirectory() + L"\\natives_test_module.dll").c_str());
        ASSERT_NE(module_, nullptr);
        const HMODULE jvm = LoadLibraryW(stand_in::standInJvmDll().c_str());
        ASSERT_NE(jvm, nullptr);
        create_ = reinterpret_cast<CreateJavaVm>(reinterpret_cast<void*>(GetProcAddress(jvm, "JNI_CreateJavaVM")));
        ASSERT_NE(create_, nullptr);
    }
    void TearDown() override {
        if (vm_) vm_->DestroyJavaVM();
    }

    void create(std::vector<std::string> options) {
        options.insert(options.begin(), "-Dstandin.record=" + recordPath());
        std::vector<JavaVMOption> list;
        for (std::string& text : options) list.push_back({text.data(), nullptr});
        JavaVMInitArgs args = {};
        args.version = JNI_VERSION_1_2;
        args.nOptions = static_cast<jint>(list.size());
        args.options = list.data();
        args.ignoreUnrecognized = JNI_TRUE;
        ASSERT_EQ(create_(&vm_, reinterpret_cast<void**>(&env_), &args), JNI_OK);
    }
    stand_in::JvmRecord finish() {
        vm_->DestroyJavaVM();
        vm_ = nullptr;
        return stand_in::JvmRecord::read(base::narrowToWide(recordPath()));
    }
    std::string recordPath() const { return base::wideToNarrow(folder_ / L"record.txt"); }

    template <class Function>
    Function entry(const char* name) const {
        return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }
    unsigned char registerRuntime(unsigned char required, void* module = nullptr) {
        return entry<RegisterNativesExFunction>("registerNativesEx")(env_, module ? module : module_, required,
                                                                     captureReport);
    }
    unsigned char registerFlatlaf(const char* packageName) {
        const jclass classClass = env_->FindClass("java/lang/Class");
        const jmethodID forName = env_->GetStaticMethodID(
            classClass, "forName", "(Ljava/lang/String;ZLjava/lang/ClassLoader;)Ljava/lang/Class;");
        return entry<natives::RegisterExtensionFunction>("registerNativesFlatlaf")(
            env_, systemClassLoader(), classClass, forName, packageName, module_, captureReport);
    }
    jobject systemClassLoader() {
        const jclass loader = env_->FindClass("java/lang/ClassLoader");
        return env_->CallStaticObjectMethod(
            loader, env_->GetStaticMethodID(loader, "getSystemClassLoader", "()Ljava/lang/ClassLoader;"));
    }
    // Calls the entry class's main, which acts out the scenario steps.
    void callMain() {
        const jclass entryClass = env_->FindClass("com/corvane/runtime/launcher/WinLauncher");
        const jmethodID main = env_->GetStaticMethodID(entryClass, "main", "([Ljava/lang/String;)V");
        env_->CallStaticVoidMethod(entryClass, main,
                                   env_->NewObjectArray(0, env_->FindClass("java/lang/String"), nullptr));
    }

    // Classes with natives bound, in the order of binding, each once; `prefix` cut off.
    static std::vector<std::string> boundClasses(const stand_in::JvmRecord& record, const std::string& prefix) {
        std::vector<std::string> classes;
        for (const auto& line : record.all("native")) {
            const std::string name = line[0].rfind(prefix, 0) == 0 ? line[0].substr(prefix.size()) : line[0];
            if (classes.empty() || classes.back() != name) classes.push_back(name);
        }
        return classes;
    }

    stand_in::RuntimeFolder folder_;
    HMODULE module_ = nullptr;
    CreateJavaVm create_ = nullptr;
    JavaVM* vm_ = nullptr;
    JNIEnv* env_ = nullptr;
};

TEST_F(Registration, AClassTheClassPathLacksIsSkippedUnlessRequiredAndEveryMethodGetsItsOwnFunction) {
    create({std::string("-Dstandin.absent=") + kWin32 + "Win32Firewall",
            std::string("-Dstandin.scenario=call:") + kWin32 + "Win32CommunicationBackend.getInvalidHandle0()J",
            std::string("-Dstandin.scenario=call:") + kWin32 + "Win32CommunicationBackend.getCurrentProcessId0()I"});
    EXPECT_EQ(registerRuntime(0), 1);
    EXPECT_FALSE(env_->ExceptionCheck());
    callMain();
    const stand_in::JvmRecord record = finish();

    EXPECT_EQ(reports, std::vector<std::wstring>{std::wstring(L"could not load class ") +
                                                 L"com/corvane/runtime/installer/platform/win32/Win32Firewall"});
    std::vector<std::string> expected = runtimeClasses();
    std::erase(expected, "Win32Firewall");
    EXPECT_EQ(boundClasses(record, kWin32), expected);
    EXPECT_EQ(record.all("native").size(), 107u);  // 111 methods of the runtime classes, 4 of them skipped
    // Two neighbours in the table answer with what only each of them knows.
    std::vector<long long> results;
    for (const auto& result : record.all("result")) results.push_back(std::stoll(result.at(0)));
    EXPECT_EQ(results, (std::vector<long long>{-1, static_cast<long long>(GetCurrentProcessId())}));
    EXPECT_TRUE(record.violations().empty()) << record.violations().front();
}

TEST_F(Registration, ARequiredClassThatIsMissingStopsTheRegistrationThere) {
    create({std::string("-Dstandin.absent=") + kWin32 + "Win32Proxy"});
    EXPECT_EQ(entry<RegisterNativesFunction>("registerNatives")(env_, module_, captureReport), 0);
    EXPECT_EQ(registerRuntime(1), 0);
    EXPECT_FALSE(env_->ExceptionCheck());
    const stand_in::JvmRecord record = finish();

    const std::wstring missing = L"could not load class com/corvane/runtime/installer/platform/win32/Win32Proxy";
    EXPECT_EQ(reports, (std::vector<std::wstring>{missing, missing}));
    const std::vector<std::string> all = runtimeClasses();
    const std::vector<std::string> before(all.begin(), all.begin() + 9);
    std::vector<std::string> twice = before;
    twice.insert(twice.end(), before.begin(), before.end());
    EXPECT_EQ(boundClasses(record, kWin32), twice);
    EXPECT_TRUE(record.violations().empty()) << record.violations().front();
}

TEST_F(Registration, AMissingExportOrARefusedBindingFailsTheClassWhateverTheFlag) {
    create({std::string("-Dstandin.absent=") + kWin32 + "Registry.deleteKey0"});
    // This test program exports no natives at all.
    EXPECT_EQ(registerRuntime(0, GetModuleHandleW(nullptr)), 0);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], L"did not find Java_com_corvane_runtime_installer_platform_win32_FileVersion_compare0");

    // The virtual machine refuses a method: its result is reported, its exception left pending.
    reports.clear();
    EXPECT_EQ(registerRuntime(0), 0);
    EXPECT_EQ(reports, std::vector<std::wstring>{L"register com/corvane/runtime/installer/platform/win32/Registry failed -1"});
    EXPECT_TRUE(env_->ExceptionCheck());
    env_->ExceptionClear();
    const stand_in::JvmRecord record = finish();

    const std::vector<std::string> bound = boundClasses(record, kWin32);
    ASSERT_FALSE(bound.empty());
    // Only the classes before Registry: the module handle without exports bound nothing.
    EXPECT_EQ(bound.front(), "FileVersion");
    EXPECT_EQ(std::count(bound.begin(), bound.end(), "FileVersion"), 1);
    EXPECT_EQ(std::count(bound.begin(), bound.end(), "Win32Exec"), 0);
    EXPECT_TRUE(record.has({"registerFailed", std::string(kWin32) + "Registry", "deleteKey0", "(ILjava/lang/String;ZI)V"}));
}

TEST_F(Registration, FlatlafClassesAreLoadedThroughForNameInTheirOwnOrTheGivenPackage) {
    create({});
    EXPECT_EQ(registerFlatlaf(nullptr), 1);
    EXPECT_EQ(registerFlatlaf("com.corvane.shadow.com.formdev.flatlaf.ui"), 1);
    EXPECT_TRUE(reports.empty());
    // Another package: the report names the class by its default name.
    EXPECT_EQ(registerFlatlaf("org.example.laf"), 0);
    EXPECT_FALSE(env_->ExceptionCheck());
    const stand_in::JvmRecord record = finish();

    EXPECT_EQ(reports, std::vector<std::wstring>{
                           L"could not load class com/corvane/shadow/com/formdev/flatlaf/ui/FlatNativeLibrary"});
    const std::vector<std::string> order = {"FlatNativeLibrary", "FlatNativeWindowsLibrary",
                                            "FlatWindowsNativeWindowBorder$WndProc", "FlatWindowsNativeWindowBorder"};
    std::vector<std::string> twice = order;
    twice.insert(twice.end(), order.begin(), order.end());
    EXPECT_EQ(boundClasses(record, kFlatlaf), twice);
    EXPECT_TRUE(record.has({"forName", "com.corvane.shadow.com.formdev.flatlaf.ui.FlatWindowsNativeWindowBorder$WndProc",
                            "found"}));
    EXPECT_TRUE(record.has({"forName", "org.example.laf.FlatNativeLibrary", "absent"}));
    EXPECT_TRUE(record.violations().empty()) << record.violations().front();
}

TEST_F(Registration, TheExtensionNativeCallsTheEntryItIsNamedAndReportsOnStandardError) {
    create({});
    const natives::NativeClass& misc = *natives::classesOf(natives::ClassGroup::Runtime)[2];
    const natives::NativeMethod* method = nullptr;
    for (const natives::NativeMethod& m : misc.methods)
        if (std::string(m.name) == "registerExtensionFunctions0") method = &m;
    ASSERT_NE(method, nullptr);
    const auto extension = entry<ExtensionNative>(natives::moduleExportName(misc, *method).c_str());
    ASSERT_NE(extension, nullptr);
    const jclass miscClass = env_->FindClass(misc.className);
    const jobject loader = systemClassLoader();

    StandardErrorCapture unknown(folder_ / L"unknown.txt");
    EXPECT_EQ(extension(env_, miscClass, loader, env_->NewStringUTF("noSuchEntry"), nullptr), JNI_FALSE);
    EXPECT_EQ(unknown.text(), "ERROR: did not find register natives extension in helper dll (noSuchEntry)\n");

    StandardErrorCapture known(folder_ / L"known.txt");
    EXPECT_EQ(extension(env_, miscClass, loader, env_->NewStringUTF("registerNativesFlatlaf"), nullptr), JNI_TRUE);
    EXPECT_EQ(known.text(), "");

    StandardErrorCapture elsewhere(folder_ / L"elsewhere.txt");
    EXPECT_EQ(extension(env_, miscClass, loader, env_->NewStringUTF("registerNativesFlatlaf"),
                        env_->NewStringUTF("org.example.laf")),
              JNI_FALSE);
    EXPECT_EQ(elsewhere.text(),
              "ERROR: could not load class com/corvane/shadow/com/formdev/flatlaf/ui/FlatNativeLibrary\n"
              "ERROR: registering helper dll extension failed\n");
    EXPECT_FALSE(env_->ExceptionCheck());
    const stand_in::JvmRecord record = finish();

    EXPECT_EQ(boundClasses(record, kFlatlaf).size(), 4u);
    EXPECT_TRUE(record.violations().empty()) << record.violations().front();
}

}  // namespace
