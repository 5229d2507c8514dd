#include "harness/java_machine.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "jvm_record.h"
#include "natives/registration.h"
#include "natives/report_text.h"
#include "stand_in_runtimes.h"

namespace natives_test {

namespace {

using CreateJavaVm = jint(JNICALL*)(JavaVM**, void**, void*);

[[noreturn]] void giveUp(const std::string& reason) {
    std::fprintf(stderr, "natives test harness: %s\n", reason.c_str());
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    std::abort();
}

void reportToTestOutput(const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const std::wstring text = natives::formatReport(format, arguments);
    va_end(arguments);
    std::fwprintf(stderr, L"registration: %ls\n", text.c_str());
}

// The record file lies in the temporary folder under the process id: ctest runs the cases of
// one program as processes side by side.
std::wstring recordPath() {
    wchar_t folder[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, folder);
    return std::wstring(folder) + L"natives-tests-" + std::to_wstring(GetCurrentProcessId()) + L".record.txt";
}

std::string narrow(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                         nullptr);
    std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

struct Machine {
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;

    ~Machine() = default;
    void destroy() {
        if (vm == nullptr) return;
        vm->DestroyJavaVM();
        vm = nullptr;
        DeleteFileW(recordPath().c_str());
    }

    Machine() {
        const HMODULE library = LoadLibraryW(stand_in::standInJvmDll().c_str());
        if (library == nullptr) giveUp("cannot load the stand-in jvm.dll");
        const auto create = reinterpret_cast<CreateJavaVm>(
            reinterpret_cast<void*>(GetProcAddress(library, "JNI_CreateJavaVM")));
        if (create == nullptr) giveUp("the stand-in jvm.dll has no JNI_CreateJavaVM");
        DeleteFileW(recordPath().c_str());
        std::string record = "-Dstandin.record=" + narrow(recordPath());
        JavaVMOption option = {record.data(), nullptr};
        JavaVMInitArgs args = {};
        args.version = JNI_VERSION_1_8;
        args.nOptions = 1;
        args.options = &option;
        args.ignoreUnrecognized = JNI_TRUE;
        if (create(&vm, reinterpret_cast<void**>(&env), &args) != JNI_OK) giveUp("JNI_CreateJavaVM failed");
        // Bound from this program's own export table, by the entry the launcher calls.
        if (registerNativesEx(env, GetModuleHandleW(nullptr), 1, reportToTestOutput) != 1) {
            giveUp("registerNativesEx failed (see the report above)");
        }
    }
};

Machine* created = nullptr;

Machine& machine() {
    static Machine instance;
    created = &instance;
    return instance;
}

// The machine ends with the program's tests, and its record file with it.
class MachineEnd : public testing::Environment {
public:
    void TearDown() override {
        if (created != nullptr) created->destroy();
    }
};
[[maybe_unused]] testing::Environment* const kMachineEnd = testing::AddGlobalTestEnvironment(new MachineEnd);

void setStandInProperty(const char* key, const std::string& value) {
    JNIEnv* e = env();
    const jclass system = e->FindClass("java/lang/System");
    const jmethodID setProperty =
        e->GetStaticMethodID(system, "setProperty", "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;");
    const jstring name = e->NewStringUTF(key);
    const jstring text = e->NewStringUTF(value.c_str());
    const jobject previous = e->CallStaticObjectMethod(system, setProperty, name, text);
    if (previous != nullptr) e->DeleteLocalRef(previous);
    e->DeleteLocalRef(text);
    e->DeleteLocalRef(name);
    e->DeleteLocalRef(system);
}

}  // namespace

JNIEnv* env() {
    Machine& created = machine();
    JNIEnv* own = nullptr;
    if (created.vm->GetEnv(reinterpret_cast<void**>(&own), JNI_VERSION_1_8) == JNI_OK) return own;
    return created.env;  // not attached: the stand-in reports the misuse
}

AttachedThread::AttachedThread() {
    JNIEnv* own = nullptr;
    if (machine().vm->AttachCurrentThread(reinterpret_cast<void**>(&own), nullptr) != JNI_OK) {
        giveUp("AttachCurrentThread failed");
    }
}

AttachedThread::~AttachedThread() { machine().vm->DetachCurrentThread(); }

std::vector<std::string> violations() {
    machine();
    return stand_in::JvmRecord::read(recordPath()).violations();
}

HiddenClass::HiddenClass(std::string target) : target_(std::move(target)) {
    setStandInProperty("standin.absent", target_);
}

HiddenClass::~HiddenClass() { setStandInProperty("standin.present", target_); }

}  // namespace natives_test
