// Stand-in for a runtime's bin\<client|server>\jvm.dll: creates a small in-process virtual
// machine (the JNI function table of jni_functions.cpp over the classes of jvm_classes.cpp),
// records what the caller handed over and did, and lets main act out a scenario.
//
// Options of its own, among the ordinary ones of JavaVMInitArgs (all are recorded):
//   -Dstandin.record=<path>       the record file (jvm_record_format.h; created anew)
//   -Dstandin.scenario=<step>     repeatable; main acts the steps out in order:
//       return                    return from main (also what happens after the last step)
//       throw[:<message>]         leave java.lang.IllegalStateException: <message> pending
//       exit:<n>                  System.exit(n): the process ends with n at once
//       window[:<ms>]             show a visible top-level window for ms (3000) and close it
//       mark                      set the launcher's per-process run mark "InstallStarted_<pid>"
//                                 under HKCU\SOFTWARE\halvern\lumbra\ to 2
//       sleep:<ms>                wait
//       cleanup                   hand the extraction directory (lumbra.tempDir) to the
//                                 launcher's deletion mode, as the installer runtime does at
//                                 its end
//       slept:<n>                 wait until the launcher has called Sleep n times since the
//                                 library was loaded (at most two minutes; needs STANDIN_HURRY)
//       call:<class>.<method><signature>   call a static method (a bound native) with the
//                                 -Dstandin.arg values and record its result
//   -Dstandin.arg=<value>         repeatable: the arguments of call steps, by parameter type
//                                 (numbers, true/false, text for String, "a,b" for String[],
//                                 any text for the system class loader, null)
//   -Dstandin.absent=<class>[.<member>]   repeatable: the class, or every member of that name,
//                                 is not there (FindClass, Class.forName, lookups and
//                                 RegisterNatives fail as for a runtime without it); while the
//                                 machine runs, System.setProperty("standin.absent", target)
//                                 does the same and ("standin.present", target) undoes it
//   -Dstandin.create=fail[:<code>]  JNI_CreateJavaVM returns code (JNI_ERR) instead
//
// The benchmarks' probe: with the environment variable STANDIN_ENTRY naming a file, entering
// JNI_CreateJavaVM appends one line to it before anything else happens, "<entered> <process
// created> <private bytes> <working set> <peak working set>": both times in seconds since 1970
// by the system clock, the memory figures of the calling process in bytes.
//
// The launcher's waits cut short: with the environment variable STANDIN_HURRY set, loading the
// library redirects the executable's import of Sleep, whose calls then return within 1 ms and
// are counted (jvm_behaviour.h).
//
// Record lines (first field, then the others):
//   init <version hex> <ignoreUnrecognized 0|1> <option count>
//   option <index> <text>          every option string in order (ANSI code page, as UTF-8)
//   property option|setProperty <key> <value>
//   stack <bytes>                  the stack reservation of the creating thread
//   cwd <path>, path <PATH>        at creation
//   variable <name> <value>        each of the Java options variables (JAVA_TOOL_OPTIONS,
//                                  JDK_JAVA_OPTIONS, _JAVA_OPTIONS) set at creation, which a
//                                  real machine reads options from
//   created | createFailed <code>
//   findClass <name> found|absent, forName <name> found|absent
//   native <class> <method> <signature>        bound by RegisterNatives
//   registerFailed <class> <method> <signature>
//   field <class> <name> <value>   static fields set
//   call <class> <method> <signature> <argument>...   other modelled static methods called
//   main <class>, argument <index> <text>
//   step ..., result <value>|exception <text>|missing
//   outcome returned | threw <text> | exit <n>
//   described <text>               ExceptionDescribe
//   violation <text>               JNI misuse (see jni_functions.cpp)
//   destroyed
//
// One machine exists at a time; unlike a real runtime, a new one may be created after
// DestroyJavaVM, so that one test program can create many.
// This library defines the invocation functions jni.h declares as imports.
#define _JNI_IMPLEMENTATION_

#include <windows.h>

#include <jni.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "jvm_behaviour.h"
#include "jvm_state.h"

namespace stand_in::jvm {

namespace {

// The reservation of the calling thread's stack: from its limits where the system reports
// them, else the size of the reservation the stack lies in.
unsigned long long stackReservation() {
    using Limits = void(WINAPI*)(PULONG_PTR, PULONG_PTR);
    const auto getLimits = reinterpret_cast<Limits>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetCurrentThreadStackLimits")));
    if (getLimits != nullptr) {
        ULONG_PTR low = 0;
        ULONG_PTR high = 0;
        getLimits(&low, &high);
        return high - low;
    }
    MEMORY_BASIC_INFORMATION region = {};
    VirtualQuery(&region, &region, sizeof region);
    const void* base = region.AllocationBase;
    unsigned long long size = 0;
    for (auto* at = static_cast<const char*>(base); VirtualQuery(at, &region, sizeof region) != 0 &&
                                                    region.AllocationBase == base;
         at += region.RegionSize) {
        size += region.RegionSize;
    }
    return size;
}

std::string environmentUtf8(const wchar_t* name) {
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) return {};
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(name, value.data(), size));
    return toUtf8(std::u16string(value.begin(), value.end()));
}

std::string currentDirectoryUtf8() {
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    std::wstring value(size, L'\0');
    value.resize(GetCurrentDirectoryW(size, value.data()));
    return toUtf8(std::u16string(value.begin(), value.end()));
}

std::wstring ansiToWide(const std::string& text) {
    const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

void applyAbsence(Vm& vm, const std::string& target) {
    if (!vm.setAbsent(target, true)) vm.violation("-Dstandin.absent names nothing the stand-in knows: " + target);
}

// System properties from -D options and the stand-in's own settings.
void applyOption(Vm& vm, const std::string& option) {
    if (!startsWith(option, "-D")) return;
    const size_t equals = option.find('=');
    const std::string key = option.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
    const std::string value = equals == std::string::npos ? "" : option.substr(equals + 1);
    vm.properties[key] = value;
    vm.record({"property", "option", ansiToUtf8(key), ansiToUtf8(value)});
    TestSettings& settings = vm.settings;
    if (key == "standin.record") {
        settings.recordPath = ansiToWide(value);
    } else if (key == "standin.scenario") {
        settings.steps.push_back(value);
    } else if (key == "standin.arg") {
        settings.callArguments.push_back(value);
    } else if (key == "standin.absent") {
        applyAbsence(vm, value);
    } else if (key == "standin.create") {
        settings.failCreation = startsWith(value, "fail");
        if (value.size() > 5) settings.creationResult = static_cast<jint>(std::strtol(value.c_str() + 5, nullptr, 10));
    }
}

// The record file is named among the options, so the options are looked at once for it first.
void openRecordFromOptions(Vm& vm, const JavaVMInitArgs& args) {
    for (jint i = 0; i < args.nOptions; ++i) {
        const char* text = args.options[i].optionString;
        if (text != nullptr && startsWith(text, "-Dstandin.record=")) {
            vm.openRecord(ansiToWide(text + std::string("-Dstandin.record=").size()));
        }
    }
}

jint JNICALL destroyJavaVM(JavaVM*) {
    Vm* vm = currentVm();
    if (vm == nullptr) return JNI_ERR;
    {
        std::lock_guard<std::recursive_mutex> guard(vm->lock);
        if (vm->current() == nullptr) vm->violation("DestroyJavaVM on a thread that is not attached");
        for (const auto& [address, pin] : vm->pins) {
            vm->violation(pin.function + " buffer of a " + pin.object->type->dottedName() + " never released");
        }
        vm->record({"destroyed"});
    }
    setCurrentVm(nullptr);
    delete vm;
    return JNI_OK;
}

jint attach(JavaVM*, void** penv, const char* function) {
    Vm* vm = currentVm();
    if (vm == nullptr || penv == nullptr) return JNI_ERR;
    std::lock_guard<std::recursive_mutex> guard(vm->lock);
    *penv = &vm->attach()->env;
    vm->record({"attached", function});
    return JNI_OK;
}

jint JNICALL attachCurrentThread(JavaVM* javaVm, void** penv, void*) {
    return attach(javaVm, penv, "AttachCurrentThread");
}

jint JNICALL attachCurrentThreadAsDaemon(JavaVM* javaVm, void** penv, void*) {
    return attach(javaVm, penv, "AttachCurrentThreadAsDaemon");
}

jint JNICALL detachCurrentThread(JavaVM*) {
    Vm* vm = currentVm();
    if (vm == nullptr) return JNI_ERR;
    std::lock_guard<std::recursive_mutex> guard(vm->lock);
    if (vm->current() == nullptr) return JNI_EDETACHED;
    vm->detach(GetCurrentThreadId());
    return JNI_OK;
}

jint JNICALL getEnv(JavaVM*, void** penv, jint version) {
    Vm* vm = currentVm();
    if (vm == nullptr || penv == nullptr) return JNI_ERR;
    std::lock_guard<std::recursive_mutex> guard(vm->lock);
    *penv = nullptr;
    if (version < JNI_VERSION_1_1 || version > 0x00150000) return JNI_EVERSION;
    ThreadState* thread = vm->current();
    if (thread == nullptr) return JNI_EDETACHED;
    *penv = &thread->env;
    return JNI_OK;
}

const JNIInvokeInterface_ kInvokeInterface = {
    nullptr, nullptr, nullptr, destroyJavaVM, attachCurrentThread, detachCurrentThread, getEnv,
    attachCurrentThreadAsDaemon,
};

bool supportedVersion(jint version) {
    return version == JNI_VERSION_1_2 || version == JNI_VERSION_1_4 || version == JNI_VERSION_1_6 ||
           version == JNI_VERSION_1_8 || version == 0x00090000 || version == 0x000a0000;
}

double unixSeconds(const FILETIME& time) {
    const unsigned long long ticks = (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return static_cast<double>(ticks - 116444736000000000ULL) / 1e7;
}

void recordEntry() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"STANDIN_ENTRY", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    FILETIME entered;
    GetSystemTimeAsFileTime(&entered);
    FILETIME created = {}, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
    // Wine leaves PrivateUsage at 0 and reports the private (anonymous) memory as the page-file
    // usage, which Windows keeps equal to it.
    const SIZE_T privateBytes = std::max(memory.PrivateUsage, memory.PagefileUsage);
    char line[200];
    const int size = std::snprintf(line, sizeof line, "%.6f %.6f %llu %llu %llu\r\n", unixSeconds(entered), unixSeconds(created),
                                   static_cast<unsigned long long>(privateBytes),
                                   static_cast<unsigned long long>(memory.WorkingSetSize),
                                   static_cast<unsigned long long>(memory.PeakWorkingSetSize));
    const HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(size), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

JavaVM theJavaVm = {&kInvokeInterface};

jint createJavaVm(JavaVM** pvm, void** penv, void* initArgs) {
    if (pvm == nullptr || penv == nullptr || initArgs == nullptr) return JNI_EINVAL;
    if (currentVm() != nullptr) return JNI_EEXIST;
    const auto& args = *static_cast<const JavaVMInitArgs*>(initArgs);
    auto vm = std::make_unique<Vm>();
    std::lock_guard<std::recursive_mutex> guard(vm->lock);
    openRecordFromOptions(*vm, args);
    char version[16];
    wsprintfA(version, "0x%08lx", static_cast<unsigned long>(args.version));
    vm->record({"init", version, args.ignoreUnrecognized ? "1" : "0", std::to_string(args.nOptions)});
    if (!supportedVersion(args.version) || args.nOptions < 0 || (args.options == nullptr && args.nOptions > 0)) {
        vm->record({"createFailed", std::to_string(JNI_EVERSION)});
        return JNI_EVERSION;
    }
    for (jint i = 0; i < args.nOptions; ++i) {
        const char* text = args.options[i].optionString;
        if (text == nullptr) {
            vm->violation("option " + std::to_string(i) + " has no text");
            continue;
        }
        vm->record({"option", std::to_string(i), ansiToUtf8(text)});
        if (args.options[i].extraInfo != nullptr) vm->record({"extraInfo", std::to_string(i)});
        applyOption(*vm, text);
    }
    vm->record({"stack", std::to_string(stackReservation())});
    vm->record({"cwd", currentDirectoryUtf8()});
    vm->record({"path", environmentUtf8(L"PATH")});
    for (const auto& [wide, narrow] : {std::pair{L"JAVA_TOOL_OPTIONS", "JAVA_TOOL_OPTIONS"},
                                       {L"JDK_JAVA_OPTIONS", "JDK_JAVA_OPTIONS"}, {L"_JAVA_OPTIONS", "_JAVA_OPTIONS"}}) {
        if (GetEnvironmentVariableW(wide, nullptr, 0) != 0) vm->record({"variable", narrow, environmentUtf8(wide)});
    }
    if (vm->settings.failCreation) {
        vm->record({"createFailed", std::to_string(vm->settings.creationResult)});
        return vm->settings.creationResult;
    }
    ThreadState* thread = vm->attach();
    vm->record({"created"});
    *penv = &thread->env;
    *pvm = &theJavaVm;
    setCurrentVm(vm.release());
    return JNI_OK;
}

}  // namespace stand_in::jvm

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH && GetEnvironmentVariableW(L"STANDIN_HURRY", nullptr, 0) != 0)
        stand_in::jvm::hurryLauncher();
    return TRUE;
}

JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM** pvm, void** penv, void* args) {
    stand_in::jvm::recordEntry();
    return stand_in::jvm::createJavaVm(pvm, penv, args);
}

JNIEXPORT jint JNICALL JNI_GetDefaultJavaVMInitArgs(void* args) {
    if (args == nullptr) return JNI_ERR;
    auto* initArgs = static_cast<JavaVMInitArgs*>(args);
    if (initArgs->version != JNI_VERSION_1_1 && initArgs->version < JNI_VERSION_1_2) return JNI_EVERSION;
    return JNI_OK;
}

JNIEXPORT jint JNICALL JNI_GetCreatedJavaVMs(JavaVM** vms, jsize size, jsize* count) {
    const bool exists = stand_in::jvm::currentVm() != nullptr;
    if (count != nullptr) *count = exists ? 1 : 0;
    if (exists && vms != nullptr && size > 0) vms[0] = &stand_in::jvm::theJavaVm;
    return JNI_OK;
}

}  // extern "C"
