// The one table of every native method the installer runtime's Java classes bind to this
// executable: class by class in registration order, each method with its JNI signature. The
// export names, the export definitions of the build and the per-class registration arrays all
// come from it. Portable: host tests check the signatures against classes compiled by javac.
#pragma once

#include <string>
#include <vector>

namespace natives {

struct NativeMethod {
    const char* name;       // modified UTF-8, as Java declares it
    const char* signature;  // JNI signature
};

enum class ClassGroup { Runtime, Flatlaf };

struct NativeClass {
    ClassGroup group;
    const char* className;  // slash form: "com/corvane/runtime/installer/platform/win32/Misc"
    std::vector<NativeMethod> methods;
};

// Runtime classes in registerNativesEx order, then the FlatLaf classes in their order.
const std::vector<NativeClass>& registrationTable();

// "_Java_" + class ("/" as "_", "$" as "_00024") + "_" + method + "@" + argument bytes.
std::string exportName(const NativeClass& nativeClass, const NativeMethod& method);
// The stdcall byte count: 8, plus 4 per argument, 8 for each J or D.
int argumentBytes(const char* signature);

}  // namespace natives
