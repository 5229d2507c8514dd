#include "natives/registration.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "base/text.h"
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

// A modified UTF-8 copy of a Java string, released on every path; null for a null string.
class UtfChars {
public:
    UtfChars(JNIEnv* env, jstring text) : env_(env), text_(text) {
        if (text_) chars_ = env_->GetStringUTFChars(text_, nullptr);
    }
    ~UtfChars() {
        if (chars_) env_->ReleaseStringUTFChars(text_, chars_);
    }
    UtfChars(const UtfChars&) = delete;
    UtfChars& operator=(const UtfChars&) = delete;
    const char* get() const { return chars_; }
    // A non-null string whose characters could not be had.
    bool failed() const { return text_ && !chars_; }

private:
    JNIEnv* env_;
    jstring text_;
    const char* chars_ = nullptr;
};

}  // namespace

bool registerExtensionFunctions(JNIEnv* env, void* module, jobject classLoader, jstring entryName,
                                jstring packageName) {
    const jclass classClass = env->FindClass("java/lang/Class");
    const jmethodID forName = classClass ? env->GetStaticMethodID(classClass, "forName", kForNameSignature) : nullptr;
    if (!forName) {
        // Natives return their failure; they throw nothing of their own.
        env->ExceptionClear();
        if (classClass) env->DeleteLocalRef(classClass);
        return false;
    }
    const UtfChars entry(env, entryName);
    const UtfChars package(env, packageName);
    bool registered = false;
    if (!entry.failed() && !package.failed()) {
        const auto function = entry.get() ? reinterpret_cast<RegisterExtensionFunction>(reinterpret_cast<void*>(
                                                GetProcAddress(static_cast<HMODULE>(module), entry.get())))
                                          : nullptr;
        if (!function) {
            reportToStandardError(L"did not find register natives extension in helper dll (%S)", entry.get());
        } else if (!function(env, classLoader, classClass, forName, package.get(), module, reportToStandardError)) {
            reportToStandardError(L"registering helper dll extension failed");
        } else {
            registered = true;
        }
    }
    env->DeleteLocalRef(classClass);
    return registered;
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
        const jclass javaClass = env->FindClass(nativeClass->className);
        if (!javaClass) {
            env->ExceptionClear();
            natives::say(report, natives::classNotFoundText(*nativeClass));
            if (required) return 0;
            continue;
        }
        const bool bound = natives::bindClass(env, javaClass, *nativeClass, module, report);
        env->DeleteLocalRef(javaClass);
        if (!bound) return 0;
    }
    return 1;
}

extern "C" unsigned char registerNativesFlatlaf(JNIEnv* env, jobject classLoader, jclass classClass, jmethodID forName,
                                                const char* packageName, void* module,
                                                launch::ReportFunction report) {
    if (!env || !classClass || !forName) return 0;
    for (const NativeClass* nativeClass : natives::classesOf(ClassGroup::Flatlaf)) {
        const jstring name = env->NewStringUTF(natives::binaryName(*nativeClass, packageName).c_str());
        const jobject loaded =
            name ? env->CallStaticObjectMethod(classClass, forName, name, JNI_FALSE, classLoader) : nullptr;
        if (name) env->DeleteLocalRef(name);
        if (!loaded) {
            env->ExceptionClear();
            // The default name, also when another package was asked for.
            natives::say(report, natives::classNotFoundText(*nativeClass));
            return 0;
        }
        const bool bound = natives::bindClass(env, static_cast<jclass>(loaded), *nativeClass, module, report);
        env->DeleteLocalRef(loaded);
        if (!bound) return 0;
    }
    return 1;
}
