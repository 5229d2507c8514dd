// Calls a native as Java does: CallStatic<Type>MethodA on the runtime class, with the method
// found under the registration table's signature, so the call goes through the binding that
// registerNativesEx made and through the stand-in's stdcall frame. Arguments are given in
// Java order, numbers and booleans as integers, references as jobject; the signature decides
// their JNI types. "Registry.getValue0" names the class by its name in the installer's Windows
// platform package ("wininet/WinInet" for the one in a subpackage); a name beginning with
// "com/" is the full slash-form name of a class elsewhere (the look-and-feel classes).
#pragma once

#include <jni.h>

#include <initializer_list>
#include <string_view>

#include "jni/jni_toolkit.h"

namespace natives_test {

using jni::JavaArgument;

// The result as the method's return type left it in the jvalue; a method, class or argument
// that does not fit the table fails the test and gives a zero value.
jvalue callNative(std::string_view classAndMethod, std::initializer_list<JavaArgument> arguments);

inline jboolean callBoolean(std::string_view name, std::initializer_list<JavaArgument> arguments) {
    return callNative(name, arguments).z;
}
inline jint callInt(std::string_view name, std::initializer_list<JavaArgument> arguments) {
    return callNative(name, arguments).i;
}
inline jlong callLong(std::string_view name, std::initializer_list<JavaArgument> arguments) {
    return callNative(name, arguments).j;
}
inline jobject callObject(std::string_view name, std::initializer_list<JavaArgument> arguments) {
    return callNative(name, arguments).l;
}
inline void callVoid(std::string_view name, std::initializer_list<JavaArgument> arguments) {
    callNative(name, arguments);
}

// A native that is an instance method, called on `receiver` (an object of its class) with
// Call<Type>MethodA.
jvalue callNativeOn(jobject receiver, std::string_view classAndMethod, std::initializer_list<JavaArgument> arguments);

inline jlong callLongOn(jobject receiver, std::string_view name, std::initializer_list<JavaArgument> arguments) {
    return callNativeOn(receiver, name, arguments).j;
}
inline void callVoidOn(jobject receiver, std::string_view name, std::initializer_list<JavaArgument> arguments) {
    callNativeOn(receiver, name, arguments);
}

}  // namespace natives_test
