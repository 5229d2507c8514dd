#include "natives/registry_values.h"

#include <string>
#include <string_view>

#include "jni/jni_toolkit.h"
#include "natives/registry_data.h"

namespace natives::registry {

namespace {

constexpr char kExpandStringClass[] = "com/corvane/api/windows/WinRegistry$ExpandString";

// Integer.valueOf or Long.valueOf.
jobject boxed(JNIEnv* env, const char* className, const char* signature, jvalue value) {
    const jni::LocalRef<jclass> type = jni::findClass(env, className);
    if (!type) return nullptr;
    const jmethodID valueOf = env->GetStaticMethodID(type.get(), "valueOf", signature);
    if (valueOf == nullptr) return nullptr;
    return env->CallStaticObjectMethodA(type.get(), valueOf, &value);
}

// The expandable text as the runtime's ExpandString; the plain String where the runtime has
// no such class, with the lookup's exception cleared.
jobject expandString(JNIEnv* env, const std::wstring& text) {
    jni::LocalRef<jstring> string(env, jni::newJavaString(env, text));
    if (!string) return nullptr;
    const jni::LocalRef<jclass> type = jni::findClass(env, kExpandStringClass);
    if (!type) {
        env->ExceptionClear();
        return string.release();
    }
    return jni::newObject(env, type.get(), "(Ljava/lang/String;)V", {string.get()});
}

bool isInstance(JNIEnv* env, jobject value, const char* className) {
    if (value == nullptr) return false;
    const jni::LocalRef<jclass> type = jni::findClass(env, className);
    return type && env->IsInstanceOf(value, type.get());
}

// intValue() of an Integer, longValue() of a Long.
bool unbox(JNIEnv* env, jobject value, const char* className, const char* method, const char* signature,
           jlong& number) {
    if (!isInstance(env, value, className)) return false;
    const jni::LocalRef<jclass> type = jni::findClass(env, className);
    const jmethodID id = env->GetMethodID(type.get(), method, signature);
    if (id == nullptr) return false;
    number = signature[2] == 'I' ? env->CallIntMethod(value, id) : env->CallLongMethod(value, id);
    return !jni::exceptionPending(env);
}

}  // namespace

jobject toJavaValue(JNIEnv* env, DWORD type, const std::vector<unsigned char>& data) {
    switch (type) {
    case REG_SZ: return jni::newJavaString(env, textOf(data));
    case REG_EXPAND_SZ: return expandString(env, textOf(data));
    case REG_BINARY: return jni::newJavaByteArray(env, data);
    case REG_DWORD: {
        jvalue value{};
        value.i = static_cast<jint>(static_cast<DWORD>(numberOf(data, sizeof(DWORD))));
        return boxed(env, "java/lang/Integer", "(I)Ljava/lang/Integer;", value);
    }
    case REG_QWORD: {
        jvalue value{};
        value.j = static_cast<jlong>(numberOf(data, sizeof(unsigned long long)));
        return boxed(env, "java/lang/Long", "(J)Ljava/lang/Long;", value);
    }
    case REG_MULTI_SZ: return jni::newJavaStringArray(env, multiStringOf(data));
    default: return nullptr;
    }
}

RegistryData fromJavaValue(JNIEnv* env, jobject value, jint typeCode) {
    RegistryData data;
    switch (typeCode) {
    case 1:
    case 5: {
        if (!isInstance(env, value, "java/lang/String")) return data;
        const jni::WideString text(env, static_cast<jstring>(value));
        if (text.failed()) return data;
        appendUnits(data.bytes, text.text());
        appendUnits(data.bytes, std::wstring_view(L"\0", 1));
        data.type = typeCode == 1 ? REG_SZ : REG_EXPAND_SZ;
        break;
    }
    case 2: {
        jlong number = 0;
        if (!unbox(env, value, "java/lang/Integer", "intValue", "()I", number)) return data;
        appendNumber(data.bytes, static_cast<DWORD>(number), sizeof(DWORD));
        data.type = REG_DWORD;
        break;
    }
    case 6: {
        jlong number = 0;
        if (!unbox(env, value, "java/lang/Long", "longValue", "()J", number)) return data;
        appendNumber(data.bytes, static_cast<unsigned long long>(number), sizeof(unsigned long long));
        data.type = REG_QWORD;
        break;
    }
    case 3: {
        if (!isInstance(env, value, "[Ljava/lang/String;")) return data;
        const jni::WideStringArray texts(env, static_cast<jobjectArray>(value));
        if (texts.failed()) return data;
        for (const jni::WideString& text : texts) {
            // An empty element would end the list early for every reader.
            if (text.isNull() || text.length() == 0) return data;
            appendUnits(data.bytes, text.text());
            appendUnits(data.bytes, std::wstring_view(L"\0", 1));
        }
        appendUnits(data.bytes, std::wstring_view(L"\0", 1));
        data.type = REG_MULTI_SZ;
        break;
    }
    case 4: {
        if (!isInstance(env, value, "[B")) return data;
        const jni::PinnedBytes bytes(env, static_cast<jbyteArray>(value), jni::ArrayAccess::ReadOnly);
        if (bytes.failed()) return data;
        data.bytes.assign(reinterpret_cast<const unsigned char*>(bytes.begin()),
                          reinterpret_cast<const unsigned char*>(bytes.end()));
        data.type = REG_BINARY;
        break;
    }
    default: return data;
    }
    data.converted = true;
    return data;
}

}  // namespace natives::registry
