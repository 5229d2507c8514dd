// Running `java.exe -version` to learn a runtime's version.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "base/win/handles.h"

namespace jre {

// How long a child may take to end after its error output has ended, and how long it may stay
// silent while its output is still open.
constexpr DWORD kJavaExitTimeout = 60000;

// One run of the executable (its short path) with -version: hidden window, standard error into
// a pipe, without "_JAVA_OPTIONS", "JAVA_TOOL_OPTIONS" and "JDK_JAVA_OPTIONS". The child gets
// the environment (less those) and the current directory of the moment the run was made,
// whatever the caller changes later. finish() runs it, or waits for it when startOnThread()
// began it, logs what it saw and gives the answer: a child still running at the time-out is
// ended, and a non-zero exit code records version "1.0.0" in the version cache, which the next
// check ignores.
class JavaVersionRun {
public:
    JavaVersionRun(const std::string& path, const FILETIME& lastWriteTime, DWORD exitTimeout = kJavaExitTimeout);
    ~JavaVersionRun();
    JavaVersionRun(const JavaVersionRun&) = delete;
    JavaVersionRun& operator=(const JavaVersionRun&) = delete;

    // Starts the child and reads its output on a thread of its own: under Wine the start alone
    // keeps the starting thread tens of milliseconds, which the caller may spend on work that
    // does not need the answer. Until finish() the caller starts no other child (one would
    // inherit the pipe and hold it open).
    void startOnThread();
    // The version the child printed; false when it could not be run, failed or gave none. Once.
    bool finish(std::string& version);

private:
    enum class PipeStep { None, Create, Protect };

    static DWORD WINAPI runThread(void* self);
    // Starts the child and reads its output until it ends: the part a thread may take.
    void run();

    std::string path_;
    FILETIME lastWriteTime_;
    DWORD exitTimeout_;
    std::vector<wchar_t> environment_;  // the child's block, variables without the options
    std::wstring currentDirectory_;
    base::win::KernelHandle thread_;
    bool ran_ = false;  // run() was called or handed to the thread
    // Written by the run, read after it has ended.
    bool shortPathMissing_ = false;
    std::string commandLine_;
    PipeStep failedStep_ = PipeStep::None;
    DWORD stepError_ = 0;
    bool started_ = false;
    DWORD startError_ = 0;
    base::win::KernelHandle process_;
    std::string output_;
};

// A run begun and finished at once.
bool readJavaVersion(const std::string& path, const FILETIME& lastWriteTime, std::string& version,
                     DWORD exitTimeout = kJavaExitTimeout);

}  // namespace jre
