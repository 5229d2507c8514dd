#include "launch/main_call.h"

#include "base/text.h"
#include "files/variable_expansion.h"
#include "jni/jni_toolkit.h"
#include "services/command_line.h"
#include "services/log.h"
#include "services/tables.h"

namespace launch {

namespace {

using jni::LocalRef;
using services::logError;
using services::logMessage;

constexpr int32_t kErrorLogSwitchId = 102;
constexpr int32_t kErrorLogNameId = 103;
constexpr int32_t kOutputLogSwitchId = 104;
constexpr int32_t kOutputLogNameId = 105;
constexpr int32_t kParameterFiveId = 106;
constexpr int32_t kLauncherTypeId = 107;
constexpr int32_t kSplashTextsId = 108;
constexpr int32_t kMainClassId = 122;
constexpr int32_t kConfiguredArgumentsId = 124;
constexpr int32_t kJavaArgumentsId = 125;
constexpr int32_t kModularApplicationId = 133;
constexpr int32_t kSplashSwitchId = 163;
constexpr int32_t kLauncherKindId = 2001;
constexpr int kMissingEntryClassMessage = 1010;
constexpr int kMissingMainMessage = 1011;
constexpr size_t kSplashTextLimit = 1999;

constexpr char kCommonClass[] = "com/corvane/runtime/installer/platform/win32/Common";
constexpr char kSplashConfigSignature[] =
    "(ZZLjava/lang/String;IILjava/lang/String;IILjava/lang/String;IILjava/lang/String;II)V";
constexpr char kSetPropertySignature[] = "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;";

bool installerKind() {
    const std::string kind = services::configString(kLauncherKindId);
    return !kind.empty() && kind[0] == 'i';
}

// A failed lookup leaves a pending exception; it is cleared at once so that later calls run
// with a clean slate.
template <class T>
T checked(JNIEnv* env, T result) {
    if (!result && env->ExceptionCheck()) env->ExceptionClear();
    return result;
}

// The runtime's own methods may throw. JNI allows almost no call while an exception is pending,
// so it is described and cleared before the next step looks anything up.
void clearThrown(JNIEnv* env) {
    if (!env->ExceptionCheck()) return;
    env->ExceptionDescribe();
    env->ExceptionClear();
}

std::wstring logParameter(int32_t switchId, int32_t nameId, MainCallServices& services) {
    if (services::configInteger(switchId) == 0) return std::wstring();
    std::wstring name = services::configWide(nameId);
    services.expandUnicode(name);
    if (!name.empty() && name[0] != L'$') name = services.canonicalKeepCase(name);
    return name;
}

// The stored texts are in the ANSI code page; they reach Java as the characters they stand for.
jstring splashText(JNIEnv* env, int32_t id) {
    std::string text = services::configString(id);
    if (text.size() > kSplashTextLimit) text.resize(kSplashTextLimit);
    return jni::newJavaString(env, base::narrowToWide(text));
}

void passSplashTexts(JNIEnv* env) {
    const LocalRef<jclass> splash = checked(env, jni::findClass(env, "com/lumbra/runtime/WinLauncher"));
    if (!splash) {
        logError(L"could not find main class for splash properties");
        return;
    }
    const jmethodID method =
        checked(env, env->GetStaticMethodID(splash.get(), "initAwtSplashConfig", kSplashConfigSignature));
    if (!method) {
        logError(L"could not find method for splash properties");
        return;
    }
    const LocalRef first(env, splashText(env, 10111));
    const LocalRef second(env, splashText(env, 10114));
    const LocalRef third(env, splashText(env, 10118));
    const LocalRef fourth(env, splashText(env, 10121));
    using services::configInteger;
    const jboolean splashOn = configInteger(kSplashSwitchId) != 0 ? JNI_TRUE : JNI_FALSE;
    env->CallStaticVoidMethod(splash.get(), method, JNI_FALSE, splashOn, first.get(), configInteger(10109),
                              configInteger(10110), second.get(), configInteger(10113), configInteger(10115),
                              third.get(), configInteger(10116), configInteger(10117), fourth.get(),
                              configInteger(10120), configInteger(10122));
    clearThrown(env);
}

void registerNatives(JNIEnv* env, MainCallServices& services) {
    logMessage(L"load helper dll");
    void* const module = services.nativesModule();
    logMessage(L"helper dll (in-module) %p", module);
    if (!module) return;
    const RegisterNativesExFunction registerNativesEx = services.findRegisterNativesEx(module);
    if (!registerNativesEx) {
        logError(L"did not find register natives in helper dll");
        return;
    }
    const LocalRef<jclass> common = checked(env, jni::findClass(env, kCommonClass));
    if (!common) {
        logError(L"did not find %S", std::string(kCommonClass));
        return;
    }
    const jmethodID initFromLauncher = checked(env, env->GetStaticMethodID(common.get(), "initFromLauncher", "(Z)V"));
    if (!initFromLauncher) {
        logError(L"did not find initMethod");
        return;
    }
    env->CallStaticVoidMethod(common.get(), initFromLauncher, JNI_TRUE);
    clearThrown(env);
    if (!registerNativesEx(env, module, 1, services.errorReporter())) {
        env->ExceptionClear();
        logError(L"registering helper dll failed");
        env->CallStaticVoidMethod(common.get(), initFromLauncher, JNI_FALSE);
        clearThrown(env);
    }
}

// Sets a static String field; false (with the message logged) when a step fails.
void setWinDelExecutable(JNIEnv* env, MainCallServices& services) {
    const LocalRef<jclass> winDel = checked(env, jni::findClass(env, "com/lumbra/runtime/util/WinDel"));
    if (!winDel) {
        logError(L"did not find WinDel class");
        return;
    }
    const jfieldID field =
        checked(env, env->GetStaticFieldID(winDel.get(), "externalExecutable", "Ljava/lang/String;"));
    const std::optional<std::wstring> name = field ? services.winDelExecutable() : std::nullopt;
    const LocalRef value(env, name ? checked(env, jni::newJavaString(env, *name)) : nullptr);
    if (!field)
        logError(L"did not find WinDel field");
    else if (!name)
        logError(L"could not get module name for WinDel");
    else if (!value)
        logError(L"could not create string for WinDel");
    else
        env->SetStaticObjectField(winDel.get(), field, value.get());
}

void setPidValueName(JNIEnv* env, MainCallServices& services) {
    const LocalRef<jclass> state =
        checked(env, jni::findClass(env, "com/corvane/runtime/installer/platform/win32/LauncherState"));
    if (!state) return;
    const jfieldID field = checked(env, env->GetStaticFieldID(state.get(), "pidValueName", "Ljava/lang/String;"));
    if (!field) return;
    const std::wstring path = files::widenBytes(services.canonicalExecutablePath());
    if (const LocalRef value{env, checked(env, jni::newJavaString(env, path))})
        env->SetStaticObjectField(state.get(), field, value.get());
}

void setModuleNameProperty(JNIEnv* env, MainCallServices& services) {
    const LocalRef<jclass> system = checked(env, jni::findClass(env, "java/lang/System"));
    if (!system) {
        logError(L"could not get system class");
        return;
    }
    const jmethodID setProperty =
        checked(env, env->GetStaticMethodID(system.get(), "setProperty", kSetPropertySignature));
    if (!setProperty) {
        logError(L"could not get method for module name init");
        return;
    }
    const std::wstring path = services.executableLongPath();
    const LocalRef key(env, checked(env, jni::newJavaUtfString(env, "lumbra.moduleName")));
    const LocalRef value(env, key ? checked(env, jni::newJavaString(env, path)) : nullptr);
    if (!key || !value) {
        logError(L"could not create string for init module name");
        return;
    }
    logMessage(L"setting lumbra.moduleName to %s", path);
    const LocalRef previous(env, env->CallStaticObjectMethod(system.get(), setProperty, key.get(), value.get()));
}

// The exception escaping main: its text in the log, its stack trace on standard error.
bool reportException(JNIEnv* env) {
    if (!env->ExceptionCheck()) return true;
    logError(L"an exception occurred");
    const LocalRef thrown(env, env->ExceptionOccurred());
    env->ExceptionClear();
    std::wstring text;
    if (const LocalRef type{env, env->GetObjectClass(thrown.get())}) {
        const jmethodID toString = env->GetMethodID(type.get(), "toString", "()Ljava/lang/String;");
        const LocalRef description(
            env, toString ? static_cast<jstring>(env->CallObjectMethod(thrown.get(), toString)) : nullptr);
        if (env->ExceptionCheck()) env->ExceptionClear();
        text = jni::WideString(env, description.get()).text();
    }
    logError(L"%s", text);
    env->Throw(thrown.get());
    env->ExceptionDescribe();
    env->ExceptionClear();
    return false;
}

bool callMain(JNIEnv* env, const LaunchRecord& record, MainCallServices& services) {
    const std::string className = entryClassName();
    logMessage(L"main class: %S", className);
    const LocalRef<jclass> entry = checked(env, jni::findClass(env, className.c_str()));
    if (!entry) {
        logError(L"could not find main class");
        services.fail(kMissingEntryClassMessage);
    }
    const jmethodID main = checked(env, env->GetStaticMethodID(entry.get(), "main", "([Ljava/lang/String;)V"));
    if (!main) {
        logMessage(L"could not find main method");
        services.fail(kMissingMainMessage);
    }

    const std::vector<std::wstring> arguments = mainArguments(record.arguments, services);
    logMessage(L"param count: %d", static_cast<int>(arguments.size()));
    const LocalRef<jclass> stringClass = checked(env, jni::findClass(env, "java/lang/String"));
    const LocalRef array(env, stringClass ? checked(env, env->NewObjectArray(static_cast<jsize>(arguments.size()),
                                                                             stringClass.get(), nullptr))
                                          : nullptr);
    if (!array) {
        logError(L"could not create the argument array");
        return false;
    }
    for (size_t i = 0; i < arguments.size(); ++i) {
        // One argument's reference at a time: an installer may pass more arguments than the
        // thread's local references can hold, and the array holds each string once it is set.
        const LocalRef element(env, checked(env, jni::newJavaString(env, arguments[i])));
        if (!element) {
            logError(L"could not create argument %d", static_cast<int>(i));
            return false;
        }
        logMessage(L"param %d: %s", static_cast<int>(i), arguments[i]);
        env->SetObjectArrayElement(array.get(), static_cast<jsize>(i), element.get());
    }
    logMessage(L"calling main");
    env->CallStaticVoidMethod(entry.get(), main, array.get());
    logMessage(L"main returned");
    return reportException(env);
}

}  // namespace

std::string entryClassName() {
    std::string name = installerKind() ? "com/corvane/runtime/launcher/WinLauncher" : "com/lumbra/runtime/WinLauncher";
    for (char& c : name)
        if (c == '.') c = '/';
    return name;
}

std::vector<std::wstring> mainArguments(const std::vector<std::wstring>& arguments, MainCallServices& services) {
    std::vector<std::wstring> result;
    result.push_back(services::configInteger(kLauncherTypeId) == 1 ? L"true" : L"false");
    std::wstring mainClass = services::configWide(kMainClassId);
    if (services::configInteger(kModularApplicationId) != 0) mainClass.insert(0, L"/");
    result.push_back(mainClass);
    result.push_back(logParameter(kErrorLogSwitchId, kErrorLogNameId, services));
    result.push_back(logParameter(kOutputLogSwitchId, kOutputLogNameId, services));
    result.push_back(services::configInteger(kParameterFiveId) != 0 ? L"true" : L"false");
    if (!arguments.empty()) result.push_back(arguments[0]);

    std::wstring configured = services::configWide(kConfiguredArgumentsId, std::wstring::npos);
    services.expandUnicode(configured);
    services::splitCommandLine(configured, result, false);

    const bool javaArguments = services::configInteger(kJavaArgumentsId) != 0;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        if (javaArguments && argument.rfind(L"-J", 0) == 0) continue;
        if (argument.rfind(L"-Dsun.locale.formatasdefault=", 0) == 0) continue;
        result.push_back(argument);
    }
    return result;
}

bool runAfterCreation(JavaVM* vm, JNIEnv* env, const LaunchRecord& record, MainCallServices& services) {
    if (services::configInteger(kSplashTextsId) != 0) passSplashTexts(env);
    if (installerKind()) registerNatives(env, services);
    setWinDelExecutable(env, services);
    setPidValueName(env, services);
    setModuleNameProperty(env, services);
    if (env->ExceptionCheck()) env->ExceptionClear();
    if (!callMain(env, record, services)) {
        logError(L"could not call main");
        return false;
    }
    if (record.destroyAfterMain) {
        logMessage(L"dest JVM");
        vm->DestroyJavaVM();
    }
    logMessage(L"launch done");
    return true;
}

}  // namespace launch
