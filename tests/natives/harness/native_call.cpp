#include "harness/native_call.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness/java_machine.h"
#include "natives/registration_table.h"

namespace natives_test {

namespace {

constexpr char kPackage[] = "com/corvane/runtime/installer/platform/win32/";

const natives::NativeMethod* findMethod(const std::string& className, const std::string& method) {
    for (const natives::NativeClass& c : natives::registrationTable()) {
        if (className != c.className) continue;
        for (const natives::NativeMethod& m : c.methods) {
            if (method == m.name) return &m;
        }
    }
    return nullptr;
}

// The parameters' first letters and the result's of a JNI signature.
std::string parameterKinds(const char* signature, char& result) {
    std::string kinds;
    const char* at = signature + 1;
    while (*at != ')') {
        kinds += *at == '[' ? 'L' : *at;
        while (*at == '[') ++at;
        if (*at == 'L') {
            while (*at != ';') ++at;
        }
        ++at;
    }
    result = at[1] == '[' ? 'L' : at[1];
    return kinds;
}

}  // namespace

namespace {

jvalue call(jobject receiver, std::string_view classAndMethod, std::initializer_list<JavaArgument> arguments) {
    jvalue result{};
    const std::string name(classAndMethod);
    const size_t dot = name.rfind('.');
    // A slash-form name stands for itself: the look-and-feel classes live in another package.
    const std::string className = (name.rfind("com/", 0) == 0 ? "" : kPackage) + name.substr(0, dot);
    const natives::NativeMethod* method = dot == std::string::npos ? nullptr : findMethod(className, name.substr(dot + 1));
    if (method == nullptr) {
        ADD_FAILURE() << name << " is not in the registration table";
        return result;
    }
    char resultKind = 0;
    const std::string kinds = parameterKinds(method->signature, resultKind);
    if (kinds.size() != arguments.size()) {
        ADD_FAILURE() << name << " takes " << kinds.size() << " arguments, not " << arguments.size();
        return result;
    }
    std::vector<jvalue> values(kinds.size());
    size_t index = 0;
    for (const JavaArgument& argument : arguments) {
        if (!argument.toJava(kinds[index], values[index])) {
            ADD_FAILURE() << "argument " << index << " of " << name << " does not fit " << method->signature;
            return result;
        }
        ++index;
    }
    JNIEnv* e = env();
    const jclass type = e->FindClass(className.c_str());
    const jmethodID id = type == nullptr ? nullptr
                         : receiver    ? e->GetMethodID(type, method->name, method->signature)
                                       : e->GetStaticMethodID(type, method->name, method->signature);
    if (id == nullptr) {
        ADD_FAILURE() << name << " " << method->signature << " is not a method the machine knows";
        if (type != nullptr) e->DeleteLocalRef(type);
        return result;
    }
    const jvalue* at = values.data();
    switch (resultKind) {
    case 'Z': result.z = receiver ? e->CallBooleanMethodA(receiver, id, at) : e->CallStaticBooleanMethodA(type, id, at); break;
    case 'I': result.i = receiver ? e->CallIntMethodA(receiver, id, at) : e->CallStaticIntMethodA(type, id, at); break;
    case 'J': result.j = receiver ? e->CallLongMethodA(receiver, id, at) : e->CallStaticLongMethodA(type, id, at); break;
    case 'L': result.l = receiver ? e->CallObjectMethodA(receiver, id, at) : e->CallStaticObjectMethodA(type, id, at); break;
    case 'V':
        if (receiver) {
            e->CallVoidMethodA(receiver, id, at);
        } else {
            e->CallStaticVoidMethodA(type, id, at);
        }
        break;
    default: ADD_FAILURE() << name << ": the harness calls no method returning " << resultKind;
    }
    e->DeleteLocalRef(type);
    return result;
}

}  // namespace

jvalue callNative(std::string_view classAndMethod, std::initializer_list<JavaArgument> arguments) {
    return call(nullptr, classAndMethod, arguments);
}

jvalue callNativeOn(jobject receiver, std::string_view classAndMethod, std::initializer_list<JavaArgument> arguments) {
    return call(receiver, classAndMethod, arguments);
}

}  // namespace natives_test
