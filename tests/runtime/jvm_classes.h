// The classes the stand-in virtual machine knows: a few of java.lang, the installer runtime's
// entry and helper classes the launcher touches before main, and every class whose natives the
// launcher binds, each declaring its native methods with the exact JNI signatures.
#pragma once

#include <jni.h>

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace stand_in::jvm {

struct ClassModel;
struct Object;

struct MethodModel {
    ClassModel* owner = nullptr;
    std::string name;
    std::string signature;
    bool isStatic = false;
    bool isNative = false;
    void* boundNative = nullptr;  // set by RegisterNatives
};

struct FieldModel {
    ClassModel* owner = nullptr;
    std::string name;
    std::string signature;
    bool isStatic = true;
    jvalue value{};
    Object* object = nullptr;  // the value of a reference field
};

struct ClassModel {
    std::string name;  // slash form, "[..." for array classes
    ClassModel* super = nullptr;
    std::deque<MethodModel> methods;
    std::deque<FieldModel> fields;
    Object* classObject = nullptr;
    bool absent = false;  // hidden by the test: lookups fail as for a class that is not there
    std::vector<std::string> absentMembers;

    bool isSubclassOf(const ClassModel* other) const;
    bool memberAbsent(const std::string& member) const;
    std::string dottedName() const;
};

// The parameter descriptors and the result descriptor of a method signature such as
// "(I[Ljava/lang/String;)V"; `valid` is false for anything that is not one.
struct ParsedSignature {
    std::vector<std::string> parameters;
    std::string result;
    bool valid = false;
};
ParsedSignature parseSignature(const std::string& signature);

// 'L' for references (objects and arrays), else the primitive letter or 'V'.
inline char kindOf(const std::string& descriptor) {
    return descriptor.empty() ? '?' : descriptor[0] == '[' ? 'L' : descriptor[0];
}

// One method of the native registration table.
struct RegisteredNative {
    const char* package;
    const char* simpleName;
    const char* method;
    const char* signature;
    bool ofObjects = false;  // an instance method; the others are static
};

// The registration table in class and method order: 19 classes of the installer's Windows
// platform package, then the four look-and-feel classes.
const std::vector<RegisteredNative>& registrationTable();

// Every known class by name; array classes are made on first use.
class ClassRegistry {
public:
    ClassRegistry();
    ClassModel* find(const std::string& name);  // null when unknown (absent ones are returned)
    ClassModel* arrayClass(const std::string& descriptor);
    ClassModel& declare(const std::string& name, const std::string& super);
    const std::map<std::string, std::unique_ptr<ClassModel>>& all() const { return classes_; }

private:
    std::map<std::string, std::unique_ptr<ClassModel>> classes_;
};

constexpr char kEntryClassInstaller[] = "com/corvane/runtime/launcher/WinLauncher";
constexpr char kEntryClassOther[] = "com/lumbra/runtime/WinLauncher";
constexpr char kNativeLoggerClass[] = "com/corvane/runtime/installer/helper/NativeLogger";

}  // namespace stand_in::jvm
