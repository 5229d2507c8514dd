// The stand-in jvm.dll against the contract the launcher relies on: loaded with LoadLibraryW,
// a machine created with a record file, JNI used as the launcher and its natives use it.
#include <gtest/gtest.h>

#include <windows.h>
#include <psapi.h>

#include <jni.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "jvm_record.h"
#include "stand_in_runtimes.h"

using stand_in::JvmRecord;

namespace {

using CreateJavaVm = jint(JNICALL*)(JavaVM**, void**, void*);

CreateJavaVm createEntry(HMODULE library) {
    return reinterpret_cast<CreateJavaVm>(reinterpret_cast<void*>(GetProcAddress(library, "JNI_CreateJavaVM")));
}

std::string narrow(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                         nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

bool contains(const std::vector<std::string>& texts, const std::string& part) {
    return std::any_of(texts.begin(), texts.end(), [&](const std::string& t) { return t.find(part) != std::string::npos; });
}

class StandInJvm : public testing::Test {
protected:
    void SetUp() override {
        library_ = LoadLibraryW(stand_in::standInJvmDll().c_str());
        ASSERT_NE(library_, nullptr);
        create_ = createEntry(library_);
        ASSERT_NE(create_, nullptr);
    }
    void TearDown() override {
        if (vm_ != nullptr) vm_->DestroyJavaVM();
    }

    std::wstring recordPath() const { return folder_ / L"record.txt"; }

    // Creates the machine with these options after the record option.
    jint create(std::vector<std::string> options) {
        options.insert(options.begin(), "-Dstandin.record=" + narrow(recordPath()));
        texts_ = options;
        std::vector<JavaVMOption> list;
        for (std::string& text : texts_) list.push_back({text.data(), nullptr});
        JavaVMInitArgs args = {};
        args.version = JNI_VERSION_1_2;
        args.nOptions = static_cast<jint>(list.size());
        args.options = list.data();
        args.ignoreUnrecognized = JNI_TRUE;
        return create_(&vm_, reinterpret_cast<void**>(&env_), &args);
    }
    void destroy() {
        ASSERT_EQ(vm_->DestroyJavaVM(), JNI_OK);
        vm_ = nullptr;
    }
    JvmRecord record() const { return JvmRecord::read(recordPath()); }

    jstring text(const char* utf) { return env_->NewStringUTF(utf); }
    // Calls the entry class's main with these arguments, as the launcher does.
    void callMain(const std::vector<const char*>& arguments) {
        const jclass entry = env_->FindClass("com/corvane/runtime/launcher/WinLauncher");
        const jmethodID main = env_->GetStaticMethodID(entry, "main", "([Ljava/lang/String;)V");
        ASSERT_NE(main, nullptr);
        const jobjectArray array =
            env_->NewObjectArray(static_cast<jsize>(arguments.size()), env_->FindClass("java/lang/String"), nullptr);
        for (size_t i = 0; i < arguments.size(); ++i) {
            env_->SetObjectArrayElement(array, static_cast<jsize>(i), text(arguments[i]));
        }
        env_->CallStaticVoidMethod(entry, main, array);
    }

    struct Job {
        StandInJvm* test;
        jint result = -100;
    };
    static DWORD WINAPI createAndDestroy(void* parameter) {
        auto* job = static_cast<Job*>(parameter);
        job->result = job->test->create({});
        if (job->result == JNI_OK) job->test->vm_->DestroyJavaVM();
        job->test->vm_ = nullptr;
        return 0;
    }

    stand_in::RuntimeFolder folder_;
    HMODULE library_ = nullptr;
    CreateJavaVm create_ = nullptr;
    std::vector<std::string> texts_;
    JavaVM* vm_ = nullptr;
    JNIEnv* env_ = nullptr;
};

TEST_F(StandInJvm, RecordsWhatItWasCreatedWithAndAcceptsANewMachineAfterDestruction) {
    ASSERT_EQ(create({"-Dlumbra.tempDir=C:\\t\\x y", "-Xss2m", "--add-modules=a,b", "-Dflag"}), JNI_OK);
    destroy();
    const JvmRecord r = record();
    EXPECT_EQ(r.options(), texts_);
    EXPECT_TRUE(r.has({"init", "0x00010002", "1", "5"}));
    const auto properties = r.properties();
    EXPECT_NE(std::find(properties.begin(), properties.end(), std::make_pair(std::string("lumbra.tempDir"),
                                                                              std::string("C:\\t\\x y"))),
              properties.end());
    EXPECT_NE(std::find(properties.begin(), properties.end(), std::make_pair(std::string("flag"), std::string())),
              properties.end());
    wchar_t directory[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, directory);
    EXPECT_EQ(r.firstFields("cwd"), std::vector<std::string>{narrow(directory)});
    EXPECT_EQ(r.firstFields("path").size(), 1u);
    EXPECT_TRUE(r.has({"created"}));
    EXPECT_TRUE(r.has({"destroyed"}));
    EXPECT_TRUE(r.violations().empty());

    // Refused creation leaves no machine behind.
    ASSERT_EQ(create({"-Dstandin.create=fail:-6"}), -6);
    EXPECT_TRUE(record().has({"createFailed", "-6"}));
    vm_ = nullptr;
    ASSERT_EQ(create({}), JNI_OK);
}

// The machine measures the stack of the thread that creates it, as the launcher's -Xss thread.
TEST_F(StandInJvm, RecordsTheStackReservationOfTheCreatingThread) {
    Job job{this};
    const HANDLE thread = CreateThread(nullptr, 4 << 20, createAndDestroy, &job, STACK_SIZE_PARAM_IS_A_RESERVATION,
                                       nullptr);
    ASSERT_NE(thread, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    ASSERT_EQ(job.result, JNI_OK);
    EXPECT_EQ(record().firstFields("stack"), std::vector<std::string>{std::to_string(4 << 20)});
}

TEST_F(StandInJvm, ClassesAndMembersAreThereOrMissingAsARealMachineReportsThem) {
    ASSERT_EQ(create({"-Dstandin.absent=com/corvane/runtime/installer/platform/win32/LauncherState",
                      "-Dstandin.absent=com/corvane/runtime/installer/platform/win32/Common.initFromLauncher"}),
              JNI_OK);
    const jclass windel = env_->FindClass("com/lumbra/runtime/util/WinDel");
    ASSERT_NE(windel, nullptr);
    const jfieldID executable = env_->GetStaticFieldID(windel, "externalExecutable", "Ljava/lang/String;");
    ASSERT_NE(executable, nullptr);
    env_->SetStaticObjectField(windel, executable, text("C:\\setup.exe"));

    // A class made absent: null with NoClassDefFoundError pending, not a violation.
    EXPECT_EQ(env_->FindClass("com/corvane/runtime/installer/platform/win32/LauncherState"), nullptr);
    const jthrowable missing = env_->ExceptionOccurred();
    ASSERT_NE(missing, nullptr);
    env_->ExceptionClear();
    EXPECT_TRUE(env_->IsInstanceOf(missing, env_->FindClass("java/lang/NoClassDefFoundError")));

    // A member made absent fails quietly; a signature the class lacks is the caller's error.
    const jclass common = env_->FindClass("com/corvane/runtime/installer/platform/win32/Common");
    EXPECT_EQ(env_->GetStaticMethodID(common, "initFromLauncher", "(Z)V"), nullptr);
    EXPECT_TRUE(env_->ExceptionCheck());
    env_->ExceptionClear();
    EXPECT_TRUE(record().violations().empty());
    EXPECT_EQ(env_->GetStaticMethodID(windel, "externalExecutable", "()V"), nullptr);
    const jthrowable noMethod = env_->ExceptionOccurred();
    env_->ExceptionClear();
    EXPECT_TRUE(env_->IsInstanceOf(noMethod, env_->FindClass("java/lang/NoSuchMethodError")));
    EXPECT_EQ(env_->GetStaticFieldID(windel, "externalExecutable", "I"), nullptr);
    env_->ExceptionClear();

    // Java's own classes as the look-and-feel registration loads them.
    const jclass classClass = env_->FindClass("java/lang/Class");
    const jmethodID forName =
        env_->GetStaticMethodID(classClass, "forName", "(Ljava/lang/String;ZLjava/lang/ClassLoader;)Ljava/lang/Class;");
    const jobject loaded = env_->CallStaticObjectMethod(
        classClass, forName, text("com.corvane.shadow.com.formdev.flatlaf.ui.FlatNativeLibrary"), JNI_FALSE, nullptr);
    EXPECT_TRUE(env_->IsSameObject(loaded, env_->FindClass("com/corvane/shadow/com/formdev/flatlaf/ui/FlatNativeLibrary")));
    EXPECT_EQ(env_->CallStaticObjectMethod(classClass, forName, text("com.example.Nothing"), JNI_FALSE, nullptr), nullptr);
    EXPECT_TRUE(env_->ExceptionCheck());
    env_->ExceptionClear();
    destroy();

    const JvmRecord r = record();
    EXPECT_TRUE(r.has({"field", "com/lumbra/runtime/util/WinDel", "externalExecutable", "C:\\setup.exe"}));
    const auto violations = r.violations();
    ASSERT_EQ(violations.size(), 2u);
    EXPECT_TRUE(contains(violations, "externalExecutable ()V"));
    EXPECT_TRUE(contains(violations, "externalExecutable I"));
}

TEST_F(StandInJvm, MisuseIsRecordedAsViolations) {
    ASSERT_EQ(create({}), JNI_OK);
    env_->ThrowNew(env_->FindClass("java/lang/IllegalStateException"), "first");
    EXPECT_TRUE(env_->ExceptionCheck());          // allowed with an exception pending
    env_->FindClass("java/lang/System");          // not allowed
    env_->ExceptionClear();

    const jstring s = text("x");
    const char* chars = env_->GetStringUTFChars(s, nullptr);
    env_->ReleaseStringUTFChars(s, chars);
    env_->ReleaseStringUTFChars(s, chars);        // twice
    env_->GetStringChars(s, nullptr);             // never released

    env_->PushLocalFrame(4);
    const jstring local = text("inner");
    const jobject global = env_->NewGlobalRef(local);
    env_->PopLocalFrame(nullptr);
    EXPECT_EQ(env_->GetStringLength(static_cast<jstring>(global)), 5);
    env_->GetStringLength(local);                 // deleted with its frame
    env_->GetStringLength(reinterpret_cast<jstring>(env_->FindClass("java/lang/String")));  // wrong kind
    env_->DeleteGlobalRef(global);
    env_->FindClass("java.lang.String");          // dotted name
    env_->ExceptionClear();
    env_->DefineClass("x", nullptr, nullptr, 0);  // not modelled
    destroy();

    const auto violations = record().violations();
    EXPECT_EQ(violations.size(), 7u);
    EXPECT_TRUE(contains(violations, "FindClass called with an exception pending"));
    EXPECT_TRUE(contains(violations, "already released"));
    EXPECT_TRUE(contains(violations, "GetStringChars buffer of a java.lang.String never released"));
    EXPECT_TRUE(contains(violations, "GetStringLength: the reference was deleted"));
    EXPECT_TRUE(contains(violations, "GetStringLength: expects a string"));
    EXPECT_TRUE(contains(violations, "not a class name in slash form"));
    EXPECT_TRUE(contains(violations, "DefineClass is not supported"));
}

// A native of the registration table, called back as Java would call it.
jint JNICALL compareNative(JNIEnv* env, jclass, jstring a, jstring b) {
    return env->GetStringLength(a) * 100 + env->GetStringLength(b);
}
jlong JNICALL listenerNative(JNIEnv* env, jclass, jstring name, jlong security) {
    return security + env->GetStringLength(name);
}

TEST_F(StandInJvm, RegisterNativesHoldsToTheDeclaredTableAndCallsThroughTheBoundFunctions) {
    ASSERT_EQ(create({}), JNI_OK);
    const jclass fileVersion = env_->FindClass("com/corvane/runtime/installer/platform/win32/FileVersion");
    ASSERT_NE(fileVersion, nullptr);
    JNINativeMethod good[] = {{const_cast<char*>("compare0"),
                               const_cast<char*>("(Ljava/lang/String;Ljava/lang/String;)I"),
                               reinterpret_cast<void*>(compareNative)}};
    EXPECT_EQ(env_->RegisterNatives(fileVersion, good, 1), JNI_OK);
    const jmethodID compare = env_->GetStaticMethodID(fileVersion, "compare0", "(Ljava/lang/String;Ljava/lang/String;)I");
    EXPECT_EQ(env_->CallStaticIntMethod(fileVersion, compare, text("1.2"), text("10")), 302);

    const jclass wininet = env_->FindClass("com/corvane/runtime/installer/platform/win32/wininet/WinInet");
    JNINativeMethod wrong[] = {{const_cast<char*>("getErrorCode0"), const_cast<char*>("(I)I"),
                                reinterpret_cast<void*>(compareNative)}};
    EXPECT_LT(env_->RegisterNatives(wininet, wrong, 1), 0);
    const jthrowable error = env_->ExceptionOccurred();
    env_->ExceptionClear();
    EXPECT_TRUE(env_->IsInstanceOf(error, env_->FindClass("java/lang/NoSuchMethodError")));
    // Not native: an ordinary method is no target either.
    JNINativeMethod notNative[] = {{const_cast<char*>("initFromLauncher"), const_cast<char*>("(Z)V"),
                                    reinterpret_cast<void*>(compareNative)}};
    EXPECT_LT(env_->RegisterNatives(env_->FindClass("com/corvane/runtime/installer/platform/win32/Common"), notNative, 1),
              0);
    env_->ExceptionClear();

    // A jlong travels as two stack words on x86 and comes back in two registers.
    const jclass backend = env_->FindClass("com/corvane/runtime/installer/platform/win32/Win32CommunicationBackend");
    JNINativeMethod listener[] = {{const_cast<char*>("createListener0"), const_cast<char*>("(Ljava/lang/String;J)J"),
                                   reinterpret_cast<void*>(listenerNative)}};
    ASSERT_EQ(env_->RegisterNatives(backend, listener, 1), JNI_OK);
    const jmethodID create = env_->GetStaticMethodID(backend, "createListener0", "(Ljava/lang/String;J)J");
    EXPECT_EQ(env_->CallStaticLongMethod(backend, create, text("pipe"), jlong{0x123456789}), 0x123456789 + 4);
    destroy();

    const JvmRecord r = record();
    EXPECT_TRUE(r.has({"native", "com/corvane/runtime/installer/platform/win32/FileVersion", "compare0",
                       "(Ljava/lang/String;Ljava/lang/String;)I"}));
    EXPECT_EQ(r.violations().size(), 2u);
}

TEST_F(StandInJvm, StringsRoundTripInUtf16AndModifiedUtf8) {
    ASSERT_EQ(create({}), JNI_OK);
    // 'a', NUL, U+00E9, U+1F600 (a surrogate pair), 'z'
    const jchar units[] = {u'a', 0, 0xE9, 0xD83D, 0xDE00, u'z'};
    const jstring s = env_->NewString(units, 6);
    EXPECT_EQ(env_->GetStringLength(s), 6);
    const std::string expected = "a\xC0\x80\xC3\xA9\xED\xA0\xBD\xED\xB8\x80z";
    EXPECT_EQ(env_->GetStringUTFLength(s), static_cast<jsize>(expected.size()));
    const char* utf = env_->GetStringUTFChars(s, nullptr);
    EXPECT_EQ(std::string(utf), expected);  // no raw zero byte inside: the whole text is there
    env_->ReleaseStringUTFChars(s, utf);

    const jstring back = env_->NewStringUTF(expected.c_str());
    ASSERT_EQ(env_->GetStringLength(back), 6);
    const jchar* chars = env_->GetStringChars(back, nullptr);
    EXPECT_TRUE(std::equal(units, units + 6, chars));
    env_->ReleaseStringChars(back, chars);
    jchar region[2] = {};
    env_->GetStringRegion(back, 3, 2, region);
    EXPECT_EQ(region[0], 0xD83D);
    EXPECT_EQ(region[1], 0xDE00);
    env_->GetStringRegion(back, 5, 2, region);
    EXPECT_TRUE(env_->ExceptionCheck());
    env_->ExceptionClear();
    destroy();
    EXPECT_TRUE(record().violations().empty());
}

TEST_F(StandInJvm, ArraysPinCopyBackAndCheckBounds) {
    ASSERT_EQ(create({}), JNI_OK);
    const jobjectArray strings = env_->NewObjectArray(2, env_->FindClass("java/lang/String"), nullptr);
    env_->SetObjectArrayElement(strings, 1, text("one"));
    EXPECT_EQ(env_->GetArrayLength(strings), 2);
    EXPECT_EQ(env_->GetObjectArrayElement(strings, 0), nullptr);
    EXPECT_EQ(env_->GetStringLength(static_cast<jstring>(env_->GetObjectArrayElement(strings, 1))), 3);
    env_->SetObjectArrayElement(strings, 0, env_->FindClass("java/lang/String"));  // a Class in a String[]
    EXPECT_TRUE(env_->ExceptionCheck());
    env_->ExceptionClear();

    const jintArray numbers = env_->NewIntArray(3);
    const jint values[] = {7, 8, 9};
    env_->SetIntArrayRegion(numbers, 0, 3, values);
    jint* pinned = env_->GetIntArrayElements(numbers, nullptr);
    pinned[0] = 70;
    env_->ReleaseIntArrayElements(numbers, pinned, JNI_ABORT);  // dropped
    pinned = env_->GetIntArrayElements(numbers, nullptr);
    pinned[1] = 80;
    env_->ReleaseIntArrayElements(numbers, pinned, 0);  // copied back
    jint read[3] = {};
    env_->GetIntArrayRegion(numbers, 0, 3, read);
    EXPECT_EQ(read[0], 7);
    EXPECT_EQ(read[1], 80);
    env_->GetIntArrayRegion(numbers, 2, 2, read);
    const jthrowable bounds = env_->ExceptionOccurred();
    env_->ExceptionClear();
    EXPECT_TRUE(env_->IsInstanceOf(bounds, env_->FindClass("java/lang/ArrayIndexOutOfBoundsException")));

    const jbyteArray bytes = env_->NewByteArray(4);
    void* critical = env_->GetPrimitiveArrayCritical(bytes, nullptr);
    static_cast<jbyte*>(critical)[3] = 5;
    env_->ReleasePrimitiveArrayCritical(bytes, critical, 0);
    jbyte last = 0;
    env_->GetByteArrayRegion(bytes, 3, 1, &last);
    EXPECT_EQ(last, 5);
    destroy();
    EXPECT_TRUE(record().violations().empty());
}

// As a real machine's collector does, the stand-in takes back the storage of primitive arrays
// nothing can reach: a native that makes an array per call then runs on memory already in use,
// as it would with a real runtime. What a reference, an object array or a frame's result still
// reaches keeps its contents.
TEST_F(StandInJvm, ArraysNothingReachesAreCollected) {
    ASSERT_EQ(create({}), JNI_OK);
    auto bytes = [&](std::initializer_list<jbyte> values) {
        const jbyteArray array = env_->NewByteArray(static_cast<jsize>(values.size()));
        env_->SetByteArrayRegion(array, 0, static_cast<jsize>(values.size()), values.begin());
        return array;
    };
    auto contents = [&](jobject array) {
        std::vector<jbyte> values(static_cast<size_t>(env_->GetArrayLength(static_cast<jarray>(array))));
        env_->GetByteArrayRegion(static_cast<jbyteArray>(array), 0, static_cast<jsize>(values.size()), values.data());
        return values;
    };
    const jbyteArray local = bytes({1, 2});
    const jbyteArray dropped = bytes({3, 4});
    const jobject global = env_->NewGlobalRef(dropped);
    env_->DeleteLocalRef(dropped);
    const jobjectArray holder = env_->NewObjectArray(1, env_->FindClass("[B"), nullptr);
    const jbyteArray element = bytes({5, 6});
    env_->SetObjectArrayElement(holder, 0, element);
    env_->DeleteLocalRef(element);
    ASSERT_EQ(env_->PushLocalFrame(4), JNI_OK);
    const jobject result = env_->PopLocalFrame(bytes({7, 8}));

    // The private memory committed (PagefileUsage; Wine reports no PrivateUsage).
    PROCESS_MEMORY_COUNTERS before = {};
    GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof(before));
    for (int i = 0; i < 4096; ++i) env_->DeleteLocalRef(env_->NewByteArray(1 << 16));
    PROCESS_MEMORY_COUNTERS after = {};
    GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof(after));
    EXPECT_GT(before.PagefileUsage, 0u);
    EXPECT_LT(after.PagefileUsage, before.PagefileUsage + (64u << 20));  // not the 256 MB passed through

    EXPECT_EQ(contents(local), (std::vector<jbyte>{1, 2}));
    EXPECT_EQ(contents(global), (std::vector<jbyte>{3, 4}));
    EXPECT_EQ(contents(env_->GetObjectArrayElement(holder, 0)), (std::vector<jbyte>{5, 6}));
    EXPECT_EQ(contents(result), (std::vector<jbyte>{7, 8}));
    // A new array may take a collected one's storage, but starts zeroed all the same.
    env_->DeleteLocalRef(bytes({9, 9, 9}));
    EXPECT_EQ(contents(env_->NewByteArray(3)), (std::vector<jbyte>{0, 0, 0}));
    destroy();
    EXPECT_TRUE(record().violations().empty());
}

TEST_F(StandInJvm, MainRecordsItsArgumentsAndTheLauncherSetUp) {
    ASSERT_EQ(create({"-Dlumbra.moduleName=C:\\narrow.exe"}), JNI_OK);
    const jclass common = env_->FindClass("com/corvane/runtime/installer/platform/win32/Common");
    env_->CallStaticVoidMethod(common, env_->GetStaticMethodID(common, "initFromLauncher", "(Z)V"), JNI_TRUE);
    const jclass system = env_->FindClass("java/lang/System");
    const jmethodID setProperty =
        env_->GetStaticMethodID(system, "setProperty", "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;");
    const jobject previous = env_->CallStaticObjectMethod(system, setProperty, text("lumbra.moduleName"), text("C:\\wide.exe"));
    const char* previousText = env_->GetStringUTFChars(static_cast<jstring>(previous), nullptr);
    EXPECT_STREQ(previousText, "C:\\narrow.exe");
    env_->ReleaseStringUTFChars(static_cast<jstring>(previous), previousText);
    callMain({"false", "com.example.Main", "", "", "false", "setup.exe"});
    EXPECT_FALSE(env_->ExceptionCheck());
    destroy();

    const JvmRecord r = record();
    EXPECT_TRUE(r.has({"call", "com/corvane/runtime/installer/platform/win32/Common", "initFromLauncher", "(Z)V", "true"}));
    EXPECT_TRUE(r.has({"property", "setProperty", "lumbra.moduleName", "C:\\wide.exe"}));
    EXPECT_EQ(r.mainArguments(),
              (std::vector<std::string>{"false", "com.example.Main", "", "", "false", "setup.exe"}));
    EXPECT_EQ(r.outcome(), JvmRecord::Line{"returned"});
    EXPECT_TRUE(r.violations().empty());
}

TEST_F(StandInJvm, MainThrowsWhatTheScenarioSays) {
    ASSERT_EQ(create({"-Dstandin.scenario=throw:installer broke"}), JNI_OK);
    callMain({});
    const jthrowable thrown = env_->ExceptionOccurred();
    ASSERT_NE(thrown, nullptr);
    env_->ExceptionClear();
    const jmethodID toString = env_->GetMethodID(env_->FindClass("java/lang/Throwable"), "toString", "()Ljava/lang/String;");
    const jstring described = static_cast<jstring>(env_->CallObjectMethod(thrown, toString));
    const char* chars = env_->GetStringUTFChars(described, nullptr);
    EXPECT_STREQ(chars, "java.lang.IllegalStateException: installer broke");
    env_->ReleaseStringUTFChars(described, chars);
    env_->Throw(thrown);
    env_->ExceptionDescribe();  // clears, as a real machine does
    EXPECT_FALSE(env_->ExceptionCheck());
    destroy();
    const JvmRecord r = record();
    EXPECT_EQ(r.outcome(), (JvmRecord::Line{"threw", "java.lang.IllegalStateException: installer broke"}));
    EXPECT_TRUE(r.has({"described", "java.lang.IllegalStateException: installer broke"}));
    EXPECT_TRUE(r.violations().empty());
}

BOOL CALLBACK findStandInWindow(HWND window, LPARAM found) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) && std::wstring(name) == L"StandInJavaWindow") {
        *reinterpret_cast<bool*>(found) = true;
    }
    return TRUE;
}

// The launcher's watcher waits for a visible window of its process or the run mark 2.
TEST_F(StandInJvm, MainShowsAWindowAndSetsTheRunMark) {
    const std::wstring markName = L"InstallStarted_" + std::to_wstring(GetCurrentProcessId());
    ASSERT_EQ(create({"-Dstandin.scenario=mark", "-Dstandin.scenario=window:1500"}), JNI_OK);
    std::atomic<bool> mainDone{false};
    bool seen = false;
    std::thread watcher([&] {
        while (!mainDone && !seen) {
            EnumWindows(findStandInWindow, reinterpret_cast<LPARAM>(&seen));
            Sleep(50);
        }
    });
    callMain({});
    mainDone = true;
    watcher.join();
    EXPECT_TRUE(seen);

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\halvern\\lumbra\\", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    DWORD value = 0;
    DWORD size = sizeof value;
    EXPECT_EQ(RegQueryValueExW(key, markName.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(value, 2u);
    RegDeleteValueW(key, markName.c_str());
    RegCloseKey(key);
    destroy();
    EXPECT_EQ(record().outcome(), JvmRecord::Line{"returned"});
}

jstring JNICALL titleNative(JNIEnv* env, jclass, jint id) {
    return env->NewStringUTF(("window " + std::to_string(id)).c_str());
}

TEST_F(StandInJvm, MainCallsARegisteredNativeWithTheGivenArguments) {
    ASSERT_EQ(create({"-Dstandin.scenario=call:com/corvane/runtime/installer/platform/win32/Misc.getWindowTitle0(I)"
                      "Ljava/lang/String;",
                      "-Dstandin.arg=-5"}),
              JNI_OK);
    const jclass misc = env_->FindClass("com/corvane/runtime/installer/platform/win32/Misc");
    JNINativeMethod table[] = {{const_cast<char*>("getWindowTitle0"), const_cast<char*>("(I)Ljava/lang/String;"),
                                reinterpret_cast<void*>(titleNative)}};
    ASSERT_EQ(env_->RegisterNatives(misc, table, 1), JNI_OK);
    callMain({});
    destroy();
    const JvmRecord r = record();
    EXPECT_TRUE(r.has({"result", "window -5"}));
    EXPECT_TRUE(r.violations().empty());
}

// System.exit ends the whole process with its status, so it runs in a child: the driver.
TEST_F(StandInJvm, ExitEndsTheProcessWithTheStatus) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring driver = self;
    driver = driver.substr(0, driver.find_last_of(L'\\')) + L"\\stand_in_jvm_driver.exe";
    std::wstring command = L"\"" + driver + L"\" \"" + stand_in::standInJvmDll() + L"\" \"-Dstandin.record=" +
                           recordPath() + L"\" -Dstandin.scenario=exit:7";
    STARTUPINFOW startup = {sizeof startup};
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(driver.c_str(), command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                               nullptr, &startup, &process));
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    EXPECT_EQ(code, 7u);
    const JvmRecord r = record();
    EXPECT_EQ(r.mainArguments(), std::vector<std::string>{"driver"});
    EXPECT_EQ(r.outcome(), (JvmRecord::Line{"exit", "7"}));
    EXPECT_FALSE(r.has({"destroyed"}));
}

// Java threads that call natives attach themselves and get an environment of their own.
TEST_F(StandInJvm, ThreadsAttachAndUseOnlyTheirOwnEnvironment) {
    ASSERT_EQ(create({}), JNI_OK);
    JavaVM* fromEnv = nullptr;
    ASSERT_EQ(env_->GetJavaVM(&fromEnv), JNI_OK);
    EXPECT_EQ(fromEnv, vm_);
    JavaVM* created[2] = {};
    jsize count = 0;
    const auto getCreated = reinterpret_cast<jint(JNICALL*)(JavaVM**, jsize, jsize*)>(
        reinterpret_cast<void*>(GetProcAddress(library_, "JNI_GetCreatedJavaVMs")));
    ASSERT_EQ(getCreated(created, 2, &count), JNI_OK);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(created[0], vm_);

    const jobject global = env_->NewGlobalRef(env_->FindClass("java/lang/System"));
    std::thread other([&] {
        void* env = nullptr;
        EXPECT_EQ(vm_->GetEnv(&env, JNI_VERSION_1_2), JNI_EDETACHED);
        ASSERT_EQ(vm_->AttachCurrentThread(&env, nullptr), JNI_OK);
        auto* own = static_cast<JNIEnv*>(env);
        EXPECT_NE(own, env_);
        EXPECT_TRUE(own->IsSameObject(global, own->FindClass("java/lang/System")));
        env_->FindClass("java/lang/String");  // the creating thread's environment: a violation
        EXPECT_EQ(vm_->DetachCurrentThread(), JNI_OK);
    });
    other.join();
    env_->DeleteGlobalRef(global);
    destroy();
    const auto violations = record().violations();
    ASSERT_EQ(violations.size(), 1u);
    EXPECT_TRUE(contains(violations, "FindClass with the JNIEnv of another thread"));
}

TEST_F(StandInJvm, CreationChecksTheVersionAndRecordsOptionsFromTheirCodePage) {
    JavaVMInitArgs args = {};
    args.version = 0x00010001;  // JNI 1.1 init arguments are not accepted by today's runtimes
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    EXPECT_EQ(create_(&vm, reinterpret_cast<void**>(&env), &args), JNI_EVERSION);

    // The launcher's options are in the ANSI code page (1252 here): é is one byte.
    ASSERT_EQ(GetACP(), 1252u);
    ASSERT_EQ(create({"-Dlumbra.tempDir=C:\\caf\xE9"}), JNI_OK);
    destroy();
    EXPECT_TRUE(record().has({"option", "1", "-Dlumbra.tempDir=C:\\caf\xC3\xA9"}));
}

TEST_F(StandInJvm, CallStepsReportMissingAndUnboundNatives) {
    ASSERT_EQ(create({"-Dstandin.scenario=call:com/corvane/runtime/installer/platform/win32/Misc.getMachine0()I",
                      "-Dstandin.scenario=call:com/corvane/runtime/installer/platform/win32/Misc.getOsBuildNumber0()J",
                      "-Dstandin.absent=com/corvane/runtime/installer/platform/win32/Misc.getMachine0"}),
              JNI_OK);
    callMain({});
    destroy();
    const JvmRecord r = record();
    EXPECT_EQ(r.all("result"), (std::vector<JvmRecord::Line>{{"missing"}, {"missing"}}));
    // Absent by request, the first lookup is no violation; the second asks for a signature the
    // class never had.
    EXPECT_EQ(r.violations().size(), 1u);
}

TEST_F(StandInJvm, AnUnboundNativeThrowsUnsatisfiedLinkError) {
    ASSERT_EQ(create({"-Dstandin.scenario=call:com/corvane/runtime/installer/platform/win32/Misc.getOsBuildNumber0()I"}),
              JNI_OK);
    callMain({});
    destroy();
    EXPECT_TRUE(record().has({"result", "exception",
                              "java.lang.UnsatisfiedLinkError: "
                              "com.corvane.runtime.installer.platform.win32.Misc.getOsBuildNumber0()I"}));
}

TEST(StandInRuntimeLayout, PutsTheLibrariesWhereEachShapeHasThem) {
    stand_in::RuntimeFolder folder;
    const auto exists = [](const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; };
    const auto jdk = stand_in::layOutRuntime(folder / L"jdk", stand_in::Shape::JdkWithJre, {}, stand_in::withJvm());
    EXPECT_FALSE(exists(jdk.home + L"\\bin\\server\\jvm.dll"));
    EXPECT_EQ(jdk.jvmDll, jdk.embeddedHome + L"\\bin\\server\\jvm.dll");
    EXPECT_TRUE(exists(jdk.jvmDll));
    EXPECT_TRUE(exists(jdk.home + L"\\bin\\jli.dll"));
    EXPECT_TRUE(exists(jdk.embeddedHome + L"\\bin\\jli.dll"));

    const auto client = stand_in::layOutRuntime(folder / L"client", stand_in::Shape::JreBin, {},
                                                stand_in::withJvm(L"client", false));
    EXPECT_EQ(client.jvmDll, client.home + L"\\bin\\client\\jvm.dll");
    EXPECT_TRUE(client.jliDll.empty());
    EXPECT_FALSE(exists(client.home + L"\\bin\\jli.dll"));
    // A copy works from where it lies.
    const HMODULE copy = LoadLibraryW(client.jvmDll.c_str());
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(createEntry(copy), nullptr);
    FreeLibrary(copy);

    const auto bare = stand_in::layOutRuntime(folder / L"bare", stand_in::Shape::Bin);
    EXPECT_TRUE(bare.jvmDll.empty());
    EXPECT_FALSE(exists(bare.home + L"\\bin\\server"));
}

}  // namespace
