#include "dialog_peer_process.h"

#include <sstream>

#include "quoted_argument.h"

namespace natives_test {

namespace {

using test_support::quotedArgument;

std::wstring besideThisProgram(const wchar_t* name) {
    std::wstring path(MAX_PATH, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
    return path.substr(0, path.rfind(L'\\') + 1) + name;
}

std::wstring fromUtf8(const std::string& text) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(size > 0 ? size : 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

}  // namespace

DialogPeer::DialogPeer(const std::wstring& command, const std::wstring& first, const std::vector<std::wstring>& actions) {
    wchar_t folder[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, folder);
    static int count = 0;
    report_ = std::wstring(folder) + L"dialog-peer-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
              std::to_wstring(++count) + L".txt";
    DeleteFileW(report_.c_str());
    std::wstring commandLine = quotedArgument(besideThisProgram(L"dialog_peer.exe")) + L" " + command + L" " +
                               quotedArgument(first) + L" " + quotedArgument(report_);
    for (const std::wstring& action : actions) commandLine += L" " + quotedArgument(action);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        CloseHandle(process.hThread);
        process_ = process.hProcess;
    }
}

DialogPeer::~DialogPeer() {
    if (process_) {
        if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) TerminateProcess(process_, 99);
        CloseHandle(process_);
    }
    DeleteFileW(report_.c_str());
}

std::vector<std::wstring> DialogPeer::finish(DWORD milliseconds) {
    if (!process_) return {L"error|the peer did not start"};
    if (WaitForSingleObject(process_, milliseconds) == WAIT_TIMEOUT) TerminateProcess(process_, 98);
    GetExitCodeProcess(process_, &exitCode_);
    std::string bytes;
    const HANDLE file = CreateFileW(report_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        char buffer[4096];
        DWORD read = 0;
        while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
        CloseHandle(file);
    }
    std::vector<std::wstring> lines;
    std::istringstream text(bytes);
    for (std::string line; std::getline(text, line);) lines.push_back(fromUtf8(line));
    return lines;
}

std::wstring ScratchFolder::create(const std::wstring& name) const {
    const std::wstring path = file(name);
    const HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(handle, "text", 4, &written, nullptr);
    CloseHandle(handle);
    return path;
}

std::vector<std::wstring> linesStartingWith(const std::vector<std::wstring>& lines, const std::wstring& prefix) {
    std::vector<std::wstring> found;
    for (const std::wstring& line : lines)
        if (line.rfind(prefix, 0) == 0) found.push_back(line);
    return found;
}

}  // namespace natives_test
