// natives_peer.exe started by a test, ended when the test lets go of it; and the lines natives
// write to standard output and standard error, caught while a DiagnosticsCapture lives.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "natives/diagnostics.h"

namespace natives_test {

inline std::wstring testProgramDirectory() {
    std::wstring path(MAX_PATH, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path.substr(0, path.find_last_of(L'\\') + 1);
}

inline std::wstring peerPath() { return testProgramDirectory() + L"natives_peer.exe"; }

class Peer {
public:
    explicit Peer(const std::wstring& arguments) {
        std::wstring commandLine = L"\"" + peerPath() + L"\" " + arguments;
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION started = {};
        if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
            CloseHandle(started.hThread);
            process_ = started.hProcess;
            id_ = started.dwProcessId;
            WaitForInputIdle(process_, 10000);
        }
    }
    ~Peer() {
        if (!process_) return;
        if (running()) TerminateProcess(process_, 9);
        WaitForSingleObject(process_, 10000);
        CloseHandle(process_);
    }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    bool started() const { return process_ != nullptr; }
    DWORD id() const { return id_; }
    HANDLE handle() const { return process_; }
    bool running() const { return WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }
    // True when the process ended within the time.
    bool endsWithin(DWORD milliseconds) const { return WaitForSingleObject(process_, milliseconds) == WAIT_OBJECT_0; }
    DWORD exitCode() const {
        DWORD code = 0;
        GetExitCodeProcess(process_, &code);
        return code;
    }

private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
};

class DiagnosticsCapture {
public:
    DiagnosticsCapture() {
        output().clear();
        error().clear();
        previous_ = natives::setDiagnosticWriter(capture);
    }
    ~DiagnosticsCapture() { natives::setDiagnosticWriter(previous_); }
    DiagnosticsCapture(const DiagnosticsCapture&) = delete;
    DiagnosticsCapture& operator=(const DiagnosticsCapture&) = delete;

    static std::string& output() {
        static std::string text;
        return text;
    }
    static std::string& error() {
        static std::string text;
        return text;
    }

private:
    static void capture(natives::Stream stream, std::string_view text) {
        (stream == natives::Stream::Output ? output() : error()).append(text);
    }
    natives::DiagnosticWriter previous_ = nullptr;
};

}  // namespace natives_test
