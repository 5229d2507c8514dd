#include "jre/java_probe.h"

#include <algorithm>
#include <cwchar>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "base/win/handles.h"
#include "files/path_operations.h"
#include "jre/java_output.h"
#include "jre/pe_machine.h"
#include "jre/version_cache.h"
#include "services/log.h"

namespace jre {

namespace {

using base::win::KernelHandle;
using services::logMessage;

constexpr DWORD kStillActive = 259;
constexpr DWORD kReadPiece = 512;
// A child that writes without end would otherwise keep the launcher reading for ever.
constexpr size_t kMaxOutput = size_t{1} << 20;
constexpr DWORD kPollInterval = 10;

enum class Lookup { Unset, Value, Unreadable };

Lookup readVariable(const wchar_t* name, std::wstring& value) {
    std::wstring buffer(256, L'\0');
    for (int attempt = 0; attempt < 8; ++attempt) {
        SetLastError(ERROR_SUCCESS);
        const DWORD length = GetEnvironmentVariableW(name, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return Lookup::Unset;
            value.clear();
            return GetLastError() == ERROR_SUCCESS ? Lookup::Value : Lookup::Unreadable;
        }
        if (length < buffer.size()) {
            value.assign(buffer.data(), length);
            return Lookup::Value;
        }
        // The variable may have grown between the calls; try again with what it needs now.
        buffer.resize(length);
    }
    return Lookup::Unreadable;
}

// The process's environment block without the variables `hidden` (compared as the system
// compares names, ignoring case); empty when the block cannot be read.
std::vector<wchar_t> environmentWithout(const std::vector<const wchar_t*>& hidden) {
    std::vector<wchar_t> block;
    wchar_t* const strings = GetEnvironmentStringsW();
    if (!strings) return block;
    for (const wchar_t* entry = strings; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
        const std::wstring_view text(entry);
        // Past the first character: the current directories of drives are kept as "=C:=C:\...".
        const std::wstring_view name = text.substr(0, text.find(L'=', 1));
        const bool dropped = std::any_of(hidden.begin(), hidden.end(), [&](const wchar_t* candidate) {
            return CompareStringOrdinal(name.data(), static_cast<int>(name.size()), candidate, -1, TRUE) == CSTR_EQUAL;
        });
        if (!dropped) {
            block.insert(block.end(), text.begin(), text.end());
            block.push_back(L'\0');
        }
    }
    FreeEnvironmentStringsW(strings);
    if (block.empty()) block.push_back(L'\0');
    block.push_back(L'\0');
    return block;
}

// The name the system is given for a program whose long path does not fit in MAX_PATH; empty
// for every other program, which is named by the command line alone. Asked to start a program
// by its 8.3 name, the system expands it to the long path in a MAX_PATH buffer of its own
// (Wine does, and then starts nothing or, reading a buffer it never filled, something else):
// the extended-length form of the short path is taken as it stands, by Windows and by Wine.
std::wstring applicationNameOf(const std::wstring& path, const std::wstring& shortPath) {
    std::wstring longPath = files::longPathName(path);
    if (longPath.empty()) longPath = path;
    if (longPath.size() < MAX_PATH) return std::wstring();
    return files::extendedLengthPath(shortPath.empty() ? longPath : shortPath, true);
}

ULONGLONG now() { return GetTickCount64(); }

// Reads the child's error output until it ends, until the child has exited and nothing is left
// to read (a grandchild may hold the pipe open), or until the child stays silent for `timeout`.
// Returns the moment from which the child's exit is awaited.
ULONGLONG readOutput(HANDLE pipe, HANDLE process, DWORD timeout, std::string& output) {
    ULONGLONG deadline = now() + timeout;
    bool exited = false;
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return now() + timeout;
        if (available > 0) {
            char piece[kReadPiece];
            DWORD got = 0;
            if (!ReadFile(pipe, piece, std::min(available, kReadPiece), &got, nullptr) || got == 0) {
                return now() + timeout;
            }
            output.append(piece, got);
            if (output.size() >= kMaxOutput) return now() + timeout;
            deadline = now() + timeout;
            continue;
        }
        if (exited || now() >= deadline) return deadline;
        exited = WaitForSingleObject(process, kPollInterval) == WAIT_OBJECT_0;
    }
}

}  // namespace

JavaVersionRun::JavaVersionRun(const std::string& path, const FILETIME& lastWriteTime, DWORD exitTimeout)
    : path_(path), lastWriteTime_(lastWriteTime), exitTimeout_(exitTimeout) {
    // The options variables would reach the child and change what it prints; the virtual
    // machine that the launcher loads later into its own process reads them, so they stay in
    // the launcher's environment and are left out of the child's.
    std::vector<const wchar_t*> hidden;
    for (const wchar_t* name : {L"_JAVA_OPTIONS", L"JAVA_TOOL_OPTIONS", L"JDK_JAVA_OPTIONS"}) {
        const std::string narrowName = base::wideToNarrow(name);
        std::wstring value;
        switch (readVariable(name, value)) {
        case Lookup::Unset:
            break;
        case Lookup::Unreadable:
            // What cannot be read reaches the child, as it always did.
            services::logMessage(L"error reading %S", narrowName);
            break;
        case Lookup::Value:
            services::logMessage(L"%S is %S", narrowName, base::wideToNarrow(value));
            hidden.push_back(name);
            break;
        }
    }
    environment_ = environmentWithout(hidden);
    currentDirectory_ = files::currentDirectory();
}

JavaVersionRun::~JavaVersionRun() {
    if (thread_) WaitForSingleObject(thread_.get(), INFINITE);
}

void JavaVersionRun::startOnThread() {
    if (ran_) return;
    thread_.reset(CreateThread(nullptr, 64 * 1024, runThread, this, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    // Without a thread the run waits for finish().
    ran_ = thread_.valid();
}

DWORD WINAPI JavaVersionRun::runThread(void* self) {
    static_cast<JavaVersionRun*>(self)->run();
    return 0;
}

void JavaVersionRun::run() {
    // The short name takes a look into each folder of the path: milliseconds under Wine.
    const std::wstring widePath = base::narrowToWide(path_);
    const std::wstring wideShortPath = files::shortPathName(widePath);
    shortPathMissing_ = wideShortPath.empty();
    const std::string shortPath = shortPathMissing_ ? path_ : base::wideToNarrow(wideShortPath);
    commandLine_ = "\"" + shortPath + "\" -version";
    const std::wstring applicationName = applicationNameOf(widePath, wideShortPath);

    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
        failedStep_ = PipeStep::Create;
        stepError_ = GetLastError();
        return;
    }
    KernelHandle pipeRead(readEnd);
    KernelHandle pipeWrite(writeEnd);
    if (!SetHandleInformation(pipeRead.get(), HANDLE_FLAG_INHERIT, 0)) {
        failedStep_ = PipeStep::Protect;
        stepError_ = GetLastError();
        return;
    }

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_HIDE;
    startup.hStdError = pipeWrite.get();
    PROCESS_INFORMATION child = {};
    std::wstring mutableCommandLine = base::narrowToWide(commandLine_);
    // Without any console: its one output goes to the pipe, and a console, even a hidden one,
    // costs the start of a console host process beside the runtime's.
    const wchar_t* program = applicationName.empty() ? nullptr : applicationName.c_str();
    const DWORD flags = NORMAL_PRIORITY_CLASS | DETACHED_PROCESS | CREATE_UNICODE_ENVIRONMENT;
    started_ = CreateProcessW(program, mutableCommandLine.data(), nullptr, nullptr, TRUE, flags,
                              environment_.empty() ? nullptr : environment_.data(),
                              currentDirectory_.empty() ? nullptr : currentDirectory_.c_str(), &startup, &child) != FALSE;
    startError_ = GetLastError();
    // Only the child may hold the write end, or the pipe never reports the end of its output.
    pipeWrite.reset();
    if (!started_) return;
    process_.reset(child.hProcess);
    const KernelHandle thread(child.hThread);
    const ULONGLONG exitDeadline = readOutput(pipeRead.get(), process_.get(), exitTimeout_, output_);
    const ULONGLONG current = now();
    WaitForSingleObject(process_.get(), exitDeadline > current ? static_cast<DWORD>(exitDeadline - current) : 0);
}

bool JavaVersionRun::finish(std::string& version) {
    if (thread_) {
        WaitForSingleObject(thread_.get(), INFINITE);
        thread_.reset();
    } else if (!ran_) {
        ran_ = true;
        run();
    }
    if (shortPathMissing_) services::logMessage(L"Could not get short path name for %S", path_);
    switch (failedStep_) {
    case PipeStep::Create:
        services::logMessage(L"CreatePipe error (%d)", static_cast<int>(stepError_));
        return false;
    case PipeStep::Protect:
        services::logMessage(L"SetHandleInformation error (%d)", static_cast<int>(stepError_));
        return false;
    case PipeStep::None:
        break;
    }
    if (!started_) {
        services::logMessage(L"Could not create process %S (error %d)", commandLine_, static_cast<int>(startError_));
        return false;
    }

    DWORD exitCode = 0;
    GetExitCodeProcess(process_.get(), &exitCode);
    services::logMessage(L"Exit Code %d", static_cast<int>(exitCode));
    if (exitCode == kStillActive) {
        services::logMessage(L"Terminating process");
        TerminateProcess(process_.get(), 1);
        // Ended before its files are touched again (a test removing the runtime, a retry).
        WaitForSingleObject(process_.get(), 5000);
        return false;
    }
    if (exitCode != 0) {
        writeVersionCache(path_, lastWriteTime_, "1.0.0", kMachineX86);
        return false;
    }
    return parseJavaVersionOutput(output_, version);
}

bool readJavaVersion(const std::string& path, const FILETIME& lastWriteTime, std::string& version,
                     DWORD exitTimeout) {
    JavaVersionRun run(path, lastWriteTime, exitTimeout);
    return run.finish(version);
}

}  // namespace jre
