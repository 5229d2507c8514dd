#include "natives/registration.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "base/text.h"
#include "jni/jni_toolkit.h"
#include "natives/registration_table.h"
#include "natives/report_text.h"

namespace natives {

namespace {

using launch::ReportFunction;

constexpr char kForNameSignature[] = "(Ljava/lang/String;ZLjava/lang/ClassLoader;)Ljava/lang/Class;";

// The table's texts are ASCII.
std::wstring widened(const std::string& text) { return std::wstring(text.begin(), text.end()); }

void say(ReportFunction report, const std::string& text) {
    if (report) report(widened(text).c_str());
}

// Looks every method's function up under the build's export name and binds them all with one
// RegisterNatives call; nothing is bound when an export is missing.
bool bindClass(JNIEnv* env, jclass javaClass, const NativeClass& nativeClass, void* module, ReportFunction report) {
    std::vector<JNINativeMethod> entries;
    entries.reserve(nativeClass.methods.size());
    for (const NativeMethod& method : nativeClass.methods) {
        const FARPROC function =
            GetProcAddress(static_cast<HMODULE>(module), moduleExportName(nativeClass, method).c_str());
        if (!function) {
            say(report, missingExportText(nativeClass, method));
            return false;
        }
        entries.push_back({const_cast<char*>(method.name), const_cast<char*>(method.signature),
                           reinterpret_cast<void*>(function)});
    }
    const jint result = env->RegisterNatives(javaClass, entries.data(), static_cast<jint>(entries.size()));
    if (result != 0) {
        // The virtual machine's exception stays pending for the caller, who clears it.
        if (report) report(widened(registerFailedText(nativeClass)).c_str(), static_cast<int>(result));
        return false;
    }
    return true;
}

}  // namespace

bool registerExtensionFunctions(JNIEnv* env, void* module, jobject classLoader, jstring entryName,
                                jstring packageName) {
    const jni::LocalRef<jclass> classClass = jni::findClass(env, "java/lang/Class");
    const jmethodID forName =
        classClass ? env->GetStaticMethodID(classClass.get(), "forName", kForNameSignature) : nullptr;
    if (!forName) {
        // Natives return their failure; they throw nothing of their own.
        env->ExceptionClear();
        return false;
    }
    const jni::UtfString entry(env, entryName);
    const jni::UtfString package(env, packageName);
    if (entry.failed() || package.failed()) return false;
    const auto function = entry.get() ? reinterpret_cast<RegisterExtensionFunction>(reinterpret_cast<void*>(
                                            GetProcAddress(static_cast<HMODULE>(module), entry.get())))
                                      : nullptr;
    if (!function) {
        reportToStandardError(L"did not find register natives extension in helper dll (%S)", entry.get());
        return false;
    }
    if (!function(env, classLoader, classClass.get(), forName, package.get(), module, reportToStandardError)) {
        reportToStandardError(L"registering helper dll extension failed");
        return false;
    }
    return true;
}

void reportToStandardError(const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const std::wstring text = formatReport(format, arguments);
    va_end(arguments);
    const std::string line = "ERROR: " + base::wideToNarrow(text) + "\n";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

}  // namespace natives

using natives::ClassGroup;
using natives::NativeClass;

extern "C" unsigned char registerNatives(JNIEnv* env, void* module, launch::ReportFunction report) {
    return registerNativesEx(env, module, 1, report);
}

extern "C" unsigned char registerNativesEx(JNIEnv* env, void* module, unsigned char required,
                                           launch::ReportFunction report) {
    if (!env) return 0;
    for (const NativeClass* nativeClass : natives::classesOf(ClassGroup::Runtime)) {
        const jni::LocalRef<jclass> javaClass = jni::findClass(env, nativeClass->className);
        if (!javaClass) {
            env->ExceptionClear();
            natives::say(report, natives::classNotFoundText(*nativeClass));
            if (required) return 0;
            continue;
        }
        if (!natives::bindClass(env, javaClass.get(), *nativeClass, module, report)) return 0;
    }
    return 1;
}

extern "C" unsigned char registerNativesFlatlaf(JNIEnv* env, jobject classLoader, jclass classClass, jmethodID forName,
                                                const char* packageName, void* module,
                                                launch::ReportFunction report) {
    if (!env || !classClass || !forName) return 0;
    for (const NativeClass* nativeClass : natives::classesOf(ClassGroup::Flatlaf)) {
        const jni::LocalRef<jstring> name(
            env, jni::newJavaUtfString(env, natives::binaryName(*nativeClass, packageName).c_str()));
        const jni::LocalRef<jobject> loaded(
            env, name ? env->CallStaticObjectMethod(classClass, forName, name.get(), JNI_FALSE, classLoader) : nullptr);
        if (!loaded) {
            env->ExceptionClear();
            // The default name, also when another package was asked for.
            natives::say(report, natives::classNotFoundText(*nativeClass));
            return 0;
        }
        if (!natives::bindClass(env, static_cast<jclass>(loaded.get()), *nativeClass, module, report)) return 0;
    }
    return 1;
}
