// Creating the virtual machine as the launcher does, and reading Java state back through JNI.
#include <pthread.h>

#include <filesystem>
#include <stdexcept>

#include "base/text.h"
#include "jvm_test.h"

namespace jvmtest {

namespace {

struct JvmThread {
    std::vector<std::string> options;
    const std::function<void(JavaVM*, JNIEnv*)>* body;
};

void* runJvmThread(void* parameter) {
    JvmThread& start = *static_cast<JvmThread*>(parameter);
    std::vector<JavaVMOption> options;
    for (std::string& text : start.options) options.push_back({text.data(), nullptr});
    JavaVMInitArgs initArgs = {};
    initArgs.version = JNI_VERSION_1_2;
    initArgs.nOptions = static_cast<jint>(options.size());
    initArgs.options = options.data();
    initArgs.ignoreUnrecognized = JNI_FALSE;

    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    const jint created = JNI_CreateJavaVM(&vm, reinterpret_cast<void**>(&env), &initArgs);
    EXPECT_EQ(created, JNI_OK) << "the JVM refused the options";
    if (created != JNI_OK) return nullptr;
    (*start.body)(vm, env);
    if (jvmExists()) vm->DestroyJavaVM();
    return nullptr;
}

// A failed lookup is the test's failure; the exception must not stay pending.
template <class T>
T found(JNIEnv* env, T result, const char* what) {
    if (env->ExceptionCheck()) env->ExceptionClear();
    EXPECT_TRUE(result) << "not found: " << what;
    return result;
}

}  // namespace

void withJvm(std::vector<std::string> options, const std::function<void(JavaVM*, JNIEnv*)>& body) {
    options.push_back("-Xcheck:jni");
    JvmThread start{options, &body};
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    // The launcher's reservation for the "-Xss" options, unless the sanitizers' larger frames
    // need the default, which is larger.
    size_t stack = launch::stackReservation(start.options);
    size_t defaultStack = 0;
    pthread_attr_getstacksize(&attributes, &defaultStack);
    if (stack < defaultStack) stack = defaultStack;
    pthread_attr_setstacksize(&attributes, stack);
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, &attributes, runJvmThread, &start), 0);
    pthread_attr_destroy(&attributes);
    pthread_join(thread, nullptr);
}

bool jvmExists() {
    JavaVM* vm = nullptr;
    jsize count = 0;
    return JNI_GetCreatedJavaVMs(&vm, 1, &count) == JNI_OK && count > 0;
}

std::wstring javaText(JNIEnv* env, jstring text) {
    if (!text) return std::wstring();
    const jsize length = env->GetStringLength(text);
    const jchar* chars = env->GetStringChars(text, nullptr);
    std::wstring result(chars, chars + length);
    env->ReleaseStringChars(text, chars);
    return result;
}

std::optional<std::wstring> staticString(JNIEnv* env, const char* className, const char* field) {
    const jclass type = found(env, env->FindClass(className), className);
    if (!type) return std::nullopt;
    const jfieldID id = found(env, env->GetStaticFieldID(type, field, "Ljava/lang/String;"), field);
    std::optional<std::wstring> value;
    if (id) {
        if (const auto text = static_cast<jstring>(env->GetStaticObjectField(type, id))) {
            value = javaText(env, text);
            env->DeleteLocalRef(text);
        }
    }
    env->DeleteLocalRef(type);
    return value;
}

std::optional<std::vector<std::wstring>> staticStrings(JNIEnv* env, const char* className, const char* field) {
    const jclass type = found(env, env->FindClass(className), className);
    if (!type) return std::nullopt;
    const jfieldID id = found(env, env->GetStaticFieldID(type, field, "[Ljava/lang/String;"), field);
    std::optional<std::vector<std::wstring>> values;
    if (id) {
        if (const auto array = static_cast<jobjectArray>(env->GetStaticObjectField(type, id))) {
            values.emplace();
            for (jsize i = 0; i < env->GetArrayLength(array); ++i) {
                const auto element = static_cast<jstring>(env->GetObjectArrayElement(array, i));
                values->push_back(javaText(env, element));
                if (element) env->DeleteLocalRef(element);
            }
            env->DeleteLocalRef(array);
        }
    }
    env->DeleteLocalRef(type);
    return values;
}

int staticInt(JNIEnv* env, const char* className, const char* field) {
    const jclass type = found(env, env->FindClass(className), className);
    if (!type) return -1;
    const jfieldID id = found(env, env->GetStaticFieldID(type, field, "I"), field);
    const int value = id ? env->GetStaticIntField(type, id) : -1;
    env->DeleteLocalRef(type);
    return value;
}

namespace {

// A static method taking one String; a Java exception is the test's failure.
jvalue callStatic(JNIEnv* env, const char* className, const char* method, const char* signature,
                  const char* argument, bool returnsObject) {
    jvalue result = {};
    const jclass type = found(env, env->FindClass(className), className);
    if (!type) return result;
    const jmethodID id = found(env, env->GetStaticMethodID(type, method, signature), method);
    const jstring text = found(env, env->NewStringUTF(argument), argument);
    if (id && text) {
        if (returnsObject)
            result.l = env->CallStaticObjectMethod(type, id, text);
        else
            result.z = env->CallStaticBooleanMethod(type, id, text);
        if (env->ExceptionCheck()) {
            env->ExceptionDescribe();
            env->ExceptionClear();
            ADD_FAILURE() << className << "." << method << " threw";
        }
    }
    if (text) env->DeleteLocalRef(text);
    env->DeleteLocalRef(type);
    return result;
}

std::optional<std::wstring> callStaticText(JNIEnv* env, const char* className, const char* method,
                                           const char* argument) {
    const auto text = static_cast<jstring>(
        callStatic(env, className, method, "(Ljava/lang/String;)Ljava/lang/String;", argument, true).l);
    if (!text) return std::nullopt;
    const std::wstring result = javaText(env, text);
    env->DeleteLocalRef(text);
    return result;
}

}  // namespace

std::optional<std::wstring> systemProperty(JNIEnv* env, const char* key) {
    return callStaticText(env, "java/lang/System", "getProperty", key);
}

bool callStaticBoolean(JNIEnv* env, const char* className, const char* method, const char* argument) {
    return callStatic(env, className, method, "(Ljava/lang/String;)Z", argument, false).z == JNI_TRUE;
}

std::wstring callStaticString(JNIEnv* env, const char* className, const char* method, const char* argument) {
    return callStaticText(env, className, method, argument).value_or(std::wstring());
}

std::string HostServices::toAnsi(std::wstring_view text) { return base::wideToNarrow(text); }

std::string HostServices::resolveNarrow(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    return base::wideToNarrow(executableLongDirectory()) + "\\" + path;
}

bool HostServices::pathExists(const std::string& path) { return std::filesystem::exists(path); }

void HostServices::fail(int message, const std::string& argument) {
    throw std::runtime_error("launch ended with message " + std::to_string(message) + " (" + argument + ")");
}

void HostServices::fail(int message) {
    throw std::runtime_error("launch ended with message " + std::to_string(message));
}

}  // namespace jvmtest
