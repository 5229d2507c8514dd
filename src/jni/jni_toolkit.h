// The marshalling every JNI user shares (the main call, the registration frame, the natives):
// Java strings and string arrays to wide text and back, names in modified UTF-8, pinned
// primitive arrays, handles as Java longs, objects made by class name, local references.
//
// Rules that hold for everything here:
// - Nothing throws: not a Java exception of our own (callers answer with false, null, 0, -1 or a
//   code), nor a C++ one (a failed allocation is a failure like any other).
// - An exception the virtual machine raised stays pending for the caller to return with or to
//   clear; it is never cleared here. Every helper is safe to call with an exception pending: it
//   makes no JNI call then and answers with its failure (null, false, a failed() value). So a
//   caller can run a sequence of helpers and test once, or test after each and return early.
//   Destructors only release (ReleaseXArrayElements, DeleteLocalRef), which JNI allows with an
//   exception pending.
// - Wide text is UTF-16 code units, one per wchar_t (also where wchar_t is wider), copied unit by
//   unit: surrogate pairs and embedded zeros survive a round trip unchanged.
#pragma once

#include <jni.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace jni {

// True when the virtual machine has an exception pending, which allows no further JNI call but
// the releases. The one test a native needs after raw JNI calls that can throw.
inline bool exceptionPending(JNIEnv* env) { return env->ExceptionCheck() == JNI_TRUE; }

// A local reference deleted when it goes out of scope, so that loops over many objects stay
// within the few local references a native method may hold. release() hands it on (to return
// to Java) without deleting it.
template <class T>
class LocalRef {
public:
    LocalRef(JNIEnv* env, T reference) : env_(env), reference_(reference) {}
    ~LocalRef() { reset(); }
    LocalRef(LocalRef&& other) noexcept : env_(other.env_), reference_(other.release()) {}
    LocalRef& operator=(LocalRef&& other) noexcept {
        if (this != &other) {
            reset();
            env_ = other.env_;
            reference_ = other.release();
        }
        return *this;
    }
    LocalRef(const LocalRef&) = delete;
    LocalRef& operator=(const LocalRef&) = delete;

    T get() const { return reference_; }
    explicit operator bool() const { return reference_ != nullptr; }
    T release() { return std::exchange(reference_, nullptr); }

private:
    void reset() {
        if (reference_) env_->DeleteLocalRef(reference_);
        reference_ = nullptr;
    }

    JNIEnv* env_;
    T reference_;
};

// ---- Text ------------------------------------------------------------------------------------

// A Java string copied into a zero-terminated wide buffer that the native owns. Three states:
// a Java null (get() is nullptr, which Win32 calls take as "none"), text (possibly ""), and
// failed: the characters could not be had (an exception pending, or no memory), when the
// native should return its failure value at once.
class WideString {
public:
    WideString(JNIEnv* env, jstring text);

    bool isNull() const { return null_; }
    bool failed() const { return failed_; }
    // The zero-terminated text; nullptr for a Java null or a failure.
    const wchar_t* get() const { return null_ || failed_ ? nullptr : text_.c_str(); }
    // The same, writable (CreateProcessW's command line); the terminating zero stays in place.
    wchar_t* data() { return null_ || failed_ ? nullptr : text_.data(); }
    // The text; empty for a Java null.
    const std::wstring& text() const { return text_; }
    std::size_t length() const { return text_.size(); }

private:
    std::wstring text_;
    bool null_ = true;
    bool failed_ = false;
};

// A new Java string (NewString) of the code units; null when it cannot be made.
jstring newJavaString(JNIEnv* env, std::wstring_view text);
// The same of a zero-terminated buffer; a null pointer gives a null string.
jstring newJavaString(JNIEnv* env, const wchar_t* text);

// A Java string's characters in the virtual machine's modified UTF-8 (GetStringUTFChars): names
// as JNI takes them (classes, packages) and export names for GetProcAddress. The same three
// states as WideString; the text holds no zero byte (modified UTF-8 writes U+0000 as two bytes).
class UtfString {
public:
    UtfString(JNIEnv* env, jstring text);

    bool isNull() const { return null_; }
    bool failed() const { return failed_; }
    // The zero-terminated text; nullptr for a Java null or a failure.
    const char* get() const { return null_ || failed_ ? nullptr : text_.c_str(); }

private:
    std::string text_;
    bool null_ = true;
    bool failed_ = false;
};

// A new Java string of zero-terminated modified UTF-8 (NewStringUTF); null for a null pointer or
// when it cannot be made.
jstring newJavaUtfString(JNIEnv* env, const char* text);

// The elements of a Java String[], each a WideString (null elements stay null). Null array and
// failure as with WideString; one element that cannot be read fails the whole array.
class WideStringArray {
public:
    WideStringArray(JNIEnv* env, jobjectArray array);

    bool isNull() const { return null_; }
    bool failed() const { return failed_; }
    std::size_t size() const { return elements_.size(); }
    const WideString& operator[](std::size_t index) const { return elements_[index]; }
    auto begin() const { return elements_.begin(); }
    auto end() const { return elements_.end(); }

private:
    std::vector<WideString> elements_;
    bool null_ = true;
    bool failed_ = false;
};

// A new String[] holding the texts in order; null when the array or any element cannot be made
// (no partly filled array reaches Java).
jobjectArray newJavaStringArray(JNIEnv* env, std::span<const std::wstring> texts);
// The same with null elements where a text is missing (a slot the native had nothing for).
jobjectArray newJavaStringArray(JNIEnv* env, std::span<const std::optional<std::wstring>> texts);
// Stores a new string of `text` at `index` of an existing String[] (results that the Java side
// passes in an array of its own). False when it could not be stored.
bool setJavaStringElement(JNIEnv* env, jobjectArray array, jsize index, std::wstring_view text);

// ---- Pinned primitive arrays -----------------------------------------------------------------

// What the native does with the elements; it decides how they go back to Java.
enum class ArrayAccess {
    ReadOnly,   // released with JNI_ABORT: changes never reach Java, nothing is copied back
    ReadWrite,  // released with 0: the elements are copied back
};

// The elements of a Java primitive array, held for the native (Get<Type>ArrayElements) and
// released on every path in the mode its access asks for. A null array gives isNull() with no
// elements; failed() when the elements could not be had.
template <class ArrayType, class Element>
class PinnedArray {
public:
    PinnedArray(JNIEnv* env, ArrayType array, ArrayAccess access);
    ~PinnedArray() { release(); }
    PinnedArray(const PinnedArray&) = delete;
    PinnedArray& operator=(const PinnedArray&) = delete;

    bool isNull() const { return array_ == nullptr; }
    bool failed() const { return failed_; }
    Element* data() const { return elements_; }
    // The element count; 0 for a null or failed array.
    std::size_t size() const { return size_; }
    Element* begin() const { return elements_; }
    Element* end() const { return elements_ + size_; }

    // Copies the elements back to Java now (JNI_COMMIT) and keeps them held, for a native that
    // lets Java see results before it is done. Nothing for read-only access.
    void commit();
    // Releases the elements before the end of the scope; nothing is held afterwards.
    void release();

private:
    JNIEnv* env_;
    ArrayType array_;
    ArrayAccess access_;
    Element* elements_ = nullptr;
    std::size_t size_ = 0;
    bool failed_ = false;
};

using PinnedBytes = PinnedArray<jbyteArray, jbyte>;
using PinnedInts = PinnedArray<jintArray, jint>;
using PinnedLongs = PinnedArray<jlongArray, jlong>;
using PinnedBooleans = PinnedArray<jbooleanArray, jboolean>;

// A new byte[] holding a copy of the bytes; null when it cannot be made.
jbyteArray newJavaByteArray(JNIEnv* env, std::span<const unsigned char> bytes);

// ---- Handles and addresses -------------------------------------------------------------------

// Handles and addresses cross to Java as long, sign-extended from the pointer's width: the
// 32-bit invalid handle 0xFFFFFFFF is -1 in Java, as the Java side expects.
template <class Address>
constexpr jlong signExtended(Address address) {
    return static_cast<jlong>(static_cast<std::make_signed_t<Address>>(address));
}
inline jlong toJavaHandle(const void* handle) { return signExtended(reinterpret_cast<std::uintptr_t>(handle)); }
// Only the pointer's width of the value counts; the bits above it are dropped.
inline void* fromJavaHandle(jlong value) { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(value)); }
// The invalid handle (INVALID_HANDLE_VALUE) as Java holds it.
inline constexpr jlong kInvalidJavaHandle = -1;
inline bool isInvalidJavaHandle(jlong value) { return fromJavaHandle(value) == fromJavaHandle(kInvalidJavaHandle); }

// ---- Classes and objects ---------------------------------------------------------------------

// FindClass with the slash-form name; null (the virtual machine's NoClassDefFoundError pending)
// when it is missing.
LocalRef<jclass> findClass(JNIEnv* env, const char* className);

// One constructor argument as the native has it: an integer (bool, int, a handle's jlong...)
// or a reference (jstring, jobject, nullptr). The constructor's signature decides which JNI
// type it becomes, so a literal 0 for a long or an int for a boolean goes in right. No
// constructor the natives call takes a float or a double; those parameters are refused.
class JavaArgument {
public:
    template <class Integer>
        requires std::is_integral_v<Integer>
    JavaArgument(Integer value) : isReference_(false), integer_(static_cast<long long>(value)) {}
    JavaArgument(jobject reference) : isReference_(true), reference_(reference) {}
    JavaArgument(std::nullptr_t) : isReference_(true) {}

    // The argument as the JNI type of `signatureType` (a parameter's first character in a
    // signature: Z B C S I J, or L and [ for references); false when it does not fit.
    bool toJava(char signatureType, jvalue& value) const;

private:
    bool isReference_;
    long long integer_ = 0;
    jobject reference_ = nullptr;
};

// A new object of `type` through its constructor of `signature` (for example
// "(JILjava/lang/String;Ljava/lang/String;)V") with the arguments in order. Null when the
// constructor is missing (NoSuchMethodError pending) or throws (its exception pending), and
// also, with nothing pending, when the arguments do not match the signature in count or kind:
// a mistake of the native that its test shows at once.
jobject newObject(JNIEnv* env, jclass type, const char* signature, std::initializer_list<JavaArgument> arguments);
// The same by slash-form class name; a missing class gives null with NoClassDefFoundError
// pending. The class reference is released before it returns.
jobject newObject(JNIEnv* env, const char* className, const char* signature,
                  std::initializer_list<JavaArgument> arguments);

}  // namespace jni
