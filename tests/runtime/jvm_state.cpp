#include "jvm_state.h"

#include "jvm_record_format.h"

#include <algorithm>
#include <cstring>

namespace stand_in::jvm {

namespace {

Vm* theVm = nullptr;

}  // namespace

size_t Object::elementSize(char type) {
    switch (type) {
    case 'J':
    case 'D': return 8;
    case 'I':
    case 'F': return 4;
    case 'C':
    case 'S': return 2;
    default: return 1;
    }
}

Vm* currentVm() { return theVm; }
void setCurrentVm(Vm* vm) { theVm = vm; }

Vm::Vm() {
    for (const auto& [name, model] : classes.all()) {
        for (const MethodModel& m : model->methods) methodIds_.insert(&m);
        for (const FieldModel& f : model->fields) fieldIds_.insert(&f);
    }
}

Vm::~Vm() {
    if (recordFile_ != INVALID_HANDLE_VALUE) CloseHandle(recordFile_);
}

void Vm::openRecord(const std::wstring& path) {
    recordFile_ = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Written at once, unbuffered: System.exit and a crashing caller must not lose lines.
void Vm::record(const std::vector<std::string>& fields) {
    if (recordFile_ == INVALID_HANDLE_VALUE) return;
    const std::string line = record_format::joinLine(fields);
    DWORD written = 0;
    WriteFile(recordFile_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void Vm::violation(const std::string& text) {
    ++violations_;
    record({"violation", text});
    const std::string line = "stand-in JVM: JNI violation: " + text + "\n";
    DWORD written = 0;
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (error != nullptr && error != INVALID_HANDLE_VALUE) {
        WriteFile(error, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
}

ThreadState* Vm::attach() {
    auto& slot = threads[GetCurrentThreadId()];
    if (!slot) {
        slot = std::make_unique<ThreadState>();
        slot->env.functions = nativeInterface();
        slot->threadId = GetCurrentThreadId();
        slot->frames.emplace_back();
    }
    return slot.get();
}

ThreadState* Vm::current() {
    const auto found = threads.find(GetCurrentThreadId());
    return found == threads.end() ? nullptr : found->second.get();
}

void Vm::detach(DWORD threadId) {
    const auto found = threads.find(threadId);
    if (found == threads.end()) return;
    for (auto& frame : found->second->frames) {
        for (Reference* r : frame) endReference(*r);
    }
    threads.erase(found);
}

Object* Vm::newObject(ObjectKind kind, ClassModel* type) {
    objects_.push_back(std::make_unique<Object>());
    Object* object = objects_.back().get();
    object->kind = kind;
    object->type = type;
    return object;
}

Object* Vm::newString(std::u16string text) {
    Object* object = newObject(ObjectKind::String, classes.find("java/lang/String"));
    object->text = std::move(text);
    return object;
}

Object* Vm::newThrowable(ClassModel* type, const std::u16string* message) {
    Object* object = newObject(ObjectKind::Throwable, type);
    if (message != nullptr) {
        object->text = *message;
        object->hasMessage = true;
    }
    return object;
}

Object* Vm::newArray(ClassModel* arrayClass, char elementType, size_t length) {
    Object* object = newObject(ObjectKind::Array, arrayClass);
    object->elementType = elementType;
    if (elementType == 'L') object->elements.assign(length, nullptr);
    else {
        const size_t bytes = length * Object::elementSize(elementType);
        const auto spare = std::find_if(spareStorage_.begin(), spareStorage_.end(),
                                        [bytes](const std::vector<unsigned char>& storage) { return storage.capacity() >= bytes; });
        if (spare != spareStorage_.end()) {
            object->data = std::move(*spare);
            spareStorage_.erase(spare);
        }
        object->data.assign(bytes, 0);  // zeroed, as Java's arrays are
    }
    return object;
}

Object* Vm::classObject(ClassModel* model) {
    if (model->classObject == nullptr) {
        model->classObject = newObject(ObjectKind::Class, classes.find("java/lang/Class"));
        model->classObject->represented = model;
    }
    return model->classObject;
}

jobject Vm::localRef(ThreadState& thread, Object* object) {
    if (object == nullptr) return nullptr;
    Reference& r = references_.emplace_back();
    r.target = object;
    r.kind = ReferenceKind::Local;
    r.owner = &thread;
    ++object->liveReferences;
    issued_.insert(&r);
    thread.frames.back().push_back(&r);
    return reinterpret_cast<jobject>(&r);
}

jobject Vm::globalRef(Object* object, ReferenceKind kind) {
    if (object == nullptr) return nullptr;
    Reference& r = references_.emplace_back();
    r.target = object;
    r.kind = kind;
    ++object->liveReferences;
    issued_.insert(&r);
    return reinterpret_cast<jobject>(&r);
}

void Vm::endReference(Reference& reference) {
    if (!reference.live) return;
    reference.live = false;
    Object* object = reference.target;
    if (--object->liveReferences == 0 && object->kind == ObjectKind::Array && object->elementType != 'L' && !object->held) {
        unreferenced_.push_back(object);
    }
}

// How many collected arrays' storage is kept for new ones.
constexpr size_t kSpareStorage = 4;

// An array queued here may have got a reference again since (PopLocalFrame hands its result on
// in a new one), so each is looked at again.
void Vm::collect() {
    for (Object* object : unreferenced_) {
        if (object->liveReferences != 0 || object->held) continue;
        if (spareStorage_.size() < kSpareStorage) spareStorage_.push_back(std::move(object->data));
        std::vector<unsigned char>().swap(object->data);
    }
    unreferenced_.clear();
}

Reference* Vm::reference(jobject handle) {
    Reference* r = reinterpret_cast<Reference*>(handle);
    return issued_.count(r) != 0 ? r : nullptr;
}

bool Vm::resolve(jobject handle, const char* function, Object*& object) {
    object = nullptr;
    if (handle == nullptr) return true;
    Reference* r = reference(handle);
    if (r == nullptr) {
        violation(std::string(function) + ": not a reference of this virtual machine");
        return false;
    }
    if (!r->live) {
        violation(std::string(function) + ": the reference was deleted");
        return false;
    }
    if (r->kind == ReferenceKind::Local && r->owner != current()) {
        violation(std::string(function) + ": a local reference of another thread");
        return false;
    }
    object = r->target;
    return true;
}

void Vm::pushFrame(ThreadState& thread) { thread.frames.emplace_back(); }

void Vm::popFrame(ThreadState& thread) {
    if (thread.frames.size() <= 1) return;
    for (Reference* r : thread.frames.back()) endReference(*r);
    thread.frames.pop_back();
}

void Vm::throwNew(ThreadState& thread, const char* className, const std::string& message) {
    const std::u16string text = fromUtf8(message);
    thread.pending = newThrowable(classes.find(className), &text);
}

std::u16string Vm::throwableText(const Object* throwable) {
    const std::string name = throwable->type->dottedName();
    std::u16string text(name.begin(), name.end());
    if (throwable->hasMessage) text += u": " + throwable->text;
    return text;
}

bool Vm::setAbsent(const std::string& target, bool absent) {
    if (ClassModel* whole = classes.find(target)) {
        whole->absent = absent;
        return true;
    }
    const size_t dot = target.rfind('.');
    ClassModel* owner = dot == std::string::npos ? nullptr : classes.find(target.substr(0, dot));
    if (owner == nullptr) return false;
    std::vector<std::string>& members = owner->absentMembers;
    const std::string member = target.substr(dot + 1);
    members.erase(std::remove(members.begin(), members.end(), member), members.end());
    if (absent) members.push_back(member);
    return true;
}

std::string Vm::render(const Object* object) {
    if (object == nullptr) return "null";
    switch (object->kind) {
    case ObjectKind::String: return toUtf8(object->text);
    case ObjectKind::Class: return "class " + object->represented->dottedName();
    case ObjectKind::Throwable: return toUtf8(throwableText(object));
    case ObjectKind::Instance:
        if (object->type->name == "java/lang/Integer" || object->type->name == "java/lang/Long") {
            return std::to_string(object->number);
        }
        // An object made by a constructor taking one String shows that text.
        if (object->hasMessage) return toUtf8(object->text);
        return object->type->dottedName() + " instance";
    case ObjectKind::Array: break;
    }
    std::string text = "{";
    for (size_t i = 0; i < object->length(); ++i) {
        if (i > 0) text += ",";
        if (object->elementType == 'L') {
            text += render(object->elements[i]);
            continue;
        }
        jvalue element{};
        const size_t size = Object::elementSize(object->elementType);
        std::memcpy(&element, object->data.data() + i * size, size);
        text += renderValue(object->elementType, element);
    }
    return text + "}";
}

std::string Vm::renderValue(char kind, const jvalue& value) {
    switch (kind) {
    case 'Z': return value.z ? "true" : "false";
    case 'B': return std::to_string(value.b);
    case 'C': return std::to_string(value.c);
    case 'S': return std::to_string(value.s);
    case 'I': return std::to_string(value.i);
    case 'J': return std::to_string(value.j);
    case 'F': return std::to_string(value.f);
    case 'D': return std::to_string(value.d);
    case 'L': {
        Object* object = nullptr;
        Reference* r = reference(value.l);
        if (r != nullptr && r->live) object = r->target;
        return value.l != nullptr && object == nullptr ? "invalid reference" : render(object);
    }
    default: return "";
    }
}

MethodModel* Vm::method(jmethodID id) {
    return methodIds_.count(id) != 0 ? reinterpret_cast<MethodModel*>(id) : nullptr;
}

FieldModel* Vm::field(jfieldID id) { return fieldIds_.count(id) != 0 ? reinterpret_cast<FieldModel*>(id) : nullptr; }

std::string toModifiedUtf8(const std::u16string& text) {
    std::string out;
    for (const char16_t unit : text) {
        if (unit != 0 && unit < 0x80) {
            out += static_cast<char>(unit);
        } else if (unit < 0x800) {  // NUL included: two bytes, so the result has no zero byte
            out += static_cast<char>(0xC0 | (unit >> 6));
            out += static_cast<char>(0x80 | (unit & 0x3F));
        } else {  // each surrogate on its own, as Java does
            out += static_cast<char>(0xE0 | (unit >> 12));
            out += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (unit & 0x3F));
        }
    }
    return out;
}

bool fromModifiedUtf8(const std::string& bytes, std::u16string& text) {
    text.clear();
    bool wellFormed = true;
    for (size_t i = 0; i < bytes.size();) {
        const auto b = [&](size_t k) { return static_cast<unsigned char>(bytes[k]); };
        const unsigned char first = b(i);
        if (first < 0x80 && first != 0) {
            text += static_cast<char16_t>(first);
            i += 1;
        } else if ((first & 0xE0) == 0xC0 && i + 1 < bytes.size() && (b(i + 1) & 0xC0) == 0x80) {
            text += static_cast<char16_t>(((first & 0x1F) << 6) | (b(i + 1) & 0x3F));
            i += 2;
        } else if ((first & 0xF0) == 0xE0 && i + 2 < bytes.size() && (b(i + 1) & 0xC0) == 0x80 &&
                   (b(i + 2) & 0xC0) == 0x80) {
            text += static_cast<char16_t>(((first & 0x0F) << 12) | ((b(i + 1) & 0x3F) << 6) | (b(i + 2) & 0x3F));
            i += 3;
        } else {
            wellFormed = false;
            text += u'\xFFFD';
            i += 1;
        }
    }
    return wellFormed;
}

std::string toUtf8(const std::u16string& text) {
    if (text.empty()) return {};
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

std::u16string fromUtf8(const std::string& text) {
    if (text.empty()) return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::u16string out(static_cast<size_t>(size), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), reinterpret_cast<wchar_t*>(out.data()),
                        size);
    return out;
}

std::string ansiToUtf8(const std::string& text) {
    if (text.empty()) return {};
    const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::u16string wide(static_cast<size_t>(size), u'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), reinterpret_cast<wchar_t*>(wide.data()),
                        size);
    return toUtf8(wide);
}

}  // namespace stand_in::jvm
