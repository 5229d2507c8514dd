// Java values as a test makes them and reads them back, through the JNI of the stand-in
// machine (never through the JNI toolkit, whose work they check). Made values are
// local references of the test's frame (NativesTest), released when the test ends. Readers
// take any reference, answer std::nullopt for a Java null, and fail the test (ADD_FAILURE)
// for an object of another kind.
#pragma once

#include <jni.h>

#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace natives_test {

jstring javaString(std::wstring_view text);
jobjectArray javaStrings(std::initializer_list<std::wstring_view> texts);
jbyteArray javaBytes(std::span<const unsigned char> bytes);
jobject javaInteger(jint value);  // Integer.valueOf
jobject javaLong(jlong value);    // Long.valueOf

std::optional<std::wstring> textOf(jobject string);
std::optional<std::vector<std::wstring>> textsOf(jobject stringArray);  // null elements read as ""
std::optional<std::vector<unsigned char>> bytesOf(jobject byteArray);
std::optional<jint> intOf(jobject integer);  // Integer.intValue
std::optional<jlong> longOf(jobject boxed);  // Long.longValue
// The object's toString(), for objects that wrap a text.
std::optional<std::wstring> toStringOf(jobject object);
// The dotted name of the object's class ("java.lang.Integer"); "null" for a Java null.
std::string classNameOf(jobject object);

// The pending exception's class and message, cleared; empty when none is pending.
std::string takePendingException();

}  // namespace natives_test
