#include "harness/java_values.h"

#include <gtest/gtest.h>

#include "harness/java_machine.h"

namespace natives_test {

namespace {

bool isInstanceOf(jobject object, const char* className) {
    JNIEnv* e = env();
    const jclass type = e->FindClass(className);
    const bool result = type != nullptr && e->IsInstanceOf(object, type);
    if (type != nullptr) e->DeleteLocalRef(type);
    return result;
}

// Calls an instance method without arguments that returns a reference.
jobject callObjectMethod(jobject object, const char* className, const char* name, const char* signature) {
    JNIEnv* e = env();
    const jclass type = e->FindClass(className);
    const jmethodID method = e->GetMethodID(type, name, signature);
    e->DeleteLocalRef(type);
    return method == nullptr ? nullptr : e->CallObjectMethod(object, method);
}

}  // namespace

jstring javaString(std::wstring_view text) {
    const std::u16string units(text.begin(), text.end());
    return env()->NewString(reinterpret_cast<const jchar*>(units.data()), static_cast<jsize>(units.size()));
}

jobjectArray javaStrings(std::initializer_list<std::wstring_view> texts) {
    JNIEnv* e = env();
    const jclass stringClass = e->FindClass("java/lang/String");
    const jobjectArray array = e->NewObjectArray(static_cast<jsize>(texts.size()), stringClass, nullptr);
    jsize index = 0;
    for (const std::wstring_view text : texts) {
        const jstring element = javaString(text);
        e->SetObjectArrayElement(array, index++, element);
        e->DeleteLocalRef(element);
    }
    e->DeleteLocalRef(stringClass);
    return array;
}

jbyteArray javaBytes(std::span<const unsigned char> bytes) {
    const jbyteArray array = env()->NewByteArray(static_cast<jsize>(bytes.size()));
    env()->SetByteArrayRegion(array, 0, static_cast<jsize>(bytes.size()), reinterpret_cast<const jbyte*>(bytes.data()));
    return array;
}

jobject javaInteger(jint value) {
    JNIEnv* e = env();
    const jclass type = e->FindClass("java/lang/Integer");
    const jobject boxed = e->CallStaticObjectMethod(type, e->GetStaticMethodID(type, "valueOf", "(I)Ljava/lang/Integer;"), value);
    e->DeleteLocalRef(type);
    return boxed;
}

jobject javaLong(jlong value) {
    JNIEnv* e = env();
    const jclass type = e->FindClass("java/lang/Long");
    const jobject boxed = e->CallStaticObjectMethod(type, e->GetStaticMethodID(type, "valueOf", "(J)Ljava/lang/Long;"), value);
    e->DeleteLocalRef(type);
    return boxed;
}

std::optional<std::wstring> textOf(jobject string) {
    if (string == nullptr) return std::nullopt;
    if (!isInstanceOf(string, "java/lang/String")) {
        ADD_FAILURE() << "not a String but a " << classNameOf(string);
        return std::nullopt;
    }
    JNIEnv* e = env();
    const auto text = static_cast<jstring>(string);
    const jsize length = e->GetStringLength(text);
    std::u16string units(static_cast<size_t>(length), u'\0');
    e->GetStringRegion(text, 0, length, reinterpret_cast<jchar*>(units.data()));
    return std::wstring(units.begin(), units.end());
}

std::optional<std::vector<std::wstring>> textsOf(jobject stringArray) {
    if (stringArray == nullptr) return std::nullopt;
    if (!isInstanceOf(stringArray, "[Ljava/lang/String;")) {
        ADD_FAILURE() << "not a String[] but a " << classNameOf(stringArray);
        return std::nullopt;
    }
    JNIEnv* e = env();
    const auto array = static_cast<jobjectArray>(stringArray);
    std::vector<std::wstring> texts;
    for (jsize i = 0; i < e->GetArrayLength(array); ++i) {
        const jobject element = e->GetObjectArrayElement(array, i);
        texts.push_back(textOf(element).value_or(L""));
        if (element != nullptr) e->DeleteLocalRef(element);
    }
    return texts;
}

std::optional<std::vector<unsigned char>> bytesOf(jobject byteArray) {
    if (byteArray == nullptr) return std::nullopt;
    if (!isInstanceOf(byteArray, "[B")) {
        ADD_FAILURE() << "not a byte[] but a " << classNameOf(byteArray);
        return std::nullopt;
    }
    const auto array = static_cast<jbyteArray>(byteArray);
    std::vector<unsigned char> bytes(static_cast<size_t>(env()->GetArrayLength(array)));
    env()->GetByteArrayRegion(array, 0, static_cast<jsize>(bytes.size()), reinterpret_cast<jbyte*>(bytes.data()));
    return bytes;
}

std::optional<jint> intOf(jobject integer) {
    if (integer == nullptr) return std::nullopt;
    if (!isInstanceOf(integer, "java/lang/Integer")) {
        ADD_FAILURE() << "not an Integer but a " << classNameOf(integer);
        return std::nullopt;
    }
    JNIEnv* e = env();
    const jclass type = e->FindClass("java/lang/Integer");
    const jint value = e->CallIntMethod(integer, e->GetMethodID(type, "intValue", "()I"));
    e->DeleteLocalRef(type);
    return value;
}

std::optional<jlong> longOf(jobject boxed) {
    if (boxed == nullptr) return std::nullopt;
    if (!isInstanceOf(boxed, "java/lang/Long")) {
        ADD_FAILURE() << "not a Long but a " << classNameOf(boxed);
        return std::nullopt;
    }
    JNIEnv* e = env();
    const jclass type = e->FindClass("java/lang/Long");
    const jlong value = e->CallLongMethod(boxed, e->GetMethodID(type, "longValue", "()J"));
    e->DeleteLocalRef(type);
    return value;
}

std::optional<std::wstring> toStringOf(jobject object) {
    if (object == nullptr) return std::nullopt;
    const jobject text = callObjectMethod(object, "java/lang/Object", "toString", "()Ljava/lang/String;");
    std::optional<std::wstring> result = textOf(text);
    if (text != nullptr) env()->DeleteLocalRef(text);
    return result;
}

std::string classNameOf(jobject object) {
    if (object == nullptr) return "null";
    JNIEnv* e = env();
    const jclass type = e->GetObjectClass(object);
    const jobject name = callObjectMethod(type, "java/lang/Class", "getName", "()Ljava/lang/String;");
    const std::wstring wide = textOf(name).value_or(L"?");
    e->DeleteLocalRef(name);
    e->DeleteLocalRef(type);
    return std::string(wide.begin(), wide.end());
}

std::string takePendingException() {
    JNIEnv* e = env();
    const jthrowable pending = e->ExceptionOccurred();
    if (pending == nullptr) return {};
    e->ExceptionClear();
    const std::string type = classNameOf(pending);
    const jobject message = callObjectMethod(pending, "java/lang/Throwable", "getMessage", "()Ljava/lang/String;");
    const std::wstring text = textOf(message).value_or(L"");
    if (message != nullptr) e->DeleteLocalRef(message);
    e->DeleteLocalRef(pending);
    return type + ": " + std::string(text.begin(), text.end());
}

}  // namespace natives_test
