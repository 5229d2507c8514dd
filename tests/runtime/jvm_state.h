// The state of the one stand-in virtual machine of the process: objects (of which only the
// storage of unreachable primitive arrays is ever collected), references and their frames per
// attached thread, pending exceptions, pinned string and
// array buffers, system properties, what the test asked for, and the record file.
#pragma once

#include <windows.h>

#include <jni.h>

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "jvm_classes.h"

namespace stand_in::jvm {

enum class ObjectKind { Instance, String, Class, Array, Throwable };

struct Object {
    ObjectKind kind = ObjectKind::Instance;
    ClassModel* type = nullptr;         // the object's class (for arrays the array class)
    std::u16string text;                // String; a throwable's message
    bool hasMessage = false;            // a throwable's message is not null
    ClassModel* represented = nullptr;  // the class a Class object stands for
    std::vector<Object*> elements;      // object arrays
    std::vector<unsigned char> data;    // primitive arrays
    char elementType = 0;               // 'L' for object arrays, else the primitive letter
    jlong number = 0;                   // the value of an Integer or a Long; a window peer's handle
    std::map<const FieldModel*, Object*> fields;  // reference instance fields that were set
    MethodModel* reflectedMethod = nullptr;       // the method a java.lang.reflect.Method stands for
    // Whether the collector may take a primitive array once no live reference is left: not when
    // it is held where the machine counts no references (a field, an object array, a pinned
    // buffer, an argument of a modelled method).
    size_t liveReferences = 0;
    bool held = false;
    size_t length() const { return elementType == 'L' ? elements.size() : data.size() / elementSize(elementType); }
    static size_t elementSize(char type);
};

enum class ReferenceKind { Local, Global, WeakGlobal };

struct ThreadState;

struct Reference {
    Object* target = nullptr;
    ReferenceKind kind = ReferenceKind::Local;
    ThreadState* owner = nullptr;  // local references only
    bool live = true;
};

// Per attached thread; `env` comes first so that a JNIEnv* is the address of its state.
struct ThreadState {
    JNIEnv env;
    DWORD threadId = 0;
    Object* pending = nullptr;
    std::vector<std::vector<Reference*>> frames;
    int entries = 0;  // JNI calls of this thread under way, each holding the machine's lock once
};

// A buffer handed out by Get<Kind>Chars / Get<Type>ArrayElements and friends.
struct Pin {
    Object* object = nullptr;
    std::string function;  // the Get function that handed it out
    std::vector<unsigned char> bytes;
};

// The stand-in's own options (-Dstandin.*).
struct TestSettings {
    std::wstring recordPath;
    std::vector<std::string> steps;      // scenario steps acted out by main, in order
    std::vector<std::string> callArguments;
    bool failCreation = false;
    jint creationResult = JNI_ERR;
};

class Vm {
public:
    Vm();
    ~Vm();

    std::recursive_mutex lock;
    ClassRegistry classes;
    TestSettings settings;
    std::map<std::string, std::string> properties;  // modified UTF-8 keys and values
    std::map<DWORD, std::unique_ptr<ThreadState>> threads;
    std::map<const void*, Pin> pins;
    Object* systemClassLoader = nullptr;

    // Record file.
    void openRecord(const std::wstring& path);
    void record(const std::vector<std::string>& fields);
    void violation(const std::string& text);
    size_t violationCount() const { return violations_; }

    // Threads.
    ThreadState* attach();
    ThreadState* current();
    void detach(DWORD threadId);

    // Objects and references.
    Object* newObject(ObjectKind kind, ClassModel* type);
    Object* newString(std::u16string text);
    Object* newThrowable(ClassModel* type, const std::u16string* message);
    Object* newArray(ClassModel* arrayClass, char elementType, size_t length);
    Object* classObject(ClassModel* model);
    jobject localRef(ThreadState& thread, Object* object);
    jobject globalRef(Object* object, ReferenceKind kind);
    // Ends a live reference (deleted, its frame popped, its thread detached).
    void endReference(Reference& reference);
    // Frees the storage of the primitive arrays that nothing can reach any more, as a real
    // machine's collector makes room before it allocates: without it every new array would
    // be memory the process never touched before, which costs a page fault per page.
    void collect();
    // The object a reference stands for; an unknown or deleted reference is a violation.
    bool resolve(jobject reference, const char* function, Object*& object);
    Reference* reference(jobject handle);  // null when not one of ours
    void pushFrame(ThreadState& thread);
    void popFrame(ThreadState& thread);

    // Hides a class or every member of that name ("<class>.<member>") as a runtime without it
    // would, or brings it back; false when the target names nothing known.
    bool setAbsent(const std::string& target, bool absent);

    // Exceptions.
    void throwNew(ThreadState& thread, const char* className, const std::string& message);
    std::u16string throwableText(const Object* throwable);

    // Values as the record shows them: null, text of strings, "{a,b}" for arrays.
    std::string render(const Object* object);
    std::string renderValue(char kind, const jvalue& value);

    // Method and field IDs.
    MethodModel* method(jmethodID id);
    FieldModel* field(jfieldID id);

private:
    HANDLE recordFile_ = INVALID_HANDLE_VALUE;
    size_t violations_ = 0;
    std::deque<std::unique_ptr<Object>> objects_;
    std::deque<Reference> references_;
    std::vector<Object*> unreferenced_;  // primitive arrays whose last live reference ended
    // Storage of collected arrays, handed to new ones as a collector's heap reuses its memory
    // (fresh memory for each array made every block of a stream touch new pages).
    std::vector<std::vector<unsigned char>> spareStorage_;
    std::unordered_set<const Reference*> issued_;
    std::unordered_set<const void*> methodIds_;
    std::unordered_set<const void*> fieldIds_;
};

// The machine of the process while one exists.
Vm* currentVm();
void setCurrentVm(Vm* vm);
extern JavaVM theJavaVm;

const JNINativeInterface_* nativeInterface();

// Text conversions between Java's UTF-16 strings, modified UTF-8 and the record's UTF-8.
std::string toModifiedUtf8(const std::u16string& text);
bool fromModifiedUtf8(const std::string& bytes, std::u16string& text);  // false: malformed
std::string toUtf8(const std::u16string& text);
std::u16string fromUtf8(const std::string& text);
std::string ansiToUtf8(const std::string& text);

}  // namespace stand_in::jvm
