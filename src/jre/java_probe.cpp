#include "jre/java_probe.h"

#include <algorithm>
#include <optional>
#include <utility>
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

// The options variables would reach the child and change what it prints. They are taken out
// for its run and put back however the run ends: the virtual machine that the launcher loads
// later into its own process reads them.
class JavaOptionsRemoval {
public:
    JavaOptionsRemoval() {
        for (const wchar_t* name : {L"_JAVA_OPTIONS", L"JAVA_TOOL_OPTIONS", L"JDK_JAVA_OPTIONS"}) {
            const std::string narrowName = base::wideToNarrow(name);
            std::wstring value;
            switch (readVariable(name, value)) {
            case Lookup::Unset:
                break;
            case Lookup::Unreadable:
                // What cannot be read cannot be restored, so it stays.
                services::logMessage(L"error reading %S", narrowName);
                break;
            case Lookup::Value:
                services::logMessage(L"%S is %S", narrowName, base::wideToNarrow(value));
                SetEnvironmentVariableW(name, nullptr);
                saved_.emplace_back(name, std::move(value));
                break;
            }
        }
    }
    ~JavaOptionsRemoval() { restore(); }
    JavaOptionsRemoval(const JavaOptionsRemoval&) = delete;
    JavaOptionsRemoval& operator=(const JavaOptionsRemoval&) = delete;

    void restore() {
        for (const auto& [name, value] : saved_) SetEnvironmentVariableW(name, value.c_str());
        saved_.clear();
    }

private:
    std::vector<std::pair<const wchar_t*, std::wstring>> saved_;
};

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

bool readJavaVersion(const std::string& path, const FILETIME& lastWriteTime, std::string& version,
                     DWORD exitTimeout) {
    const std::wstring widePath = base::narrowToWide(path);
    const std::wstring wideShortPath = files::shortPathName(widePath);
    std::string shortPath = base::wideToNarrow(wideShortPath);
    if (wideShortPath.empty()) {
        services::logMessage(L"Could not get short path name for %S", path);
        shortPath = path;
    }
    const std::string commandLine = "\"" + shortPath + "\" -version";
    const std::wstring applicationName = applicationNameOf(widePath, wideShortPath);

    JavaOptionsRemoval optionsRemoval;

    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
        services::logMessage(L"CreatePipe error (%d)", static_cast<int>(GetLastError()));
        return false;
    }
    KernelHandle pipeRead(readEnd);
    KernelHandle pipeWrite(writeEnd);
    if (!SetHandleInformation(pipeRead.get(), HANDLE_FLAG_INHERIT, 0)) {
        services::logMessage(L"SetHandleInformation error (%d)", static_cast<int>(GetLastError()));
        return false;
    }

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_HIDE;
    startup.hStdError = pipeWrite.get();
    PROCESS_INFORMATION child = {};
    std::wstring mutableCommandLine = base::narrowToWide(commandLine);
    // Without any console: its one output goes to the pipe, and a console, even a hidden one,
    // costs the start of a console host process beside the runtime's.
    const wchar_t* program = applicationName.empty() ? nullptr : applicationName.c_str();
    const bool started = CreateProcessW(program, mutableCommandLine.data(), nullptr, nullptr, TRUE,
                                        NORMAL_PRIORITY_CLASS | DETACHED_PROCESS, nullptr, nullptr, &startup, &child) != FALSE;
    const DWORD startError = GetLastError();
    // Only the child may hold the write end, or the pipe never reports the end of its output.
    pipeWrite.reset();
    KernelHandle process(started ? child.hProcess : nullptr);
    KernelHandle thread(started ? child.hThread : nullptr);

    std::string output;
    if (started) {
        const ULONGLONG exitDeadline = readOutput(pipeRead.get(), process.get(), exitTimeout, output);
        const ULONGLONG current = now();
        WaitForSingleObject(process.get(), exitDeadline > current ? static_cast<DWORD>(exitDeadline - current) : 0);
    }
    optionsRemoval.restore();

    if (!started) {
        services::logMessage(L"Could not create process %S (error %d)", commandLine, static_cast<int>(startError));
        return false;
    }

    DWORD exitCode = 0;
    GetExitCodeProcess(process.get(), &exitCode);
    services::logMessage(L"Exit Code %d", static_cast<int>(exitCode));
    if (exitCode == kStillActive) {
        services::logMessage(L"Terminating process");
        TerminateProcess(process.get(), 1);
        // Ended before its files are touched again (a test removing the runtime, a retry).
        WaitForSingleObject(process.get(), 5000);
        return false;
    }
    if (exitCode != 0) {
        writeVersionCache(path, lastWriteTime, "1.0.0", kMachineX86);
        return false;
    }
    return parseJavaVersionOutput(output, version);
}

}  // namespace jre
