#include "jvm_behaviour.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "base/text.h"
#include "files/deletion_file.h"

namespace stand_in::jvm {

namespace {

// ---- calling a bound native through its pointer ----

// Arguments travel as machine words: on x86 every argument is pushed (jlong and jdouble as two
// words, low first) and the stdcall callee removes them; on x86-64 each takes one slot.
#if defined(__i386__)
using Word = uint32_t;
#else
using Word = uint64_t;
#endif
constexpr size_t kMostWords = 24;

template <class R, size_t... I>
R callWithWords(void* function, const Word* words, std::index_sequence<I...>) {
    using F = R(JNICALL*)(decltype((void)I, Word())...);
    return reinterpret_cast<F>(function)(words[I]...);
}

template <class R, size_t N>
R callWith(void* function, const Word* words) {
    return callWithWords<R>(function, words, std::make_index_sequence<N>());
}

template <class R, size_t... N>
R callByCount(void* function, const std::vector<Word>& words, std::index_sequence<N...>) {
    using Caller = R (*)(void*, const Word*);
    static constexpr Caller callers[] = {&callWith<R, N>...};
    return callers[words.size()](function, words.data());
}

template <class R>
R callNative(void* function, const std::vector<Word>& words) {
    return callByCount<R>(function, words, std::make_index_sequence<kMostWords + 1>());
}

template <class T>
Word wordOf(T value) {
    Word word = 0;
    std::memcpy(&word, &value, sizeof value < sizeof word ? sizeof value : sizeof word);
    return word;
}

void pushWide(std::vector<Word>& words, uint64_t bits) {
    if (sizeof(Word) == 8) {
        words.push_back(static_cast<Word>(bits));
    } else {
        words.push_back(static_cast<Word>(bits & 0xFFFFFFFFu));
        words.push_back(static_cast<Word>(bits >> 32));
    }
}

// ---- modelled methods ----

Object* systemClassLoader(Vm& vm) {
    if (vm.systemClassLoader == nullptr) {
        vm.systemClassLoader = vm.newObject(ObjectKind::Instance, vm.classes.find("java/lang/ClassLoader"));
    }
    return vm.systemClassLoader;
}

// Class.forName and ClassLoader.loadClass: dotted binary names; a missing class throws
// ClassNotFoundException as Java does.
Object* loadClass(Vm& vm, ThreadState& thread, const Object* name) {
    if (name == nullptr) {
        vm.throwNew(thread, "java/lang/NullPointerException", "class name");
        return nullptr;
    }
    const std::string dotted = toUtf8(name->text);
    std::string slashed = dotted;
    for (char& c : slashed) {
        if (c == '.') c = '/';
    }
    ClassModel* model = dotted.find('/') == std::string::npos ? vm.classes.find(slashed) : nullptr;
    vm.record({"forName", dotted, model == nullptr || model->absent ? "absent" : "found"});
    if (model == nullptr || model->absent) {
        vm.throwNew(thread, "java/lang/ClassNotFoundException", dotted);
        return nullptr;
    }
    return vm.classObject(model);
}

Object* setProperty(Vm& vm, ThreadState& thread, const Object* key, const Object* value) {
    if (key == nullptr || value == nullptr) {
        vm.throwNew(thread, "java/lang/NullPointerException", "property key or value");
        return nullptr;
    }
    const std::string name = toModifiedUtf8(key->text);
    vm.record({"property", "setProperty", toUtf8(key->text), toUtf8(value->text)});
    const auto previous = vm.properties.find(name);
    Object* result = nullptr;
    if (previous != vm.properties.end()) {
        std::u16string text;
        fromModifiedUtf8(previous->second, text);
        result = vm.newString(text);
    }
    vm.properties[name] = toModifiedUtf8(value->text);
    // A test changes which classes are there while the machine runs.
    if (name == "standin.absent" || name == "standin.present") {
        if (!vm.setAbsent(toUtf8(value->text), name == "standin.absent")) {
            vm.violation(name + " names nothing the stand-in knows: " + toUtf8(value->text));
        }
    }
    return result;
}

Object* getProperty(Vm& vm, ThreadState& thread, const Object* key, Object* fallback) {
    if (key == nullptr) {
        vm.throwNew(thread, "java/lang/NullPointerException", "property key");
        return nullptr;
    }
    const auto found = vm.properties.find(toModifiedUtf8(key->text));
    if (found == vm.properties.end()) return fallback;
    std::u16string text;
    fromModifiedUtf8(found->second, text);
    return vm.newString(text);
}

[[noreturn]] void exitProcess(Vm& vm, jint status) {
    vm.record({"outcome", "exit", std::to_string(status)});
    ExitProcess(static_cast<UINT>(status));
}

Object* objectToString(Vm& vm, Object* self) {
    switch (self->kind) {
    case ObjectKind::String: return self;
    case ObjectKind::Throwable: return vm.newString(vm.throwableText(self));
    default: return vm.newString(fromUtf8(vm.render(self)));
    }
}

// ---- the window border's callbacks ----

// The window procedure calls back into its Java class; the test steers the answers and reads
// what was asked through system properties: "standin.hitTest" is what onNcHitTest answers
// (default 1, the client area) and "standin.hitTestAsked" the last "x,y,border" it was given;
// "standin.fullscreen" "true" makes isFullscreen true; "standin.stateChanges" counts
// fireStateChangedLaterOnce.
constexpr char kWndProcClass[] = "com/corvane/shadow/com/formdev/flatlaf/ui/FlatWindowsNativeWindowBorder$WndProc";

bool isWindowBorderCallback(const MethodModel& method) {
    return method.owner->name == kWndProcClass && !method.isNative;
}

std::string propertyOr(Vm& vm, const std::string& name, const std::string& fallback) {
    const auto found = vm.properties.find(name);
    return found == vm.properties.end() ? fallback : found->second;
}

jvalue windowBorderCallback(Vm& vm, const MethodModel& method, const jvalue* values) {
    jvalue result{};
    if (method.name == "onNcHitTest") {
        vm.properties["standin.hitTestAsked"] = std::to_string(values[0].i) + "," + std::to_string(values[1].i) + "," +
                                                (values[2].z ? "true" : "false");
        result.i = static_cast<jint>(std::strtol(propertyOr(vm, "standin.hitTest", "1").c_str(), nullptr, 10));
    } else if (method.name == "isFullscreen") {
        result.z = propertyOr(vm, "standin.fullscreen", "false") == "true" ? JNI_TRUE : JNI_FALSE;
    } else if (method.name == "fireStateChangedLaterOnce") {
        const long count = std::strtol(propertyOr(vm, "standin.stateChanges", "0").c_str(), nullptr, 10);
        vm.properties["standin.stateChanges"] = std::to_string(count + 1);
    }
    return result;
}

// ---- the scenario main acts out ----

void showWindow(Vm& vm, DWORD milliseconds) {
    const HINSTANCE module = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = module;
    windowClass.lpszClassName = L"StandInJavaWindow";
    RegisterClassW(&windowClass);  // a second run in the process finds it registered
    const HWND window = CreateWindowExW(0, L"StandInJavaWindow", L"Stand-in installer", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                        100, 100, 400, 300, nullptr, nullptr, module, nullptr);
    if (window == nullptr) {
        vm.violation("the scenario's window could not be created (" + std::to_string(GetLastError()) + ")");
        return;
    }
    ShowWindow(window, SW_SHOWNORMAL);
    vm.record({"step", "window", std::to_string(milliseconds)});
    const DWORD start = GetTickCount();
    for (DWORD passed = 0; passed < milliseconds; passed = GetTickCount() - start) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - passed, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    DestroyWindow(window);
}

// The Java side's word that it has taken over: the launcher's per-process run mark set to 2.
void setRunMark(Vm& vm) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\halvern\\lumbra\\", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        vm.violation("the run mark could not be set");
        return;
    }
    const std::wstring name = L"InstallStarted_" + std::to_wstring(GetCurrentProcessId());
    const DWORD two = 2;
    RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&two), sizeof two);
    RegCloseKey(key);
    vm.record({"step", "mark", "2"});
}

// Lists the tree below `directory` for a deletion file: files, and subdirectories before their
// parents.
void listTree(const std::wstring& directory, files::DeletionFile& content) {
    WIN32_FIND_DATAW data;
    const HANDLE find = FindFirstFileW((directory + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = directory + L"\\" + name;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            listTree(path, content);
            content.directories.push_back(path);
        } else {
            content.files.push_back(path);
        }
    } while (FindNextFileW(find, &data));
    FindClose(find);
}

// What the installer runtime does at its end: it hands its extraction directory to the
// launcher's deletion mode, which waits until this process has ended (a semaphore the process
// holds for the rest of its life) and removes the directory.
void startDeletion(Vm& vm) {
    const std::wstring directory = base::narrowToWide(vm.properties["lumbra.tempDir"]);
    const std::wstring launcher = base::narrowToWide(vm.properties["lumbra.moduleName"]);
    files::DeletionFile content;
    content.semaphoreName = L"Local\\standin_end_" + std::to_wstring(GetCurrentProcessId());
    CreateSemaphoreW(nullptr, 0, 1, content.semaphoreName.c_str());  // released when the process ends
    listTree(directory, content);
    content.directories.push_back(directory);
    wchar_t temporary[MAX_PATH + 1] = {};
    wchar_t file[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temporary);
    GetTempFileNameW(temporary, L"cvd", 0, file);
    const std::string bytes = files::encodeDeletionFile(content);
    const HANDLE output = CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(output, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(output);
    std::wstring command = L"\"" + launcher + L"\" __cvn_windel \"" + file + L"\"";
    STARTUPINFOW startup = {sizeof startup};
    PROCESS_INFORMATION started = {};
    // As a Java runtime starts processes: with the handles it may pass on.
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started)) {
        CloseHandle(started.hThread);
        CloseHandle(started.hProcess);
        vm.record({"step", "cleanup", vm.properties["lumbra.tempDir"]});
    } else {
        vm.violation("the deletion mode could not be started");
    }
}

// The launcher's waits, cut short: the watcher for the Java side's window gives up after 2400
// rounds of 100 ms, which a test should not have to wait for.
std::atomic<long> launcherSleeps{0};
std::atomic<bool> launcherHurried{false};

void WINAPI hurriedSleep(DWORD milliseconds) {
    ++launcherSleeps;
    Sleep(milliseconds < 1 ? milliseconds : 1);
}

void waitForLauncherSleeps(Vm& vm, long count) {
    if (!launcherHurried.load()) vm.violation("slept without STANDIN_HURRY: the launcher's waits are not counted");
    const DWORD start = GetTickCount();
    while (launcherSleeps.load() < count && GetTickCount() - start < 120000) Sleep(10);
    vm.record({"step", "slept", std::to_string(launcherSleeps.load())});
}

// A value for a parameter of the called native, from the text of a -Dstandin.arg option.
jvalue argumentValue(Vm& vm, ThreadState& thread, const std::string& descriptor, const std::string& text) {
    jvalue v{};
    switch (kindOf(descriptor)) {
    case 'Z': v.z = text == "true" || text == "1"; break;
    case 'B': v.b = static_cast<jbyte>(std::stol(text)); break;
    case 'C': v.c = static_cast<jchar>(std::stol(text)); break;
    case 'S': v.s = static_cast<jshort>(std::stol(text)); break;
    case 'I': v.i = static_cast<jint>(std::stoll(text)); break;
    case 'J': v.j = std::stoll(text); break;
    case 'F': v.f = std::stof(text); break;
    case 'D': v.d = std::stod(text); break;
    default: {
        Object* object = nullptr;
        if (text == "null") {
        } else if (descriptor == "Ljava/lang/String;") {
            object = vm.newString(fromUtf8(text));
        } else if (descriptor == "Ljava/lang/ClassLoader;") {
            object = systemClassLoader(vm);
        } else if (descriptor == "[Ljava/lang/String;") {
            object = vm.newArray(vm.classes.arrayClass(descriptor), 'L', 0);
            size_t start = 0;
            while (start <= text.size()) {
                const size_t comma = text.find(',', start);
                const size_t end = comma == std::string::npos ? text.size() : comma;
                object->elements.push_back(vm.newString(fromUtf8(text.substr(start, end - start))));
                start = end + 1;
            }
        }
        v.l = vm.localRef(thread, object);
    }
    }
    return v;
}

// "call:<class>.<method><signature>": calls the method as Java code would, through the JNI
// functions, and records what it returned.
void callStep(Vm& vm, ThreadState& thread, const std::string& target) {
    const size_t open = target.find('(');
    const size_t dot = target.rfind('.', open);
    if (open == std::string::npos || dot == std::string::npos) {
        vm.violation("the call step \"" + target + "\" is not <class>.<method><signature>");
        return;
    }
    const std::string className = target.substr(0, dot);
    const std::string name = target.substr(dot + 1, open - dot - 1);
    const std::string signature = target.substr(open);
    const ParsedSignature parsed = parseSignature(signature);
    JNIEnv* env = &thread.env;
    vm.record({"step", "call", className, name, signature});
    const jclass cls = env->FindClass(className.c_str());
    const jmethodID id = cls == nullptr ? nullptr : env->GetStaticMethodID(cls, name.c_str(), signature.c_str());
    if (id == nullptr || !parsed.valid) {
        vm.record({"result", "missing"});
        env->ExceptionClear();
        return;
    }
    std::vector<jvalue> values;
    for (size_t i = 0; i < parsed.parameters.size(); ++i) {
        const std::string text = i < vm.settings.callArguments.size() ? vm.settings.callArguments[i] : "null";
        values.push_back(argumentValue(vm, thread, parsed.parameters[i], text));
    }
    jvalue result{};
    switch (kindOf(parsed.result)) {
    case 'Z': result.z = env->CallStaticBooleanMethodA(cls, id, values.data()); break;
    case 'B': result.b = env->CallStaticByteMethodA(cls, id, values.data()); break;
    case 'C': result.c = env->CallStaticCharMethodA(cls, id, values.data()); break;
    case 'S': result.s = env->CallStaticShortMethodA(cls, id, values.data()); break;
    case 'I': result.i = env->CallStaticIntMethodA(cls, id, values.data()); break;
    case 'J': result.j = env->CallStaticLongMethodA(cls, id, values.data()); break;
    case 'F': result.f = env->CallStaticFloatMethodA(cls, id, values.data()); break;
    case 'D': result.d = env->CallStaticDoubleMethodA(cls, id, values.data()); break;
    case 'L': result.l = env->CallStaticObjectMethodA(cls, id, values.data()); break;
    default: env->CallStaticVoidMethodA(cls, id, values.data());
    }
    if (thread.pending != nullptr) {
        vm.record({"result", "exception", toUtf8(vm.throwableText(thread.pending))});
        thread.pending = nullptr;
        return;
    }
    vm.record({"result", parsed.result == "V" ? "void" : vm.renderValue(kindOf(parsed.result), result)});
}

// Acts out the steps of -Dstandin.scenario in order; "return" (or the end of the steps),
// "throw" and "exit" end main.
void runMain(Vm& vm, ThreadState& thread, const MethodModel& method, const Object* arguments) {
    vm.record({"main", method.owner->name});
    if (arguments != nullptr && arguments->kind == ObjectKind::Array && arguments->elementType == 'L') {
        for (size_t i = 0; i < arguments->elements.size(); ++i) {
            vm.record({"argument", std::to_string(i), vm.render(arguments->elements[i])});
        }
    }
    for (const std::string& step : vm.settings.steps) {
        const size_t colon = step.find(':');
        const std::string name = step.substr(0, colon);
        const std::string argument = colon == std::string::npos ? "" : step.substr(colon + 1);
        if (name == "return") {
            break;
        } else if (name == "throw") {
            const std::string message = argument.empty() ? "thrown by the stand-in installer" : argument;
            vm.throwNew(thread, "java/lang/IllegalStateException", message);
            vm.record({"outcome", "threw", toUtf8(vm.throwableText(thread.pending))});
            return;
        } else if (name == "exit") {
            exitProcess(vm, static_cast<jint>(std::strtol(argument.c_str(), nullptr, 10)));
        } else if (name == "window") {
            showWindow(vm, argument.empty() ? 3000 : std::strtoul(argument.c_str(), nullptr, 10));
        } else if (name == "mark") {
            setRunMark(vm);
        } else if (name == "cleanup") {
            startDeletion(vm);
        } else if (name == "sleep") {
            Sleep(std::strtoul(argument.c_str(), nullptr, 10));
            vm.record({"step", "sleep", argument});
        } else if (name == "slept") {
            waitForLauncherSleeps(vm, std::strtol(argument.c_str(), nullptr, 10));
        } else if (name == "call") {
            callStep(vm, thread, argument);
        } else {
            vm.violation("unknown scenario step \"" + step + "\"");
        }
    }
    vm.record({"outcome", "returned"});
}

std::vector<std::string> renderArguments(Vm& vm, const MethodModel& method, const std::vector<Object*>& arguments,
                                         const jvalue* values) {
    std::vector<std::string> fields = {"call", method.owner->name, method.name, method.signature};
    const ParsedSignature parsed = parseSignature(method.signature);
    for (size_t i = 0; i < parsed.parameters.size(); ++i) {
        const char kind = kindOf(parsed.parameters[i]);
        fields.push_back(kind == 'L' ? vm.render(arguments[i]) : vm.renderValue(kind, values[i]));
    }
    return fields;
}

}  // namespace

// The compiled code may keep an imported function's address in a register for the whole of a
// loop, so the import is redirected before the launcher's threads start: when the library is
// loaded, which the launcher does before it starts its watcher.
void hurryLauncher() {
    auto* const image = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    const auto* const headers =
        reinterpret_cast<const IMAGE_NT_HEADERS*>(image + reinterpret_cast<const IMAGE_DOS_HEADER*>(image)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* library = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(image + imports.VirtualAddress);
         imports.VirtualAddress != 0 && library->Name != 0; ++library) {
        if (_stricmp(reinterpret_cast<const char*>(image + library->Name), "kernel32.dll") != 0 ||
            library->OriginalFirstThunk == 0)
            continue;
        auto* name = reinterpret_cast<const IMAGE_THUNK_DATA*>(image + library->OriginalFirstThunk);
        auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(image + library->FirstThunk);
        for (; name->u1.AddressOfData != 0; ++name, ++slot) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) continue;
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(image + name->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), "Sleep") != 0) continue;
            DWORD protection = 0;
            if (!VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE, &protection)) return;
            slot->u1.Function = reinterpret_cast<ULONG_PTR>(&hurriedSleep);
            VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, protection, &protection);
            launcherHurried = true;
            return;
        }
    }
}

CallResult runModelledMethod(Vm& vm, ThreadState& thread, MethodModel& method, Object* self,
                             const std::vector<Object*>& arguments, const jvalue* values) {
    CallResult result;
    const std::string& owner = method.owner->name;
    const std::string& name = method.name;
    if (name == "main" && (owner == kEntryClassInstaller || owner == kEntryClassOther)) {
        runMain(vm, thread, method, arguments[0]);
    } else if (owner == "java/lang/System" && name == "setProperty") {
        result.object = setProperty(vm, thread, arguments[0], arguments[1]);
    } else if (owner == "java/lang/System" && name == "getProperty") {
        result.object = getProperty(vm, thread, arguments[0], arguments.size() > 1 ? arguments[1] : nullptr);
    } else if (owner == "java/lang/System" && name == "exit") {
        exitProcess(vm, values[0].i);
    } else if (owner == "java/lang/Class" && name == "forName") {
        result.object = loadClass(vm, thread, arguments[0]);
    } else if (owner == "java/lang/ClassLoader" && name == "loadClass") {
        result.object = loadClass(vm, thread, arguments[0]);
    } else if (owner == "java/lang/ClassLoader" && name == "getSystemClassLoader") {
        result.object = systemClassLoader(vm);
    } else if (owner == "java/lang/Class" && name == "getName") {
        result.object = vm.newString(fromUtf8(self->represented->dottedName()));
    } else if (owner == "java/lang/Throwable" && name == "getMessage") {
        result.object = self->hasMessage ? vm.newString(self->text) : nullptr;
    } else if (owner == "java/lang/Object" && name == "toString") {
        result.object = objectToString(vm, self);
    } else if (owner == "java/lang/Object" && name == "hashCode") {
        result.value.i = static_cast<jint>(reinterpret_cast<uintptr_t>(self) >> 4);
    } else if (owner == "java/lang/Object" && name == "equals") {
        result.value.z = self == arguments[0] ? JNI_TRUE : JNI_FALSE;
    } else if (owner == "java/lang/Object" && name == "getClass") {
        result.object = vm.classObject(self->type);
    // ---- Natives tests: boxes of the Registry natives ----
    } else if ((owner == "java/lang/Integer" || owner == "java/lang/Long") && name == "valueOf") {
        result.object = vm.newObject(ObjectKind::Instance, method.owner);
        result.object->number = owner == "java/lang/Integer" ? values[0].i : values[0].j;
    } else if (owner == "java/lang/Integer" && name == "intValue") {
        result.value.i = static_cast<jint>(self->number);
    } else if (owner == "java/lang/Long" && name == "longValue") {
        result.value.j = self->number;
    // ---- end of the Registry natives' boxes ----
    // ---- Natives tests: the window natives' peers and the window border's callbacks ----
    } else if (owner == "sun/awt/windows/WComponentPeer" && name == "getHWnd") {
        result.value.j = self->number;
    } else if (isWindowBorderCallback(method)) {
        result.value = windowBorderCallback(vm, method, values);
    // ---- end of the window natives' members ----
    } else {
        // The installer runtime's methods the launcher calls before main do nothing here but
        // leave their trace.
        vm.record(renderArguments(vm, method, arguments, values));
    }
    return result;
}

namespace {

// Gives up the holds of the thread's JNI calls under way for its life, and takes them again.
class MachineLockReleased {
public:
    MachineLockReleased(Vm& vm, const ThreadState& thread) : vm_(vm), holds_(thread.entries) {
        for (int i = 0; i < holds_; ++i) vm_.lock.unlock();
    }
    ~MachineLockReleased() {
        for (int i = 0; i < holds_; ++i) vm_.lock.lock();
    }
    MachineLockReleased(const MachineLockReleased&) = delete;
    MachineLockReleased& operator=(const MachineLockReleased&) = delete;

private:
    Vm& vm_;
    const int holds_;
};

}  // namespace

CallResult callBoundNative(Vm& vm, ThreadState& thread, MethodModel& method, jobject receiver, const jvalue* values) {
    CallResult result;
    const ParsedSignature parsed = parseSignature(method.signature);
    std::vector<Word> words = {wordOf(&thread.env), wordOf(receiver)};
    for (size_t i = 0; i < parsed.parameters.size(); ++i) {
        const char kind = kindOf(parsed.parameters[i]);
        if (sizeof(Word) == 8 && (kind == 'F' || kind == 'D')) {
            vm.violation("the stand-in cannot pass floating-point arguments to " + method.name);
            return result;
        }
        switch (kind) {
        case 'J': pushWide(words, static_cast<uint64_t>(values[i].j)); break;
        case 'D': {
            uint64_t bits = 0;
            std::memcpy(&bits, &values[i].d, sizeof bits);
            pushWide(words, bits);
            break;
        }
        case 'Z': words.push_back(values[i].z); break;
        case 'B': words.push_back(static_cast<Word>(static_cast<int32_t>(values[i].b))); break;
        case 'C': words.push_back(values[i].c); break;
        case 'S': words.push_back(static_cast<Word>(static_cast<int32_t>(values[i].s))); break;
        case 'I': words.push_back(static_cast<Word>(static_cast<int32_t>(values[i].i))); break;
        case 'F': words.push_back(wordOf(values[i].f)); break;
        default: words.push_back(wordOf(values[i].l)); break;
        }
    }
    if (words.size() > kMostWords) {
        vm.violation("too many arguments for the stand-in's native call of " + method.name);
        return result;
    }
    vm.pushFrame(thread);
    const char kind = kindOf(parsed.result);
    uint64_t raw = 0;
    {
        // The native runs without the machine's lock, as natives do in a real machine: one that
        // blocks (a pipe's read) leaves the other threads free to call in meanwhile. Its frame
        // keeps what it holds.
        const MachineLockReleased released(vm, thread);
        if (kind == 'F') {
            result.value.f = callNative<float>(method.boundNative, words);
        } else if (kind == 'D') {
            result.value.d = callNative<double>(method.boundNative, words);
        } else {
            raw = callNative<uint64_t>(method.boundNative, words);
        }
    }
    switch (kind) {
    case 'Z': result.value.z = static_cast<jboolean>(raw & 0xFF); break;
    case 'B': result.value.b = static_cast<jbyte>(raw & 0xFF); break;
    case 'C': result.value.c = static_cast<jchar>(raw & 0xFFFF); break;
    case 'S': result.value.s = static_cast<jshort>(raw & 0xFFFF); break;
    case 'I': result.value.i = static_cast<jint>(raw & 0xFFFFFFFFu); break;
    case 'J': result.value.j = static_cast<jlong>(raw); break;
    case 'L': {
        const auto handle = reinterpret_cast<jobject>(static_cast<uintptr_t>(raw));
        if (!vm.resolve(handle, method.name.c_str(), result.object)) result.object = nullptr;
        break;
    }
    default: break;
    }
    vm.popFrame(thread);
    return result;
}

}  // namespace stand_in::jvm
