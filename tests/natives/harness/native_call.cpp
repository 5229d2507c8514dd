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

jvalue callNative(std::string_view classAndMethod, std::initializer_list<JavaArgument> arguments) {
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
    const jmethodID id = type == nullptr ? nullptr : e->GetStaticMethodID(type, method->name, method->signature);
    if (id == nullptr) {
        ADD_FAILURE() << name << " " << method->signature << " is not a method the machine knows";
        if (type != nullptr) e->DeleteLocalRef(type);
        return result;
    }
    switch (resultKind) {
    case 'Z': result.z = e->CallStaticBooleanMethodA(type, id, values.data()); break;
    case 'I': result.i = e->CallStaticIntMethodA(type, id, values.data()); break;
    case 'J': result.j = e->CallStaticLongMethodA(type, id, values.data()); break;
    case 'L': result.l = e->CallStaticObjectMethodA(type, id, values.data()); break;
    case 'V': e->CallStaticVoidMethodA(type, id, values.data()); break;
    default: ADD_FAILURE() << name << ": the harness calls no method returning " << resultKind;
    }
    e->DeleteLocalRef(type);
    return result;
}

}  // namespace natives_test
