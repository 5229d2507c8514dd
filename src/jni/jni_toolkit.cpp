#include "jni/jni_toolkit.h"

#include <algorithm>
#include <limits>
#include <new>
#include <optional>

namespace jni {

namespace {

// Characters move between Java and wide buffers through a small buffer of this many code
// units: no second copy of a long string, and no aliasing of wchar_t storage as jchar.
constexpr jsize kChunk = 512;

constexpr std::size_t kMaxJavaLength = static_cast<std::size_t>(std::numeric_limits<jsize>::max());

}  // namespace

// ---- Text ------------------------------------------------------------------------------------

WideString::WideString(JNIEnv* env, jstring text) {
    if (!text) return;
    null_ = false;
    failed_ = true;
    if (exceptionPending(env)) return;
    const jsize length = env->GetStringLength(text);
    if (exceptionPending(env) || length < 0) return;
    try {
        text_.resize(static_cast<std::size_t>(length));
    } catch (const std::bad_alloc&) {
        return;
    }
    jchar units[kChunk];
    // The text may be a password: what passed through the stack buffer does not stay there.
    struct Wipe {
        jchar* units;
        ~Wipe() {
            volatile jchar* unit = units;
            for (jsize i = 0; i < kChunk; ++i) unit[i] = 0;
        }
    } wipe{units};
    for (jsize start = 0; start < length; start += kChunk) {
        const jsize count = std::min(kChunk, length - start);
        env->GetStringRegion(text, start, count, units);
        if (exceptionPending(env)) {
            text_.clear();
            return;
        }
        for (jsize i = 0; i < count; ++i) text_[static_cast<std::size_t>(start + i)] = static_cast<wchar_t>(units[i]);
    }
    failed_ = false;
}

jstring newJavaString(JNIEnv* env, std::wstring_view text) {
    if (exceptionPending(env) || text.size() > kMaxJavaLength) return nullptr;
    std::vector<jchar> units;
    try {
        // One more than needed, so that an empty text still passes a valid pointer.
        units.resize(text.size() + 1);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    // Only the low 16 bits of a wider wchar_t are a UTF-16 code unit.
    for (std::size_t i = 0; i < text.size(); ++i) units[i] = static_cast<jchar>(text[i]);
    const jstring made = env->NewString(units.data(), static_cast<jsize>(text.size()));
    if (exceptionPending(env)) return nullptr;
    return made;
}

jstring newJavaString(JNIEnv* env, const wchar_t* text) {
    if (!text) return nullptr;
    return newJavaString(env, std::wstring_view(text));
}

UtfString::UtfString(JNIEnv* env, jstring text) {
    if (!text) return;
    null_ = false;
    failed_ = true;
    if (exceptionPending(env)) return;
    const char* chars = env->GetStringUTFChars(text, nullptr);
    if (!chars) return;
    try {
        text_ = chars;
        failed_ = false;
    } catch (const std::bad_alloc&) {
    }
    env->ReleaseStringUTFChars(text, chars);
}

jstring newJavaUtfString(JNIEnv* env, const char* text) {
    if (!text || exceptionPending(env)) return nullptr;
    const jstring made = env->NewStringUTF(text);
    if (exceptionPending(env)) return nullptr;
    return made;
}

WideStringArray::WideStringArray(JNIEnv* env, jobjectArray array) {
    if (!array) return;
    null_ = false;
    failed_ = true;
    if (exceptionPending(env)) return;
    const jsize length = env->GetArrayLength(array);
    if (exceptionPending(env) || length < 0) return;
    try {
        elements_.reserve(static_cast<std::size_t>(length));
        for (jsize i = 0; i < length; ++i) {
            // One element's reference at a time: a native holds only a few local references.
            const LocalRef element(env, static_cast<jstring>(env->GetObjectArrayElement(array, i)));
            if (exceptionPending(env)) break;
            WideString text(env, element.get());
            if (text.failed()) break;
            elements_.push_back(std::move(text));
        }
    } catch (const std::bad_alloc&) {
    }
    if (elements_.size() != static_cast<std::size_t>(length)) {
        elements_.clear();
        return;
    }
    failed_ = false;
}

namespace {

// A new String[] of the texts in order, a null element where `textAt` gives no text.
template <class Texts, class TextAt>
jobjectArray newStringArrayOf(JNIEnv* env, const Texts& texts, TextAt textAt) {
    if (exceptionPending(env) || texts.size() > kMaxJavaLength) return nullptr;
    const LocalRef stringClass = findClass(env, "java/lang/String");
    if (!stringClass) return nullptr;
    LocalRef array(env, env->NewObjectArray(static_cast<jsize>(texts.size()), stringClass.get(), nullptr));
    if (exceptionPending(env) || !array) return nullptr;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const std::wstring* text = textAt(texts[i]);
        if (!text) continue;
        const LocalRef element(env, newJavaString(env, *text));
        if (!element) return nullptr;
        env->SetObjectArrayElement(array.get(), static_cast<jsize>(i), element.get());
        if (exceptionPending(env)) return nullptr;
    }
    return array.release();
}

}  // namespace

jobjectArray newJavaStringArray(JNIEnv* env, std::span<const std::wstring> texts) {
    return newStringArrayOf(env, texts, [](const std::wstring& text) { return &text; });
}

jobjectArray newJavaStringArray(JNIEnv* env, std::span<const std::optional<std::wstring>> texts) {
    return newStringArrayOf(env, texts, [](const std::optional<std::wstring>& text) { return text ? &*text : nullptr; });
}

bool setJavaStringElement(JNIEnv* env, jobjectArray array, jsize index, std::wstring_view text) {
    if (!array || index < 0 || exceptionPending(env)) return false;
    // An index beyond the caller's array is our failure, not an exception for Java.
    const jsize length = env->GetArrayLength(array);
    if (exceptionPending(env) || index >= length) return false;
    const LocalRef element(env, newJavaString(env, text));
    if (!element) return false;
    env->SetObjectArrayElement(array, index, element.get());
    return !exceptionPending(env);
}

// ---- Pinned primitive arrays -----------------------------------------------------------------

namespace {

// The Get/Release pair of each element type.
template <class ArrayType>
struct ArrayFunctions;

#define TOOLKIT_ARRAY_FUNCTIONS(ArrayType, Element, Name)                                    \
    template <>                                                                              \
    struct ArrayFunctions<ArrayType> {                                                       \
        static Element* get(JNIEnv* env, ArrayType array) {                                  \
            return env->Get##Name##ArrayElements(array, nullptr);                            \
        }                                                                                    \
        static void release(JNIEnv* env, ArrayType array, Element* elements, jint mode) {    \
            env->Release##Name##ArrayElements(array, elements, mode);                        \
        }                                                                                    \
    };

TOOLKIT_ARRAY_FUNCTIONS(jbyteArray, jbyte, Byte)
TOOLKIT_ARRAY_FUNCTIONS(jintArray, jint, Int)
TOOLKIT_ARRAY_FUNCTIONS(jlongArray, jlong, Long)
TOOLKIT_ARRAY_FUNCTIONS(jbooleanArray, jboolean, Boolean)
#undef TOOLKIT_ARRAY_FUNCTIONS

}  // namespace

template <class ArrayType, class Element>
PinnedArray<ArrayType, Element>::PinnedArray(JNIEnv* env, ArrayType array, ArrayAccess access)
    : env_(env), array_(array), access_(access) {
    if (!array_) return;
    failed_ = true;
    if (exceptionPending(env_)) return;
    const jsize length = env_->GetArrayLength(array_);
    if (exceptionPending(env_) || length < 0) return;
    elements_ = ArrayFunctions<ArrayType>::get(env_, array_);
    // A virtual machine may give an empty array no buffer at all; any other null is a failure.
    if (!elements_ && (length > 0 || exceptionPending(env_))) return;
    size_ = elements_ ? static_cast<std::size_t>(length) : 0;
    failed_ = false;
}

template <class ArrayType, class Element>
void PinnedArray<ArrayType, Element>::commit() {
    if (elements_ && access_ == ArrayAccess::ReadWrite)
        ArrayFunctions<ArrayType>::release(env_, array_, elements_, JNI_COMMIT);
}

template <class ArrayType, class Element>
void PinnedArray<ArrayType, Element>::release() {
    if (!elements_) return;
    ArrayFunctions<ArrayType>::release(env_, array_, elements_, access_ == ArrayAccess::ReadWrite ? 0 : JNI_ABORT);
    elements_ = nullptr;
    size_ = 0;
}

template class PinnedArray<jbyteArray, jbyte>;
template class PinnedArray<jintArray, jint>;
template class PinnedArray<jlongArray, jlong>;
template class PinnedArray<jbooleanArray, jboolean>;

jbyteArray newJavaByteArray(JNIEnv* env, std::span<const unsigned char> bytes) {
    if (exceptionPending(env) || bytes.size() > kMaxJavaLength) return nullptr;
    const auto length = static_cast<jsize>(bytes.size());
    LocalRef array(env, env->NewByteArray(length));
    if (exceptionPending(env) || !array) return nullptr;
    env->SetByteArrayRegion(array.get(), 0, length, reinterpret_cast<const jbyte*>(bytes.data()));
    if (exceptionPending(env)) return nullptr;
    return array.release();
}

// ---- Classes and objects ---------------------------------------------------------------------

LocalRef<jclass> findClass(JNIEnv* env, const char* className) {
    if (exceptionPending(env)) return LocalRef<jclass>(env, nullptr);
    LocalRef type(env, env->FindClass(className));
    if (exceptionPending(env)) return LocalRef<jclass>(env, nullptr);
    return type;
}

bool JavaArgument::toJava(char signatureType, jvalue& value) const {
    if (signatureType == 'L' || signatureType == '[') {
        value.l = reference_;
        return isReference_;
    }
    if (isReference_) return false;
    switch (signatureType) {
        case 'Z': value.z = integer_ != 0 ? JNI_TRUE : JNI_FALSE; return true;
        case 'B': value.b = static_cast<jbyte>(integer_); return true;
        case 'C': value.c = static_cast<jchar>(integer_); return true;
        case 'S': value.s = static_cast<jshort>(integer_); return true;
        case 'I': value.i = static_cast<jint>(integer_); return true;
        case 'J': value.j = static_cast<jlong>(integer_); return true;
        default: return false;
    }
}

namespace {

// The first character of each parameter of a method signature, or none when the text is not
// one ("(JI[BLjava/lang/String;)V" gives J I [ L).
std::optional<std::vector<char>> parameterTypes(const char* signature) {
    std::vector<char> types;
    const char* at = signature;
    if (!at || *at++ != '(') return std::nullopt;
    while (*at != ')') {
        const char first = *at;
        while (*at == '[') ++at;
        if (*at == 'L') {
            while (*at && *at != ';') ++at;
            if (!*at) return std::nullopt;
        } else if (!*at || std::string_view("ZBCSIJFD").find(*at) == std::string_view::npos) {
            return std::nullopt;
        }
        ++at;
        types.push_back(first);
    }
    return types;
}

}  // namespace

jobject newObject(JNIEnv* env, jclass type, const char* signature, std::initializer_list<JavaArgument> arguments) {
    if (!type || exceptionPending(env)) return nullptr;
    std::vector<jvalue> values;
    try {
        const std::optional<std::vector<char>> types = parameterTypes(signature);
        if (!types || types->size() != arguments.size()) return nullptr;
        // One more than needed, so that a constructor without parameters gets a valid pointer.
        values.resize(arguments.size() + 1);
        for (std::size_t i = 0; i < arguments.size(); ++i)
            if (!arguments.begin()[i].toJava((*types)[i], values[i])) return nullptr;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }

    const jmethodID constructor = env->GetMethodID(type, "<init>", signature);
    if (exceptionPending(env) || !constructor) return nullptr;
    const jobject made = env->NewObjectA(type, constructor, values.data());
    // A constructor that threw leaves no object for Java to see, whatever the machine returned.
    if (exceptionPending(env)) {
        if (made) env->DeleteLocalRef(made);
        return nullptr;
    }
    return made;
}

jobject newObject(JNIEnv* env, const char* className, const char* signature,
                  std::initializer_list<JavaArgument> arguments) {
    const LocalRef<jclass> type = findClass(env, className);
    return newObject(env, type.get(), signature, arguments);
}

}  // namespace jni
