// What runs in the virtual machine's thread once it exists: the launcher's settings handed to
// the Java side (splash texts, natives, clean-up executable, single-instance value name,
// module name), the call of the entry class's main with the launcher parameters, and the
// virtual machine's end. Portable JNI code; the system is reached through MainCallServices.
#pragma once

#include <jni.h>

#include <optional>
#include <string>
#include <vector>

namespace launch {

// The registration entries' error reporter: a wide printf-style format and its arguments.
using ReportFunction = void (*)(const wchar_t* format, ...);
using RegisterNativesExFunction = unsigned char (*)(JNIEnv* env, void* module, unsigned char required,
                                                    ReportFunction report);

class MainCallServices {
public:
    virtual ~MainCallServices() = default;
    // The module whose exports hold the natives (the launcher itself); null when unknown.
    virtual void* nativesModule() = 0;
    virtual RegisterNativesExFunction findRegisterNativesEx(void* module) = 0;
    virtual ReportFunction errorReporter() = 0;
    // The module file name as the system reports it (the clean-up child's executable); none
    // when it cannot be had.
    virtual std::optional<std::wstring> winDelExecutable() = 0;
    // The executable's narrow path, canonical and lower-cased.
    virtual std::string canonicalExecutablePath() = 0;
    virtual std::wstring executableLongPath() = 0;
    virtual void expandUnicode(std::wstring& text) = 0;
    // A full path that keeps its letter case, relative names against the executable's folder.
    virtual std::wstring canonicalKeepCase(const std::wstring& path) = 0;
    [[noreturn]] virtual void fail(int message) = 0;
};

struct LaunchRecord {
    std::vector<std::wstring> arguments;  // the program arguments, element 0 the launcher as typed
    bool destroyAfterMain = true;
};

// The entry class of the launcher kind (config id 2001).
std::string entryClassName();

// The argument array of main: the five launcher parameters, argument 0, the configured
// arguments (config id 124), the remaining program arguments without "-J" ones (config id 125)
// and without "-Dsun.locale.formatasdefault=" ones.
std::vector<std::wstring> mainArguments(const std::vector<std::wstring>& arguments, MainCallServices& services);

// Everything after creation; true when main returned without an exception.
bool runAfterCreation(JavaVM* vm, JNIEnv* env, const LaunchRecord& record, MainCallServices& services);

}  // namespace launch
