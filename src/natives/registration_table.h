// The one table of every native method the installer runtime's Java classes bind to this
// executable: class by class in registration order, each method with its JNI signature. The
// export names, the export definitions of the build and the per-class registration arrays all
// come from it. Portable: host tests check the signatures against classes compiled by javac.
//
// cmake/natives_exports.py reads registration_table.cpp as text to write the export
// definitions, so its rows keep one shape: a class as {ClassGroup::..., "slash/Name", {, a
// method as {"name", "signature"}, each on a line of its own.
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
// The classes of one group, in their registration order.
std::vector<const NativeClass*> classesOf(ClassGroup group);

// Natives the executable exports although no registration binds them (the Java side reaches
// them by the virtual machine's own name lookup).
const std::vector<NativeClass>& unboundExports();

// "_Java_" + class ("/" as "_", "$" as "_00024") + "_" + method + "@" + argument bytes.
std::string exportName(const NativeClass& nativeClass, const NativeMethod& method);
// The stdcall byte count: 8, plus 4 per argument, 8 for each J or D.
int argumentBytes(const char* signature);

// The name this build's export table holds: exportName() where functions are stdcall-decorated
// (32-bit Windows), elsewhere the plain "Java_..." name without the underscore and "@N".
std::string moduleExportName(const NativeClass& nativeClass, const NativeMethod& method);

// The texts of the registration's reports.
std::string classNotFoundText(const NativeClass& nativeClass);  // "could not load class " + slash name
// "did not find Java_" + class with "/" as "_" but "$" kept + "_" + method
std::string missingExportText(const NativeClass& nativeClass, const NativeMethod& method);
std::string registerFailedText(const NativeClass& nativeClass);  // "register " + slash name + " failed %d"

// The dotted binary name Class.forName takes: in `packageName` when given (the package, ".",
// the simple name), else in the class's own package.
std::string binaryName(const NativeClass& nativeClass, const char* packageName);

}  // namespace natives
