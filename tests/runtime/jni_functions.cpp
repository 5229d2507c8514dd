// The JNI function table of the stand-in virtual machine. Every slot is filled: the functions
// the launcher and its natives use are implemented over the object model of jvm_state.h, the
// rest report their use as a violation and return a null result. Misuse that a real virtual
// machine run with -Xcheck:jni would report is recorded as a violation and the call goes on as
// far as it safely can.
#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <string>
#include <vector>

#include "jvm_behaviour.h"
#include "jvm_state.h"

namespace stand_in::jvm {

namespace {

// Every JNI slot, in table order.
#define STAND_IN_JNI_SLOTS(X) \
    X(GetVersion) X(DefineClass) X(FindClass) X(FromReflectedMethod) \
    X(FromReflectedField) X(ToReflectedMethod) X(GetSuperclass) X(IsAssignableFrom) \
    X(ToReflectedField) X(Throw) X(ThrowNew) X(ExceptionOccurred) \
    X(ExceptionDescribe) X(ExceptionClear) X(FatalError) X(PushLocalFrame) \
    X(PopLocalFrame) X(NewGlobalRef) X(DeleteGlobalRef) X(DeleteLocalRef) \
    X(IsSameObject) X(NewLocalRef) X(EnsureLocalCapacity) X(AllocObject) \
    X(NewObject) X(NewObjectV) X(NewObjectA) X(GetObjectClass) \
    X(IsInstanceOf) X(GetMethodID) X(CallObjectMethod) X(CallObjectMethodV) \
    X(CallObjectMethodA) X(CallBooleanMethod) X(CallBooleanMethodV) X(CallBooleanMethodA) \
    X(CallByteMethod) X(CallByteMethodV) X(CallByteMethodA) X(CallCharMethod) \
    X(CallCharMethodV) X(CallCharMethodA) X(CallShortMethod) X(CallShortMethodV) \
    X(CallShortMethodA) X(CallIntMethod) X(CallIntMethodV) X(CallIntMethodA) \
    X(CallLongMethod) X(CallLongMethodV) X(CallLongMethodA) X(CallFloatMethod) \
    X(CallFloatMethodV) X(CallFloatMethodA) X(CallDoubleMethod) X(CallDoubleMethodV) \
    X(CallDoubleMethodA) X(CallVoidMethod) X(CallVoidMethodV) X(CallVoidMethodA) \
    X(CallNonvirtualObjectMethod) X(CallNonvirtualObjectMethodV) X(CallNonvirtualObjectMethodA) X(CallNonvirtualBooleanMethod) \
    X(CallNonvirtualBooleanMethodV) X(CallNonvirtualBooleanMethodA) X(CallNonvirtualByteMethod) X(CallNonvirtualByteMethodV) \
    X(CallNonvirtualByteMethodA) X(CallNonvirtualCharMethod) X(CallNonvirtualCharMethodV) X(CallNonvirtualCharMethodA) \
    X(CallNonvirtualShortMethod) X(CallNonvirtualShortMethodV) X(CallNonvirtualShortMethodA) X(CallNonvirtualIntMethod) \
    X(CallNonvirtualIntMethodV) X(CallNonvirtualIntMethodA) X(CallNonvirtualLongMethod) X(CallNonvirtualLongMethodV) \
    X(CallNonvirtualLongMethodA) X(CallNonvirtualFloatMethod) X(CallNonvirtualFloatMethodV) X(CallNonvirtualFloatMethodA) \
    X(CallNonvirtualDoubleMethod) X(CallNonvirtualDoubleMethodV) X(CallNonvirtualDoubleMethodA) X(CallNonvirtualVoidMethod) \
    X(CallNonvirtualVoidMethodV) X(CallNonvirtualVoidMethodA) X(GetFieldID) X(GetObjectField) \
    X(GetBooleanField) X(GetByteField) X(GetCharField) X(GetShortField) \
    X(GetIntField) X(GetLongField) X(GetFloatField) X(GetDoubleField) \
    X(SetObjectField) X(SetBooleanField) X(SetByteField) X(SetCharField) \
    X(SetShortField) X(SetIntField) X(SetLongField) X(SetFloatField) \
    X(SetDoubleField) X(GetStaticMethodID) X(CallStaticObjectMethod) X(CallStaticObjectMethodV) \
    X(CallStaticObjectMethodA) X(CallStaticBooleanMethod) X(CallStaticBooleanMethodV) X(CallStaticBooleanMethodA) \
    X(CallStaticByteMethod) X(CallStaticByteMethodV) X(CallStaticByteMethodA) X(CallStaticCharMethod) \
    X(CallStaticCharMethodV) X(CallStaticCharMethodA) X(CallStaticShortMethod) X(CallStaticShortMethodV) \
    X(CallStaticShortMethodA) X(CallStaticIntMethod) X(CallStaticIntMethodV) X(CallStaticIntMethodA) \
    X(CallStaticLongMethod) X(CallStaticLongMethodV) X(CallStaticLongMethodA) X(CallStaticFloatMethod) \
    X(CallStaticFloatMethodV) X(CallStaticFloatMethodA) X(CallStaticDoubleMethod) X(CallStaticDoubleMethodV) \
    X(CallStaticDoubleMethodA) X(CallStaticVoidMethod) X(CallStaticVoidMethodV) X(CallStaticVoidMethodA) \
    X(GetStaticFieldID) X(GetStaticObjectField) X(GetStaticBooleanField) X(GetStaticByteField) \
    X(GetStaticCharField) X(GetStaticShortField) X(GetStaticIntField) X(GetStaticLongField) \
    X(GetStaticFloatField) X(GetStaticDoubleField) X(SetStaticObjectField) X(SetStaticBooleanField) \
    X(SetStaticByteField) X(SetStaticCharField) X(SetStaticShortField) X(SetStaticIntField) \
    X(SetStaticLongField) X(SetStaticFloatField) X(SetStaticDoubleField) X(NewString) \
    X(GetStringLength) X(GetStringChars) X(ReleaseStringChars) X(NewStringUTF) \
    X(GetStringUTFLength) X(GetStringUTFChars) X(ReleaseStringUTFChars) X(GetArrayLength) \
    X(NewObjectArray) X(GetObjectArrayElement) X(SetObjectArrayElement) X(NewBooleanArray) \
    X(NewByteArray) X(NewCharArray) X(NewShortArray) X(NewIntArray) \
    X(NewLongArray) X(NewFloatArray) X(NewDoubleArray) X(GetBooleanArrayElements) \
    X(GetByteArrayElements) X(GetCharArrayElements) X(GetShortArrayElements) X(GetIntArrayElements) \
    X(GetLongArrayElements) X(GetFloatArrayElements) X(GetDoubleArrayElements) X(ReleaseBooleanArrayElements) \
    X(ReleaseByteArrayElements) X(ReleaseCharArrayElements) X(ReleaseShortArrayElements) X(ReleaseIntArrayElements) \
    X(ReleaseLongArrayElements) X(ReleaseFloatArrayElements) X(ReleaseDoubleArrayElements) X(GetBooleanArrayRegion) \
    X(GetByteArrayRegion) X(GetCharArrayRegion) X(GetShortArrayRegion) X(GetIntArrayRegion) \
    X(GetLongArrayRegion) X(GetFloatArrayRegion) X(GetDoubleArrayRegion) X(SetBooleanArrayRegion) \
    X(SetByteArrayRegion) X(SetCharArrayRegion) X(SetShortArrayRegion) X(SetIntArrayRegion) \
    X(SetLongArrayRegion) X(SetFloatArrayRegion) X(SetDoubleArrayRegion) X(RegisterNatives) \
    X(UnregisterNatives) X(MonitorEnter) X(MonitorExit) X(GetJavaVM) \
    X(GetStringRegion) X(GetStringUTFRegion) X(GetPrimitiveArrayCritical) X(ReleasePrimitiveArrayCritical) \
    X(GetStringCritical) X(ReleaseStringCritical) X(NewWeakGlobalRef) X(DeleteWeakGlobalRef) \
    X(ExceptionCheck) X(NewDirectByteBuffer) X(GetDirectBufferAddress) X(GetDirectBufferCapacity) \
    X(GetObjectRefType) X(GetModule)

// The guard of every JNI entry: takes the machine's lock, checks that the environment belongs
// to the calling thread and that no exception is pending (unless the function is one of those
// JNI allows then).
class Entry {
public:
    Entry(JNIEnv* env, std::string function, bool allowedWithPending = false) : function_(std::move(function)) {
        vm_ = currentVm();
        if (vm_ == nullptr) return;
        guard_ = std::unique_lock<std::recursive_mutex>(vm_->lock);
        ThreadState* mine = vm_->current();
        if (mine == nullptr) {
            vm_->violation(function_ + " on a thread that is not attached");
            return;
        }
        if (reinterpret_cast<ThreadState*>(env) != mine) vm_->violation(function_ + " with the JNIEnv of another thread");
        thread_ = mine;
        ++thread_->entries;
        if (!allowedWithPending && thread_->pending != nullptr) {
            vm_->violation(function_ + " called with an exception pending");
        }
    }
    ~Entry() {
        if (thread_) --thread_->entries;
    }
    Entry(const Entry&) = delete;
    Entry& operator=(const Entry&) = delete;
    bool ok() const { return thread_ != nullptr; }
    Vm& vm() { return *vm_; }
    ThreadState& thread() { return *thread_; }
    void fail(const std::string& text) { vm_->violation(function_ + ": " + text); }
    void raise(const char* className, const std::string& message) { vm_->throwNew(*thread_, className, message); }
    jobject local(Object* object) { return vm_->localRef(*thread_, object); }
    // The object behind a reference; false after recording a violation for a bad one.
    bool resolve(jobject handle, Object*& object) { return vm_->resolve(handle, function_.c_str(), object); }
    // A non-null object of the kind, else a violation and null.
    Object* need(jobject handle, ObjectKind kind, const char* what) {
        Object* object = nullptr;
        if (!resolve(handle, object)) return nullptr;
        if (object == nullptr || object->kind != kind) {
            fail(std::string("expects ") + what + (object == nullptr ? ", got null" : ", got another kind of object"));
            return nullptr;
        }
        return object;
    }
    ClassModel* needClass(jclass handle) {
        Object* object = need(handle, ObjectKind::Class, "a class");
        return object == nullptr ? nullptr : object->represented;
    }

private:
    std::string function_;
    Vm* vm_ = nullptr;
    ThreadState* thread_ = nullptr;
    std::unique_lock<std::recursive_mutex> guard_;
};

void report(const char* name) {
    if (Vm* vm = currentVm()) {
        std::lock_guard<std::recursive_mutex> guard(vm->lock);
        vm->violation(std::string(name) + " is not supported by the stand-in virtual machine");
    }
}

// An object kept where the machine counts no references: the collector leaves it alone.
void hold(Object* object) {
    if (object != nullptr) object->held = true;
}

// Unfilled slots: every call is a violation; the stub has the slot's exact type, so a stdcall
// callee still removes the right number of argument bytes.
template <class F>
struct Unsupported;
template <class R, class... A>
struct Unsupported<R(JNICALL*)(A...)> {
    template <const char* Name>
    static R JNICALL call(A...) {
        report(Name);
        return R();
    }
};
template <class R, class... A>
struct Unsupported<R (*)(A..., ...)> {
    template <const char* Name>
    static R call(A..., ...) {
        report(Name);
        return R();
    }
};
#if defined(__i386__)
template <class R, class... A>
struct Unsupported<R(JNICALL*)(A..., ...)> {
    template <const char* Name>
    static R JNICALL call(A..., ...) {
        report(Name);
        return R();
    }
};
#endif

// ---- version, classes, objects ----

jint JNICALL getVersion(JNIEnv* env) {
    Entry e(env, "GetVersion");
    return 0x000a0000;  // JNI_VERSION_10, as the runtimes of today report
}

ClassModel* lookUpClass(Entry& e, const std::string& name) {
    ClassModel* model = e.vm().classes.find(name);
    return model == nullptr || model->absent ? nullptr : model;
}

jclass JNICALL findClass(JNIEnv* env, const char* name) {
    Entry e(env, "FindClass");
    if (!e.ok()) return nullptr;
    if (name == nullptr) {
        e.fail("null class name");
        return nullptr;
    }
    const std::string text = name;
    if (text.find('.') != std::string::npos || (text.size() > 1 && text.front() == 'L' && text.back() == ';')) {
        e.fail("\"" + text + "\" is not a class name in slash form");
    }
    ClassModel* model = lookUpClass(e, text);
    e.vm().record({"findClass", text, model == nullptr ? "absent" : "found"});
    if (model == nullptr) {
        e.raise("java/lang/NoClassDefFoundError", text);
        return nullptr;
    }
    return static_cast<jclass>(e.local(e.vm().classObject(model)));
}

jclass JNICALL getSuperclass(JNIEnv* env, jclass sub) {
    Entry e(env, "GetSuperclass");
    if (!e.ok()) return nullptr;
    ClassModel* model = e.needClass(sub);
    if (model == nullptr || model->super == nullptr) return nullptr;
    return static_cast<jclass>(e.local(e.vm().classObject(model->super)));
}

jboolean JNICALL isAssignableFrom(JNIEnv* env, jclass sub, jclass sup) {
    Entry e(env, "IsAssignableFrom");
    if (!e.ok()) return JNI_FALSE;
    ClassModel* from = e.needClass(sub);
    ClassModel* to = e.needClass(sup);
    return from != nullptr && to != nullptr && from->isSubclassOf(to) ? JNI_TRUE : JNI_FALSE;
}

jclass JNICALL getObjectClass(JNIEnv* env, jobject object) {
    Entry e(env, "GetObjectClass");
    if (!e.ok()) return nullptr;
    Object* target = nullptr;
    if (!e.resolve(object, target)) return nullptr;
    if (target == nullptr) {
        e.fail("null object");
        return nullptr;
    }
    return static_cast<jclass>(e.local(e.vm().classObject(target->type)));
}

jboolean JNICALL isInstanceOf(JNIEnv* env, jobject object, jclass cls) {
    Entry e(env, "IsInstanceOf");
    if (!e.ok()) return JNI_FALSE;
    Object* target = nullptr;
    if (!e.resolve(object, target)) return JNI_FALSE;
    ClassModel* model = e.needClass(cls);
    if (model == nullptr) return JNI_FALSE;
    return target == nullptr || target->type->isSubclassOf(model) ? JNI_TRUE : JNI_FALSE;
}

jboolean JNICALL isSameObject(JNIEnv* env, jobject a, jobject b) {
    Entry e(env, "IsSameObject", true);
    if (!e.ok()) return JNI_FALSE;
    Object* first = nullptr;
    Object* second = nullptr;
    e.resolve(a, first);
    e.resolve(b, second);
    return first == second ? JNI_TRUE : JNI_FALSE;
}

jobject JNICALL allocObject(JNIEnv* env, jclass cls) {
    Entry e(env, "AllocObject");
    if (!e.ok()) return nullptr;
    ClassModel* model = e.needClass(cls);
    if (model == nullptr) return nullptr;
    const bool throwable = model->isSubclassOf(e.vm().classes.find("java/lang/Throwable"));
    return e.local(e.vm().newObject(throwable ? ObjectKind::Throwable : ObjectKind::Instance, model));
}

jint JNICALL monitorEnter(JNIEnv* env, jobject object) {
    Entry e(env, "MonitorEnter");
    Object* target = nullptr;
    if (e.ok()) e.resolve(object, target);
    return JNI_OK;
}

jint JNICALL monitorExit(JNIEnv* env, jobject object) {
    Entry e(env, "MonitorExit", true);
    Object* target = nullptr;
    if (e.ok()) e.resolve(object, target);
    return JNI_OK;
}

jint JNICALL getJavaVM(JNIEnv* env, JavaVM** vm) {
    Entry e(env, "GetJavaVM");
    if (!e.ok()) return JNI_ERR;
    if (vm == nullptr) {
        e.fail("null result pointer");
        return JNI_ERR;
    }
    *vm = &theJavaVm;
    return JNI_OK;
}

// ---- exceptions ----

jint JNICALL throwObject(JNIEnv* env, jthrowable throwable) {
    Entry e(env, "Throw");
    if (!e.ok()) return JNI_ERR;
    Object* target = e.need(throwable, ObjectKind::Throwable, "a throwable");
    if (target == nullptr) return JNI_ERR;
    e.thread().pending = target;
    return JNI_OK;
}

jint JNICALL throwNew(JNIEnv* env, jclass cls, const char* message) {
    Entry e(env, "ThrowNew");
    if (!e.ok()) return JNI_ERR;
    ClassModel* model = e.needClass(cls);
    if (model == nullptr) return JNI_ERR;
    if (!model->isSubclassOf(e.vm().classes.find("java/lang/Throwable"))) {
        e.fail(model->name + " is not a throwable class");
        return JNI_ERR;
    }
    std::u16string text;
    if (message != nullptr && !fromModifiedUtf8(message, text)) e.fail("the message is not modified UTF-8");
    e.thread().pending = e.vm().newThrowable(model, message != nullptr ? &text : nullptr);
    return JNI_OK;
}

jthrowable JNICALL exceptionOccurred(JNIEnv* env) {
    Entry e(env, "ExceptionOccurred", true);
    if (!e.ok()) return nullptr;
    return static_cast<jthrowable>(e.local(e.thread().pending));
}

void JNICALL exceptionDescribe(JNIEnv* env) {
    Entry e(env, "ExceptionDescribe", true);
    if (!e.ok() || e.thread().pending == nullptr) return;
    const std::string text = toUtf8(e.vm().throwableText(e.thread().pending));
    e.vm().record({"described", text});
    const std::string line = "Exception in thread \"main\" " + text + "\n\tat stand-in virtual machine\n";
    DWORD written = 0;
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (error != nullptr && error != INVALID_HANDLE_VALUE) {
        WriteFile(error, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
    e.thread().pending = nullptr;  // describing clears the exception, as in a real machine
}

void JNICALL exceptionClear(JNIEnv* env) {
    Entry e(env, "ExceptionClear", true);
    if (e.ok()) e.thread().pending = nullptr;
}

jboolean JNICALL exceptionCheck(JNIEnv* env) {
    Entry e(env, "ExceptionCheck", true);
    return e.ok() && e.thread().pending != nullptr ? JNI_TRUE : JNI_FALSE;
}

void JNICALL fatalError(JNIEnv* env, const char* message) {
    Entry e(env, "FatalError", true);
    if (e.ok()) e.vm().record({"fatal", message != nullptr ? message : ""});
    ExitProcess(134);
}

// ---- references ----

jint JNICALL pushLocalFrame(JNIEnv* env, jint capacity) {
    Entry e(env, "PushLocalFrame", true);
    if (!e.ok()) return JNI_ERR;
    if (capacity < 0) e.fail("negative capacity");
    e.vm().pushFrame(e.thread());
    return JNI_OK;
}

jobject JNICALL popLocalFrame(JNIEnv* env, jobject result) {
    Entry e(env, "PopLocalFrame", true);
    if (!e.ok()) return nullptr;
    Object* target = nullptr;
    e.resolve(result, target);
    if (e.thread().frames.size() <= 1) {
        e.fail("no frame was pushed");
        return nullptr;
    }
    e.vm().popFrame(e.thread());
    return e.local(target);
}

jobject JNICALL newGlobalRef(JNIEnv* env, jobject object) {
    Entry e(env, "NewGlobalRef");
    if (!e.ok()) return nullptr;
    Object* target = nullptr;
    if (!e.resolve(object, target)) return nullptr;
    return e.vm().globalRef(target, ReferenceKind::Global);
}

jweak JNICALL newWeakGlobalRef(JNIEnv* env, jobject object) {
    Entry e(env, "NewWeakGlobalRef");
    if (!e.ok()) return nullptr;
    Object* target = nullptr;
    if (!e.resolve(object, target)) return nullptr;
    return e.vm().globalRef(target, ReferenceKind::WeakGlobal);
}

jobject JNICALL newLocalRef(JNIEnv* env, jobject object) {
    Entry e(env, "NewLocalRef");
    if (!e.ok()) return nullptr;
    Object* target = nullptr;
    if (!e.resolve(object, target)) return nullptr;
    return e.local(target);
}

void deleteReference(JNIEnv* env, jobject object, ReferenceKind kind, const char* function) {
    Entry e(env, function, true);
    if (!e.ok() || object == nullptr) return;
    Object* target = nullptr;
    if (!e.resolve(object, target)) return;
    Reference* r = e.vm().reference(object);
    if (r->kind != kind) {
        e.fail("the reference is of another kind");
        return;
    }
    e.vm().endReference(*r);
}

void JNICALL deleteGlobalRef(JNIEnv* env, jobject object) {
    deleteReference(env, object, ReferenceKind::Global, "DeleteGlobalRef");
}
void JNICALL deleteWeakGlobalRef(JNIEnv* env, jweak object) {
    deleteReference(env, object, ReferenceKind::WeakGlobal, "DeleteWeakGlobalRef");
}
void JNICALL deleteLocalRef(JNIEnv* env, jobject object) {
    deleteReference(env, object, ReferenceKind::Local, "DeleteLocalRef");
}

jint JNICALL ensureLocalCapacity(JNIEnv* env, jint capacity) {
    Entry e(env, "EnsureLocalCapacity");
    if (e.ok() && capacity < 0) e.fail("negative capacity");
    return JNI_OK;
}

jobjectRefType JNICALL getObjectRefType(JNIEnv* env, jobject object) {
    Entry e(env, "GetObjectRefType");
    if (!e.ok() || object == nullptr) return JNIInvalidRefType;
    Reference* r = e.vm().reference(object);
    if (r == nullptr || !r->live) return JNIInvalidRefType;
    switch (r->kind) {
    case ReferenceKind::Local: return JNILocalRefType;
    case ReferenceKind::Global: return JNIGlobalRefType;
    case ReferenceKind::WeakGlobal: return JNIWeakGlobalRefType;
    }
    return JNIInvalidRefType;
}

// ---- method and field IDs ----

// A member lookup that fails: a member the test made absent is an expected miss, any other is
// a caller asking for something the runtime does not have.
void reportMissingMember(Entry& e, ClassModel* model, const std::string& name, const std::string& signature,
                         const char* error) {
    bool hidden = false;
    for (ClassModel* c = model; c != nullptr; c = c->super) hidden = hidden || c->memberAbsent(name);
    if (!hidden) e.fail(model->name + " has no member " + name + " " + signature);
    e.raise(error, name);
}

jmethodID lookUpMethod(JNIEnv* env, jclass cls, const char* name, const char* signature, bool isStatic,
                       const char* function) {
    Entry e(env, function);
    if (!e.ok()) return nullptr;
    ClassModel* model = e.needClass(cls);
    if (model == nullptr) return nullptr;
    if (name == nullptr || signature == nullptr) {
        e.fail("null name or signature");
        return nullptr;
    }
    const bool constructor = std::strcmp(name, "<init>") == 0;
    for (ClassModel* c = model; c != nullptr; c = constructor ? nullptr : c->super) {
        if (c->memberAbsent(name)) break;
        for (MethodModel& m : c->methods) {
            if (m.name == name && m.signature == signature && m.isStatic == isStatic) {
                return reinterpret_cast<jmethodID>(&m);
            }
        }
    }
    reportMissingMember(e, model, name, signature, "java/lang/NoSuchMethodError");
    return nullptr;
}

jmethodID JNICALL getMethodID(JNIEnv* env, jclass cls, const char* name, const char* signature) {
    return lookUpMethod(env, cls, name, signature, false, "GetMethodID");
}
jmethodID JNICALL getStaticMethodID(JNIEnv* env, jclass cls, const char* name, const char* signature) {
    return lookUpMethod(env, cls, name, signature, true, "GetStaticMethodID");
}

jfieldID lookUpField(JNIEnv* env, jclass cls, const char* name, const char* signature, bool isStatic,
                     const char* function) {
    Entry e(env, function);
    if (!e.ok()) return nullptr;
    ClassModel* model = e.needClass(cls);
    if (model == nullptr) return nullptr;
    if (name == nullptr || signature == nullptr) {
        e.fail("null name or signature");
        return nullptr;
    }
    for (ClassModel* c = model; c != nullptr; c = c->super) {
        if (c->memberAbsent(name)) break;
        for (FieldModel& f : c->fields) {
            if (f.name == name && f.signature == signature && f.isStatic == isStatic) {
                return reinterpret_cast<jfieldID>(&f);
            }
        }
    }
    reportMissingMember(e, model, name, signature, "java/lang/NoSuchFieldError");
    return nullptr;
}

jfieldID JNICALL getFieldID(JNIEnv* env, jclass cls, const char* name, const char* signature) {
    return lookUpField(env, cls, name, signature, false, "GetFieldID");
}
jfieldID JNICALL getStaticFieldID(JNIEnv* env, jclass cls, const char* name, const char* signature) {
    return lookUpField(env, cls, name, signature, true, "GetStaticFieldID");
}

// ---- calls ----

enum class Form { Virtual, Nonvirtual, Static };

const char* kindName(char kind) {
    switch (kind) {
    case 'L': return "Object";
    case 'Z': return "Boolean";
    case 'B': return "Byte";
    case 'C': return "Char";
    case 'S': return "Short";
    case 'I': return "Int";
    case 'J': return "Long";
    case 'F': return "Float";
    case 'D': return "Double";
    default: return "Void";
    }
}

std::string callName(Form form, char kind, const char* suffix) {
    const char* prefix = form == Form::Static ? "CallStatic" : form == Form::Nonvirtual ? "CallNonvirtual" : "Call";
    return std::string(prefix) + kindName(kind) + "Method" + suffix;
}

// Does the object fit a parameter or field of this descriptor?
bool fits(Vm& vm, const Object* object, const std::string& descriptor) {
    if (object == nullptr) return true;
    if (descriptor[0] == '[') return object->kind == ObjectKind::Array && object->type->name == descriptor;
    ClassModel* declared = vm.classes.find(descriptor.substr(1, descriptor.size() - 2));
    return declared == nullptr || object->type->isSubclassOf(declared);  // unmodelled classes are not checked
}

jvalue invoke(JNIEnv* env, Form form, char kind, jobject receiver, jclass cls, jmethodID id, const jvalue* values,
              const char* suffix) {
    jvalue none{};
    Entry e(env, callName(form, kind, suffix));
    if (!e.ok()) return none;
    MethodModel* m = e.vm().method(id);
    if (m == nullptr) {
        e.fail("not a method ID");
        return none;
    }
    const ParsedSignature signature = parseSignature(m->signature);
    if (kindOf(signature.result) != kind) e.fail(m->name + " returns " + signature.result);
    if (m->isStatic != (form == Form::Static) || m->name == "<init>") e.fail(m->name + " cannot be called this way");
    Object* self = nullptr;
    if (form != Form::Static) {
        if (!e.resolve(receiver, self) || self == nullptr) {
            e.fail("no receiver object");
            return none;
        }
        if (!self->type->isSubclassOf(m->owner)) e.fail(m->name + " is not a method of the receiver's class");
    }
    if (form != Form::Virtual) {
        ClassModel* model = e.needClass(cls);
        if (model == nullptr) return none;
        if (!model->isSubclassOf(m->owner)) e.fail(m->name + " is not a method of " + model->name);
    }
    std::vector<Object*> arguments(signature.parameters.size(), nullptr);
    for (size_t i = 0; i < signature.parameters.size(); ++i) {
        if (kindOf(signature.parameters[i]) != 'L') continue;
        if (values == nullptr) {
            e.fail("no argument values");
            return none;
        }
        if (!e.resolve(values[i].l, arguments[i])) return none;
        if (!fits(e.vm(), arguments[i], signature.parameters[i])) {
            e.fail("argument " + std::to_string(i) + " of " + m->name + " is not a " + signature.parameters[i]);
        }
    }
    CallResult result;
    if (m->isNative) {
        if (m->boundNative == nullptr) {
            e.raise("java/lang/UnsatisfiedLinkError", m->owner->dottedName() + "." + m->name + m->signature);
            return none;
        }
        result = callBoundNative(e.vm(), e.thread(), *m, form == Form::Static ? cls : receiver, values);
    } else {
        for (Object* argument : arguments) hold(argument);
        result = runModelledMethod(e.vm(), e.thread(), *m, self, arguments, values);
    }
    if (kind == 'L') result.value.l = e.local(result.object);
    return result.value;
}

// The arguments of a V call, read by the method's parameter types.
std::vector<jvalue> readArguments(jmethodID id, va_list list) {
    std::vector<jvalue> values;
    Vm* vm = currentVm();
    MethodModel* m = vm == nullptr ? nullptr : vm->method(id);
    if (m == nullptr) return values;
    for (const std::string& parameter : parseSignature(m->signature).parameters) {
        jvalue v{};
        switch (kindOf(parameter)) {
        case 'Z': v.z = static_cast<jboolean>(va_arg(list, int)); break;
        case 'B': v.b = static_cast<jbyte>(va_arg(list, int)); break;
        case 'C': v.c = static_cast<jchar>(va_arg(list, int)); break;
        case 'S': v.s = static_cast<jshort>(va_arg(list, int)); break;
        case 'I': v.i = va_arg(list, jint); break;
        case 'J': v.j = va_arg(list, jlong); break;
        case 'F': v.f = static_cast<jfloat>(va_arg(list, double)); break;
        case 'D': v.d = va_arg(list, double); break;
        default: v.l = va_arg(list, jobject); break;
        }
        values.push_back(v);
    }
    return values;
}

template <char K>
struct Kind;
template <>
struct Kind<'L'> {
    using T = jobject;
    static T get(const jvalue& v) { return v.l; }
};
template <>
struct Kind<'Z'> {
    using Array = jbooleanArray;
    using T = jboolean;
    static T get(const jvalue& v) { return v.z; }
};
template <>
struct Kind<'B'> {
    using Array = jbyteArray;
    using T = jbyte;
    static T get(const jvalue& v) { return v.b; }
};
template <>
struct Kind<'C'> {
    using Array = jcharArray;
    using T = jchar;
    static T get(const jvalue& v) { return v.c; }
};
template <>
struct Kind<'S'> {
    using Array = jshortArray;
    using T = jshort;
    static T get(const jvalue& v) { return v.s; }
};
template <>
struct Kind<'I'> {
    using Array = jintArray;
    using T = jint;
    static T get(const jvalue& v) { return v.i; }
};
template <>
struct Kind<'J'> {
    using Array = jlongArray;
    using T = jlong;
    static T get(const jvalue& v) { return v.j; }
};
template <>
struct Kind<'F'> {
    using Array = jfloatArray;
    using T = jfloat;
    static T get(const jvalue& v) { return v.f; }
};
template <>
struct Kind<'D'> {
    using Array = jdoubleArray;
    using T = jdouble;
    static T get(const jvalue& v) { return v.d; }
};
template <>
struct Kind<'V'> {
    using T = void;
    static void get(const jvalue&) {}
};

template <char K>
typename Kind<K>::T JNICALL callA(JNIEnv* env, jobject object, jmethodID id, const jvalue* values) {
    return Kind<K>::get(invoke(env, Form::Virtual, K, object, nullptr, id, values, "A"));
}
template <char K>
typename Kind<K>::T JNICALL callV(JNIEnv* env, jobject object, jmethodID id, va_list list) {
    const std::vector<jvalue> values = readArguments(id, list);
    return Kind<K>::get(invoke(env, Form::Virtual, K, object, nullptr, id, values.data(), "V"));
}
template <char K>
typename Kind<K>::T JNICALL call(JNIEnv* env, jobject object, jmethodID id, ...) {
    va_list list;
    va_start(list, id);
    const std::vector<jvalue> values = readArguments(id, list);
    va_end(list);
    return Kind<K>::get(invoke(env, Form::Virtual, K, object, nullptr, id, values.data(), ""));
}
template <char K>
typename Kind<K>::T JNICALL callNonvirtualA(JNIEnv* env, jobject object, jclass cls, jmethodID id,
                                             const jvalue* values) {
    return Kind<K>::get(invoke(env, Form::Nonvirtual, K, object, cls, id, values, "A"));
}
template <char K>
typename Kind<K>::T JNICALL callNonvirtualV(JNIEnv* env, jobject object, jclass cls, jmethodID id, va_list list) {
    const std::vector<jvalue> values = readArguments(id, list);
    return Kind<K>::get(invoke(env, Form::Nonvirtual, K, object, cls, id, values.data(), "V"));
}
template <char K>
typename Kind<K>::T JNICALL callNonvirtual(JNIEnv* env, jobject object, jclass cls, jmethodID id, ...) {
    va_list list;
    va_start(list, id);
    const std::vector<jvalue> values = readArguments(id, list);
    va_end(list);
    return Kind<K>::get(invoke(env, Form::Nonvirtual, K, object, cls, id, values.data(), ""));
}
template <char K>
typename Kind<K>::T JNICALL callStaticA(JNIEnv* env, jclass cls, jmethodID id, const jvalue* values) {
    return Kind<K>::get(invoke(env, Form::Static, K, nullptr, cls, id, values, "A"));
}
template <char K>
typename Kind<K>::T JNICALL callStaticV(JNIEnv* env, jclass cls, jmethodID id, va_list list) {
    const std::vector<jvalue> values = readArguments(id, list);
    return Kind<K>::get(invoke(env, Form::Static, K, nullptr, cls, id, values.data(), "V"));
}
template <char K>
typename Kind<K>::T JNICALL callStatic(JNIEnv* env, jclass cls, jmethodID id, ...) {
    va_list list;
    va_start(list, id);
    const std::vector<jvalue> values = readArguments(id, list);
    va_end(list);
    return Kind<K>::get(invoke(env, Form::Static, K, nullptr, cls, id, values.data(), ""));
}

jobject construct(JNIEnv* env, jclass cls, jmethodID id, const jvalue* values, const char* function) {
    Entry e(env, function);
    if (!e.ok()) return nullptr;
    ClassModel* model = e.needClass(cls);
    MethodModel* m = e.vm().method(id);
    if (model == nullptr || m == nullptr || m->name != "<init>" || m->owner != model) {
        e.fail("not a constructor of the class");
        return nullptr;
    }
    const bool throwable = model->isSubclassOf(e.vm().classes.find("java/lang/Throwable"));
    Object* object = e.vm().newObject(throwable ? ObjectKind::Throwable : ObjectKind::Instance, model);
    // A throwable's message; any other object keeps the text of a one-String constructor too
    // (toString gives it back), as the Registry natives' ExpandString does.
    if (m->signature == "(Ljava/lang/String;)V") {
        Object* message = nullptr;
        if (values == nullptr || !e.resolve(values[0].l, message)) return nullptr;
        if (message != nullptr) {
            object->text = message->text;
            object->hasMessage = true;
        }
    }
    // ---- Natives tests: records such as WindowInfo show their constructor's arguments ----
    // (toString gives "a|b|c|d"), so a test reads back what the native passed.
    else if (!throwable && values != nullptr && m->signature != "()V") {
        const ParsedSignature parsed = parseSignature(m->signature);
        std::string shown;
        for (size_t i = 0; i < parsed.parameters.size(); ++i) {
            if (i > 0) shown += "|";
            const char kind = kindOf(parsed.parameters[i]);
            if (kind != 'L') {
                shown += e.vm().renderValue(kind, values[i]);
                continue;
            }
            Object* argument = nullptr;
            if (!e.resolve(values[i].l, argument)) return nullptr;
            shown += e.vm().render(argument);
        }
        object->text = fromUtf8(shown);
        object->hasMessage = true;
        // A window peer keeps its handle for getHWnd.
        if (m->signature == "(J)V") object->number = values[0].j;
    }
    return e.local(object);
}

jobject JNICALL newObjectA(JNIEnv* env, jclass cls, jmethodID id, const jvalue* values) {
    return construct(env, cls, id, values, "NewObjectA");
}
jobject JNICALL newObjectV(JNIEnv* env, jclass cls, jmethodID id, va_list list) {
    const std::vector<jvalue> values = readArguments(id, list);
    return construct(env, cls, id, values.data(), "NewObjectV");
}
jobject JNICALL newObject(JNIEnv* env, jclass cls, jmethodID id, ...) {
    va_list list;
    va_start(list, id);
    const std::vector<jvalue> values = readArguments(id, list);
    va_end(list);
    return construct(env, cls, id, values.data(), "NewObject");
}

// ---- Natives tests: reference instance fields (a window's peer) and reflected methods ----

FieldModel* instanceField(Entry& e, jobject object, jfieldID id, Object*& target) {
    if (!e.ok() || !e.resolve(object, target)) return nullptr;
    FieldModel* f = e.vm().field(id);
    if (target == nullptr) {
        e.fail("null object");
        return nullptr;
    }
    if (f == nullptr || f->isStatic) {
        e.fail("not an instance field ID");
        return nullptr;
    }
    if (!target->type->isSubclassOf(f->owner)) e.fail(f->name + " is not a field of " + target->type->name);
    if (kindOf(f->signature) != 'L') e.fail(f->name + " is of type " + f->signature);
    return f;
}

jobject JNICALL getObjectField(JNIEnv* env, jobject object, jfieldID id) {
    Entry e(env, "GetObjectField");
    Object* target = nullptr;
    FieldModel* f = instanceField(e, object, id, target);
    if (f == nullptr) return nullptr;
    const auto found = target->fields.find(f);
    return found == target->fields.end() ? nullptr : e.local(found->second);
}

void JNICALL setObjectField(JNIEnv* env, jobject object, jfieldID id, jobject value) {
    Entry e(env, "SetObjectField");
    Object* target = nullptr;
    FieldModel* f = instanceField(e, object, id, target);
    Object* stored = nullptr;
    if (f == nullptr || !e.resolve(value, stored)) return;
    if (!fits(e.vm(), stored, f->signature)) e.fail(f->name + " cannot hold that object");
    hold(stored);
    target->fields[f] = stored;
}

jobject JNICALL toReflectedMethod(JNIEnv* env, jclass cls, jmethodID id, jboolean isStatic) {
    Entry e(env, "ToReflectedMethod");
    if (!e.ok()) return nullptr;
    ClassModel* model = e.needClass(cls);
    MethodModel* m = e.vm().method(id);
    if (model == nullptr || m == nullptr || m->isStatic != (isStatic == JNI_TRUE)) {
        e.fail("not a method ID of the class");
        return nullptr;
    }
    Object* reflected = e.vm().newObject(ObjectKind::Instance, e.vm().classes.find("java/lang/reflect/Method"));
    reflected->reflectedMethod = m;
    return e.local(reflected);
}

jmethodID JNICALL fromReflectedMethod(JNIEnv* env, jobject method) {
    Entry e(env, "FromReflectedMethod");
    Object* reflected = nullptr;
    if (!e.ok() || !e.resolve(method, reflected)) return nullptr;
    if (reflected == nullptr || reflected->reflectedMethod == nullptr) {
        e.fail("expects a java.lang.reflect.Method");
        return nullptr;
    }
    return reinterpret_cast<jmethodID>(reflected->reflectedMethod);
}

// ---- static fields ----

FieldModel* staticField(Entry& e, jclass cls, jfieldID id, char kind) {
    if (!e.ok()) return nullptr;
    ClassModel* model = e.needClass(cls);
    FieldModel* f = e.vm().field(id);
    if (model == nullptr) return nullptr;
    if (f == nullptr || !f->isStatic) {
        e.fail("not a static field ID");
        return nullptr;
    }
    if (!model->isSubclassOf(f->owner)) e.fail(f->name + " is not a field of " + model->name);
    if (kindOf(f->signature) != kind) e.fail(f->name + " is of type " + f->signature);
    return f;
}

template <char K>
typename Kind<K>::T JNICALL getStatic(JNIEnv* env, jclass cls, jfieldID id) {
    Entry e(env, std::string("GetStatic") + kindName(K) + "Field");
    FieldModel* f = staticField(e, cls, id, K);
    if (f == nullptr) return typename Kind<K>::T();
    if constexpr (K == 'L') {
        return e.local(f->object);
    } else {
        return Kind<K>::get(f->value);
    }
}

template <char K>
void JNICALL setStatic(JNIEnv* env, jclass cls, jfieldID id, typename Kind<K>::T value) {
    Entry e(env, std::string("SetStatic") + kindName(K) + "Field");
    FieldModel* f = staticField(e, cls, id, K);
    if (f == nullptr) return;
    jvalue v{};
    if constexpr (K == 'L') {
        Object* object = nullptr;
        if (!e.resolve(value, object)) return;
        if (!fits(e.vm(), object, f->signature)) e.fail(f->name + " cannot hold that object");
        hold(object);
        f->object = object;
        e.vm().record({"field", f->owner->name, f->name, e.vm().render(object)});
        return;
    } else {
        std::memcpy(&v, &value, sizeof value);
        f->value = v;
        e.vm().record({"field", f->owner->name, f->name, e.vm().renderValue(K, v)});
    }
}

// ---- strings ----

jstring JNICALL newString(JNIEnv* env, const jchar* chars, jsize length) {
    Entry e(env, "NewString");
    if (!e.ok()) return nullptr;
    if (length < 0 || (chars == nullptr && length > 0)) {
        e.fail("bad characters or length");
        return nullptr;
    }
    std::u16string text(reinterpret_cast<const char16_t*>(chars), static_cast<size_t>(length));
    return static_cast<jstring>(e.local(e.vm().newString(std::move(text))));
}

jstring JNICALL newStringUTF(JNIEnv* env, const char* bytes) {
    Entry e(env, "NewStringUTF");
    if (!e.ok() || bytes == nullptr) return nullptr;
    std::u16string text;
    if (!fromModifiedUtf8(bytes, text)) e.fail("the bytes are not modified UTF-8");
    return static_cast<jstring>(e.local(e.vm().newString(std::move(text))));
}

jsize JNICALL getStringLength(JNIEnv* env, jstring string) {
    Entry e(env, "GetStringLength");
    if (!e.ok()) return 0;
    Object* s = e.need(string, ObjectKind::String, "a string");
    return s == nullptr ? 0 : static_cast<jsize>(s->text.size());
}

jsize JNICALL getStringUTFLength(JNIEnv* env, jstring string) {
    Entry e(env, "GetStringUTFLength");
    if (!e.ok()) return 0;
    Object* s = e.need(string, ObjectKind::String, "a string");
    return s == nullptr ? 0 : static_cast<jsize>(toModifiedUtf8(s->text).size());
}

// Hands out a copy that stays valid until released; the terminating zero is a courtesy real
// machines also extend.
const void* pin(Entry& e, Object* object, const char* function, const void* data, size_t size, size_t terminator,
                jboolean* isCopy) {
    Pin p;
    hold(object);
    p.object = object;
    p.function = function;
    p.bytes.assign(static_cast<const unsigned char*>(data), static_cast<const unsigned char*>(data) + size);
    p.bytes.resize(size + terminator, 0);
    const void* address = p.bytes.data();
    e.vm().pins.emplace(address, std::move(p));
    if (isCopy != nullptr) *isCopy = JNI_TRUE;
    return address;
}

// The pin handed out for `address` by `function`, else a violation (released twice, or never
// handed out).
Pin* pinned(Entry& e, jobject object, const void* address, const char* function) {
    const auto found = e.vm().pins.find(address);
    if (found == e.vm().pins.end() || found->second.function != function) {
        e.fail("the buffer was not handed out by " + std::string(function) + " or was already released");
        return nullptr;
    }
    Object* target = nullptr;
    if (e.resolve(object, target) && target != found->second.object) e.fail("the buffer belongs to another object");
    return &found->second;
}

const jchar* JNICALL getStringChars(JNIEnv* env, jstring string, jboolean* isCopy) {
    Entry e(env, "GetStringChars");
    if (!e.ok()) return nullptr;
    Object* s = e.need(string, ObjectKind::String, "a string");
    if (s == nullptr) return nullptr;
    return static_cast<const jchar*>(
        pin(e, s, "GetStringChars", s->text.data(), s->text.size() * sizeof(char16_t), sizeof(char16_t), isCopy));
}

void JNICALL releaseStringChars(JNIEnv* env, jstring string, const jchar* chars) {
    Entry e(env, "ReleaseStringChars", true);
    if (e.ok() && pinned(e, string, chars, "GetStringChars") != nullptr) e.vm().pins.erase(chars);
}

const jchar* JNICALL getStringCritical(JNIEnv* env, jstring string, jboolean* isCopy) {
    Entry e(env, "GetStringCritical");
    if (!e.ok()) return nullptr;
    Object* s = e.need(string, ObjectKind::String, "a string");
    if (s == nullptr) return nullptr;
    return static_cast<const jchar*>(
        pin(e, s, "GetStringCritical", s->text.data(), s->text.size() * sizeof(char16_t), sizeof(char16_t), isCopy));
}

void JNICALL releaseStringCritical(JNIEnv* env, jstring string, const jchar* chars) {
    Entry e(env, "ReleaseStringCritical", true);
    if (e.ok() && pinned(e, string, chars, "GetStringCritical") != nullptr) e.vm().pins.erase(chars);
}

const char* JNICALL getStringUTFChars(JNIEnv* env, jstring string, jboolean* isCopy) {
    Entry e(env, "GetStringUTFChars");
    if (!e.ok()) return nullptr;
    Object* s = e.need(string, ObjectKind::String, "a string");
    if (s == nullptr) return nullptr;
    const std::string bytes = toModifiedUtf8(s->text);
    return static_cast<const char*>(pin(e, s, "GetStringUTFChars", bytes.data(), bytes.size(), 1, isCopy));
}

void JNICALL releaseStringUTFChars(JNIEnv* env, jstring string, const char* chars) {
    Entry e(env, "ReleaseStringUTFChars", true);
    if (e.ok() && pinned(e, string, chars, "GetStringUTFChars") != nullptr) e.vm().pins.erase(chars);
}

// Bounds of a region request; out of bounds raises the exception a real machine raises.
bool inBounds(Entry& e, size_t size, jsize start, jsize length, const char* exception) {
    if (start < 0 || length < 0 || static_cast<size_t>(start) > size || static_cast<size_t>(length) > size - start) {
        e.raise(exception, "region " + std::to_string(start) + "+" + std::to_string(length) + " of " +
                               std::to_string(size));
        return false;
    }
    return true;
}

void JNICALL getStringRegion(JNIEnv* env, jstring string, jsize start, jsize length, jchar* buffer) {
    Entry e(env, "GetStringRegion");
    if (!e.ok()) return;
    Object* s = e.need(string, ObjectKind::String, "a string");
    if (s == nullptr || !inBounds(e, s->text.size(), start, length, "java/lang/StringIndexOutOfBoundsException")) return;
    if (length > 0) std::memcpy(buffer, s->text.data() + start, static_cast<size_t>(length) * sizeof(char16_t));
}

void JNICALL getStringUTFRegion(JNIEnv* env, jstring string, jsize start, jsize length, char* buffer) {
    Entry e(env, "GetStringUTFRegion");
    if (!e.ok()) return;
    Object* s = e.need(string, ObjectKind::String, "a string");
    if (s == nullptr || !inBounds(e, s->text.size(), start, length, "java/lang/StringIndexOutOfBoundsException")) return;
    const std::string bytes = toModifiedUtf8(s->text.substr(static_cast<size_t>(start), static_cast<size_t>(length)));
    std::memcpy(buffer, bytes.c_str(), bytes.size() + 1);
}

// ---- arrays ----

jsize JNICALL getArrayLength(JNIEnv* env, jarray array) {
    Entry e(env, "GetArrayLength");
    if (!e.ok()) return 0;
    Object* a = e.need(array, ObjectKind::Array, "an array");
    return a == nullptr ? 0 : static_cast<jsize>(a->length());
}

jobjectArray JNICALL newObjectArray(JNIEnv* env, jsize length, jclass elementClass, jobject initial) {
    Entry e(env, "NewObjectArray");
    if (!e.ok()) return nullptr;
    ClassModel* element = e.needClass(elementClass);
    Object* fill = nullptr;
    if (element == nullptr || !e.resolve(initial, fill)) return nullptr;
    if (length < 0) {
        e.raise("java/lang/NegativeArraySizeException", std::to_string(length));
        return nullptr;
    }
    const std::string descriptor = element->name[0] == '[' ? "[" + element->name : "[L" + element->name + ";";
    Object* array = e.vm().newArray(e.vm().classes.arrayClass(descriptor), 'L', static_cast<size_t>(length));
    if (fill != nullptr && !fill->type->isSubclassOf(element)) e.fail("the initial element does not fit the array");
    hold(fill);
    std::fill(array->elements.begin(), array->elements.end(), fill);
    return static_cast<jobjectArray>(e.local(array));
}

// The element class of an object array, from its class name "[Lname;" or "[[...".
ClassModel* elementClass(Vm& vm, const Object* array) {
    const std::string& name = array->type->name;
    return name[1] == '[' ? vm.classes.find(name.substr(1)) : vm.classes.find(name.substr(2, name.size() - 3));
}

jobject JNICALL getObjectArrayElement(JNIEnv* env, jobjectArray array, jsize index) {
    Entry e(env, "GetObjectArrayElement");
    if (!e.ok()) return nullptr;
    Object* a = e.need(array, ObjectKind::Array, "an array");
    if (a == nullptr) return nullptr;
    if (a->elementType != 'L') {
        e.fail("not an object array");
        return nullptr;
    }
    if (!inBounds(e, a->length(), index, 1, "java/lang/ArrayIndexOutOfBoundsException")) return nullptr;
    return e.local(a->elements[static_cast<size_t>(index)]);
}

void JNICALL setObjectArrayElement(JNIEnv* env, jobjectArray array, jsize index, jobject value) {
    Entry e(env, "SetObjectArrayElement");
    if (!e.ok()) return;
    Object* a = e.need(array, ObjectKind::Array, "an array");
    Object* object = nullptr;
    if (a == nullptr || !e.resolve(value, object)) return;
    if (a->elementType != 'L') {
        e.fail("not an object array");
        return;
    }
    if (!inBounds(e, a->length(), index, 1, "java/lang/ArrayIndexOutOfBoundsException")) return;
    ClassModel* element = elementClass(e.vm(), a);
    if (object != nullptr && element != nullptr && !object->type->isSubclassOf(element)) {
        e.raise("java/lang/ArrayStoreException", object->type->dottedName());
        return;
    }
    hold(object);
    a->elements[static_cast<size_t>(index)] = object;
}

template <char K>
typename Kind<K>::Array JNICALL newPrimitiveArray(JNIEnv* env, jsize length) {
    Entry e(env, std::string("New") + kindName(K) + "Array");
    if (!e.ok()) return nullptr;
    if (length < 0) {
        e.raise("java/lang/NegativeArraySizeException", std::to_string(length));
        return nullptr;
    }
    e.vm().collect();
    Object* array = e.vm().newArray(e.vm().classes.arrayClass(std::string("[") + K), K, static_cast<size_t>(length));
    return static_cast<typename Kind<K>::Array>(e.local(array));
}

Object* primitiveArray(Entry& e, jarray array, char kind) {
    if (!e.ok()) return nullptr;
    Object* a = e.need(array, ObjectKind::Array, "an array");
    if (a != nullptr && a->elementType != kind) {
        e.fail(std::string("not a ") + kindName(kind) + " array");
        return nullptr;
    }
    return a;
}

template <char K>
typename Kind<K>::T* JNICALL getArrayElements(JNIEnv* env, typename Kind<K>::Array array, jboolean* isCopy) {
    static const std::string function = std::string("Get") + kindName(K) + "ArrayElements";
    Entry e(env, function);
    Object* a = primitiveArray(e, array, K);
    if (a == nullptr) return nullptr;
    return static_cast<typename Kind<K>::T*>(
        const_cast<void*>(pin(e, a, function.c_str(), a->data.data(), a->data.size(), 0, isCopy)));
}

// Mode 0 copies back and frees, JNI_COMMIT copies back and keeps, JNI_ABORT frees.
void unpinArray(Entry& e, jarray array, void* elements, jint mode, const char* function) {
    Pin* p = pinned(e, array, elements, function);
    if (p == nullptr) return;
    if (mode != JNI_ABORT) std::copy(p->bytes.begin(), p->bytes.end(), p->object->data.begin());
    if (mode != JNI_COMMIT) e.vm().pins.erase(elements);
}

template <char K>
void JNICALL releaseArrayElements(JNIEnv* env, typename Kind<K>::Array array, typename Kind<K>::T* elements, jint mode) {
    static const std::string function = std::string("Get") + kindName(K) + "ArrayElements";
    Entry e(env, std::string("Release") + kindName(K) + "ArrayElements", true);
    if (e.ok()) unpinArray(e, array, elements, mode, function.c_str());
}

template <char K>
void JNICALL getArrayRegion(JNIEnv* env, typename Kind<K>::Array array, jsize start, jsize length, typename Kind<K>::T* buffer) {
    Entry e(env, std::string("Get") + kindName(K) + "ArrayRegion");
    Object* a = primitiveArray(e, array, K);
    if (a == nullptr || !inBounds(e, a->length(), start, length, "java/lang/ArrayIndexOutOfBoundsException")) return;
    std::memcpy(buffer, a->data.data() + static_cast<size_t>(start) * sizeof *buffer,
                static_cast<size_t>(length) * sizeof *buffer);
}

template <char K>
void JNICALL setArrayRegion(JNIEnv* env, typename Kind<K>::Array array, jsize start, jsize length, const typename Kind<K>::T* buffer) {
    Entry e(env, std::string("Set") + kindName(K) + "ArrayRegion");
    Object* a = primitiveArray(e, array, K);
    if (a == nullptr || !inBounds(e, a->length(), start, length, "java/lang/ArrayIndexOutOfBoundsException")) return;
    std::memcpy(a->data.data() + static_cast<size_t>(start) * sizeof *buffer, buffer,
                static_cast<size_t>(length) * sizeof *buffer);
}

void* JNICALL getPrimitiveArrayCritical(JNIEnv* env, jarray array, jboolean* isCopy) {
    Entry e(env, "GetPrimitiveArrayCritical");
    if (!e.ok()) return nullptr;
    Object* a = e.need(array, ObjectKind::Array, "an array");
    if (a == nullptr) return nullptr;
    if (a->elementType == 'L') {
        e.fail("not a primitive array");
        return nullptr;
    }
    return const_cast<void*>(pin(e, a, "GetPrimitiveArrayCritical", a->data.data(), a->data.size(), 0, isCopy));
}

void JNICALL releasePrimitiveArrayCritical(JNIEnv* env, jarray array, void* elements, jint mode) {
    Entry e(env, "ReleasePrimitiveArrayCritical", true);
    if (e.ok()) unpinArray(e, array, elements, mode, "GetPrimitiveArrayCritical");
}

// ---- natives ----

// Binds natives the way a real machine does: method by method, and the first name and
// signature the class does not declare native fails the call with NoSuchMethodError pending.
jint JNICALL registerNatives(JNIEnv* env, jclass cls, const JNINativeMethod* methods, jint count) {
    Entry e(env, "RegisterNatives");
    if (!e.ok()) return JNI_ERR;
    ClassModel* model = e.needClass(cls);
    if (model == nullptr) return JNI_ERR;
    if (count < 0 || (methods == nullptr && count > 0)) {
        e.fail("bad method table");
        return JNI_ERR;
    }
    for (jint i = 0; i < count; ++i) {
        const JNINativeMethod& entry = methods[i];
        if (entry.name == nullptr || entry.signature == nullptr) {
            e.fail("entry " + std::to_string(i) + " has no name or signature");
            return JNI_ERR;
        }
        MethodModel* target = nullptr;
        if (!model->memberAbsent(entry.name)) {
            for (MethodModel& m : model->methods) {
                if (m.isNative && m.name == entry.name && m.signature == entry.signature) target = &m;
            }
        }
        if (target == nullptr || entry.fnPtr == nullptr) {
            if (!model->memberAbsent(entry.name)) {
                e.fail(model->name + " declares no native " + entry.name + " " + entry.signature +
                       (entry.fnPtr == nullptr ? " with a function" : ""));
            }
            e.vm().record({"registerFailed", model->name, entry.name, entry.signature});
            e.raise("java/lang/NoSuchMethodError", model->dottedName() + "." + entry.name + entry.signature);
            return JNI_ERR;
        }
        target->boundNative = entry.fnPtr;
        e.vm().record({"native", model->name, entry.name, entry.signature});
    }
    return JNI_OK;
}

jint JNICALL unregisterNatives(JNIEnv* env, jclass cls) {
    Entry e(env, "UnregisterNatives");
    if (!e.ok()) return JNI_ERR;
    ClassModel* model = e.needClass(cls);
    if (model == nullptr) return JNI_ERR;
    for (MethodModel& m : model->methods) m.boundNative = nullptr;
    e.vm().record({"unregistered", model->name});
    return JNI_OK;
}

// The stubs of the V slots are taken over by the implementations below; GCC notes that the
// va_list parameter's attributes do not take part in the stub's template argument.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wignored-attributes"
JNINativeInterface_ buildTable() {
    JNINativeInterface_ t{};
#define STAND_IN_STUB(slot)                                                        \
    {                                                                              \
        static constexpr char name[] = #slot;                                      \
        t.slot = Unsupported<decltype(t.slot)>::template call<name>;               \
    }
    STAND_IN_JNI_SLOTS(STAND_IN_STUB)
#undef STAND_IN_STUB

    t.GetVersion = getVersion;
    t.FindClass = findClass;
    t.GetSuperclass = getSuperclass;
    t.IsAssignableFrom = isAssignableFrom;
    t.Throw = throwObject;
    t.ThrowNew = throwNew;
    t.ExceptionOccurred = exceptionOccurred;
    t.ExceptionDescribe = exceptionDescribe;
    t.ExceptionClear = exceptionClear;
    t.ExceptionCheck = exceptionCheck;
    t.FatalError = fatalError;
    t.PushLocalFrame = pushLocalFrame;
    t.PopLocalFrame = popLocalFrame;
    t.NewGlobalRef = newGlobalRef;
    t.DeleteGlobalRef = deleteGlobalRef;
    t.DeleteLocalRef = deleteLocalRef;
    t.IsSameObject = isSameObject;
    t.NewLocalRef = newLocalRef;
    t.EnsureLocalCapacity = ensureLocalCapacity;
    t.NewWeakGlobalRef = newWeakGlobalRef;
    t.DeleteWeakGlobalRef = deleteWeakGlobalRef;
    t.GetObjectRefType = getObjectRefType;
    t.AllocObject = allocObject;
    t.NewObject = newObject;
    t.NewObjectV = newObjectV;
    t.NewObjectA = newObjectA;
    t.GetObjectClass = getObjectClass;
    t.IsInstanceOf = isInstanceOf;
    t.GetMethodID = getMethodID;
    t.GetStaticMethodID = getStaticMethodID;
    t.GetFieldID = getFieldID;
    t.GetStaticFieldID = getStaticFieldID;
    t.GetObjectField = getObjectField;
    t.SetObjectField = setObjectField;
    t.ToReflectedMethod = toReflectedMethod;
    t.FromReflectedMethod = fromReflectedMethod;
    t.MonitorEnter = monitorEnter;
    t.MonitorExit = monitorExit;
    t.GetJavaVM = getJavaVM;

#define STAND_IN_CALLS(Type, K)                                  \
    t.Call##Type##Method = call<K>;                               \
    t.Call##Type##MethodV = callV<K>;                             \
    t.Call##Type##MethodA = callA<K>;                             \
    t.CallNonvirtual##Type##Method = callNonvirtual<K>;           \
    t.CallNonvirtual##Type##MethodV = callNonvirtualV<K>;         \
    t.CallNonvirtual##Type##MethodA = callNonvirtualA<K>;         \
    t.CallStatic##Type##Method = callStatic<K>;                   \
    t.CallStatic##Type##MethodV = callStaticV<K>;                 \
    t.CallStatic##Type##MethodA = callStaticA<K>;                 \
    t.GetStatic##Type##Field = getStatic<K>;                      \
    t.SetStatic##Type##Field = setStatic<K>;
    STAND_IN_CALLS(Object, 'L')
    STAND_IN_CALLS(Boolean, 'Z')
    STAND_IN_CALLS(Byte, 'B')
    STAND_IN_CALLS(Char, 'C')
    STAND_IN_CALLS(Short, 'S')
    STAND_IN_CALLS(Int, 'I')
    STAND_IN_CALLS(Long, 'J')
    STAND_IN_CALLS(Float, 'F')
    STAND_IN_CALLS(Double, 'D')
#undef STAND_IN_CALLS
    t.CallVoidMethod = call<'V'>;
    t.CallVoidMethodV = callV<'V'>;
    t.CallVoidMethodA = callA<'V'>;
    t.CallNonvirtualVoidMethod = callNonvirtual<'V'>;
    t.CallNonvirtualVoidMethodV = callNonvirtualV<'V'>;
    t.CallNonvirtualVoidMethodA = callNonvirtualA<'V'>;
    t.CallStaticVoidMethod = callStatic<'V'>;
    t.CallStaticVoidMethodV = callStaticV<'V'>;
    t.CallStaticVoidMethodA = callStaticA<'V'>;

    t.NewString = newString;
    t.GetStringLength = getStringLength;
    t.GetStringChars = getStringChars;
    t.ReleaseStringChars = releaseStringChars;
    t.NewStringUTF = newStringUTF;
    t.GetStringUTFLength = getStringUTFLength;
    t.GetStringUTFChars = getStringUTFChars;
    t.ReleaseStringUTFChars = releaseStringUTFChars;
    t.GetStringRegion = getStringRegion;
    t.GetStringUTFRegion = getStringUTFRegion;
    t.GetStringCritical = getStringCritical;
    t.ReleaseStringCritical = releaseStringCritical;

    t.GetArrayLength = getArrayLength;
    t.NewObjectArray = newObjectArray;
    t.GetObjectArrayElement = getObjectArrayElement;
    t.SetObjectArrayElement = setObjectArrayElement;
#define STAND_IN_ARRAYS(Type, K)                                                                    \
    t.New##Type##Array = newPrimitiveArray<K>;                                                      \
    t.Get##Type##ArrayElements = getArrayElements<K>;                                              \
    t.Release##Type##ArrayElements = releaseArrayElements<K>;                                      \
    t.Get##Type##ArrayRegion = getArrayRegion<K>;                                                  \
    t.Set##Type##ArrayRegion = setArrayRegion<K>;
    STAND_IN_ARRAYS(Boolean, 'Z')
    STAND_IN_ARRAYS(Byte, 'B')
    STAND_IN_ARRAYS(Char, 'C')
    STAND_IN_ARRAYS(Short, 'S')
    STAND_IN_ARRAYS(Int, 'I')
    STAND_IN_ARRAYS(Long, 'J')
    STAND_IN_ARRAYS(Float, 'F')
    STAND_IN_ARRAYS(Double, 'D')
#undef STAND_IN_ARRAYS
    t.GetPrimitiveArrayCritical = getPrimitiveArrayCritical;
    t.ReleasePrimitiveArrayCritical = releasePrimitiveArrayCritical;

    t.RegisterNatives = registerNatives;
    t.UnregisterNatives = unregisterNatives;
    return t;
}
#pragma GCC diagnostic pop

}  // namespace

const JNINativeInterface_* nativeInterface() {
    static const JNINativeInterface_ table = buildTable();
    return &table;
}

}  // namespace stand_in::jvm
