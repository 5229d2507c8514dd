#include "harness.h"

#include <shlobj.h>
#include <winternl.h>

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>

#include "base/text.h"
#include "quoted_argument.h"
#include "stand_in_runtimes.h"

namespace e2e {

namespace {

std::wstring lastErrorText(const wchar_t* what) {
    return std::wstring(what) + L" failed: " + std::to_wstring(GetLastError());
}

// Environment block of this process with the given changes; names compare case-insensitively
// as Windows does.
std::wstring environmentBlock(const std::map<std::wstring, std::optional<std::wstring>>& changes) {
    std::map<std::wstring, std::pair<std::wstring, std::wstring>> variables;  // upper name -> (name, value)
    auto upper = [](std::wstring text) {
        CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
        return text;
    };
    if (wchar_t* block = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = block; *entry; entry += wcslen(entry) + 1) {
            const std::wstring text(entry);
            const size_t equals = text.find(L'=', 1);
            if (equals == std::wstring::npos) continue;
            variables[upper(text.substr(0, equals))] = {text.substr(0, equals), text.substr(equals + 1)};
        }
        FreeEnvironmentStringsW(block);
    }
    for (const auto& [name, value] : changes) {
        if (value) variables[upper(name)] = {name, *value};
        else variables.erase(upper(name));
    }
    std::wstring result;
    for (const auto& [key, entry] : variables) result += entry.first + L"=" + entry.second + L'\0';
    result += L'\0';
    return result;
}

struct WindowSearch {
    DWORD processId;
    const wchar_t* className;
    HWND found;
};

BOOL CALLBACK findDialogOfProcess(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window)) return TRUE;
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (std::wstring(className) != search->className) return TRUE;
    search->found = window;
    return FALSE;
}

std::wstring windowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
    return text;
}

void drainPipe(HANDLE pipe, std::string* sink) {
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) sink->append(buffer, got);
}

}  // namespace

std::wstring binDirectory() {
    wchar_t path[32768];
    const DWORD length = GetModuleFileNameW(nullptr, path, 32768);
    std::wstring text(path, length);
    return text.substr(0, text.find_last_of(L"\\/"));
}

std::wstring standInRuntimeHome() {
    const std::wstring bin = stand_in::standInBinDirectory();
    return bin.substr(0, bin.find_last_of(L'\\'));
}

std::wstring launcherTemplatePath() { return binDirectory() + L"\\launcher.exe"; }

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool waitUntil(const std::function<bool()>& condition, DWORD milliseconds) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    while (!condition()) {
        if (GetTickCount64() > deadline) return false;
        Sleep(50);
    }
    return true;
}

std::string readFileBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

void writeFileBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot write a test file");
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

namespace {

void addTarEntries(gzFile archive, const std::wstring& folder, const std::string& prefix) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const bool directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const std::string entry = prefix + base::wideToNarrow(name) + (directory ? "/" : "");
        const std::string content = directory ? std::string() : readFileBytes(folder + L"\\" + name);
        char header[512] = {};
        std::snprintf(header, 100, "%s", entry.c_str());
        std::snprintf(header + 100, 8, "%07o", directory ? 0755 : 0644);
        std::snprintf(header + 108, 8, "%07o", 0);
        std::snprintf(header + 116, 8, "%07o", 0);
        std::snprintf(header + 124, 12, "%011llo", static_cast<unsigned long long>(content.size()));
        std::snprintf(header + 136, 12, "%011o", 0);
        header[156] = directory ? '5' : '0';
        std::memcpy(header + 257, "ustar\0" "00", 8);
        std::memset(header + 148, ' ', 8);
        unsigned sum = 0;
        for (unsigned char c : header) sum += c;
        std::snprintf(header + 148, 8, "%06o", sum);
        gzwrite(archive, header, 512);
        if (!content.empty()) {
            gzwrite(archive, content.data(), static_cast<unsigned>(content.size()));
            const std::string padding((512 - content.size() % 512) % 512, '\0');
            if (!padding.empty()) gzwrite(archive, padding.data(), static_cast<unsigned>(padding.size()));
        }
        if (directory) addTarEntries(archive, folder + L"\\" + name, entry);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

}  // namespace

void writeTarGz(const std::wstring& archive, const std::wstring& folder) {
    const gzFile file = gzopen(base::wideToNarrow(archive).c_str(), "wb");
    if (!file) throw std::runtime_error("cannot write " + base::wideToUtf8(archive));
    addTarEntries(file, folder, "");
    const std::string end(1024, '\0');
    gzwrite(file, end.data(), static_cast<unsigned>(end.size()));
    gzclose(file);
}

std::wstring buildMedia(const TempFolder& folder, const media::MediaDescription& description,
                        const std::wstring& name) {
    const std::wstring output = folder.file(name);
    media::writeMediaFile(base::wideToUtf8(launcherTemplatePath()), description, base::wideToUtf8(output));
    return output;
}

LauncherProcess::LauncherProcess(const std::wstring& executable, const RunOptions& options) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE outputWrite = nullptr;
    HANDLE errorWrite = nullptr;
    if (!CreatePipe(&outputRead_, &outputWrite, &inherit, 0) || !CreatePipe(&errorRead_, &errorWrite, &inherit, 0)) {
        throw std::runtime_error("CreatePipe failed");
    }
    SetHandleInformation(outputRead_, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errorRead_, HANDLE_FLAG_INHERIT, 0);

    using test_support::quotedArgument;
    std::wstring commandLine = quotedArgument(executable);
    for (const std::wstring& argument : options.arguments) commandLine += L" " + quotedArgument(argument);
    auto environment = options.environment;
    // Unless a test says otherwise, the launcher finds the built stand-in runtime, whose main
    // returns at once: a run then ends as an installer run ends.
    environment.try_emplace(L"LUMBRA_JAVA_HOME", standInRuntimeHome());
    if (!options.temporaryFolder.empty()) {
        environment[L"TMP"] = options.temporaryFolder;
        environment[L"TEMP"] = options.temporaryFolder;
    }
    std::wstring block = environmentBlock(environment);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = outputWrite;
    startup.hStdError = errorWrite;
    PROCESS_INFORMATION info = {};
    // Under load Wine now and then fails a process start with ERROR_INTERNAL_ERROR before the
    // program runs at all (seen once at the busy start of a full run); a second try starts it.
    BOOL started = FALSE;
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
        if (attempt > 0) Sleep(300);
        started = CreateProcessW(executable.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                 CREATE_UNICODE_ENVIRONMENT | (options.beforeStart ? CREATE_SUSPENDED : 0), block.data(),
                                 options.workingDirectory.empty() ? nullptr : options.workingDirectory.c_str(),
                                 &startup, &info);
        if (!started && GetLastError() != ERROR_INTERNAL_ERROR) break;
    }
    CloseHandle(outputWrite);
    CloseHandle(errorWrite);
    if (!started) throw std::runtime_error(base::wideToUtf8(lastErrorText(L"CreateProcessW")));
    process_ = info.hProcess;
    processId_ = info.dwProcessId;
    if (options.beforeStart) {
        options.beforeStart(processId_);
        ResumeThread(info.hThread);
    }
    CloseHandle(info.hThread);
    readers_[0] = CreateThread(nullptr, 0, drainOutput, this, 0, nullptr);
    readers_[1] = CreateThread(nullptr, 0, drainError, this, 0, nullptr);
}

std::wstring LauncherProcess::currentDirectory() {
    using QueryFunction = LONG(NTAPI*)(HANDLE, PROCESSINFOCLASS, void*, ULONG, ULONG*);
    const auto query = reinterpret_cast<QueryFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION basic = {};
    PEB peb = {};
    RTL_USER_PROCESS_PARAMETERS parameters = {};
    if (!query || query(process_, ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0 ||
        !ReadProcessMemory(process_, basic.PebBaseAddress, &peb, sizeof peb, nullptr) ||
        !ReadProcessMemory(process_, peb.ProcessParameters, &parameters, sizeof parameters, nullptr))
        return L"(unreadable)";
    // The current directory's path follows the standard handles in the parameters (winternl.h
    // keeps that part opaque): MaximumLength, Length, Flags and DebugFlags, then the console's
    // handle and flags and the three standard handles.
    UNICODE_STRING path = {};
    std::memcpy(&path, &parameters.Reserved2[5], sizeof path);
    std::wstring directory(path.Length / sizeof(wchar_t), L'\0');
    if (!ReadProcessMemory(process_, path.Buffer, directory.data(), path.Length, nullptr)) return L"(unreadable)";
    if (directory.size() > 3 && directory.back() == L'\\') directory.pop_back();
    return directory;
}

ProbeBlockers::~ProbeBlockers() {
    for (const std::wstring& file : files_) DeleteFileW(file.c_str());
}

void ProbeBlockers::block(DWORD processId, const std::vector<std::wstring>& folders, unsigned seconds) {
    const auto now = static_cast<unsigned long long>(std::time(nullptr));
    for (unsigned long long second = now - 5; second <= now + seconds; ++second) {
        std::srand(static_cast<unsigned>(second * processId));
        const std::wstring name = L"\\lmbtw" + std::to_wstring(processId) + std::to_wstring(std::rand());
        for (const std::wstring& folder : folders) {
            const HANDLE file =
                CreateFileW((folder + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
            if (file == INVALID_HANDLE_VALUE) continue;
            CloseHandle(file);
            files_.push_back(folder + name);
        }
    }
}

std::vector<std::wstring> sharedTemporaryCandidates() {
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    wchar_t common[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, common);
    const std::wstring ours = std::wstring(common) + L"\\corvane";
    for (const std::wstring& folder : {ours, ours + L"\\temp", std::wstring(L"c:\\tmp")})
        CreateDirectoryW(folder.c_str(), nullptr);
    return {ours + L"\\temp", std::wstring(windows) + L"\\temp", L"c:\\temp", L"c:\\tmp", windows};
}

DWORD WINAPI LauncherProcess::drainOutput(void* self) {
    auto* process = static_cast<LauncherProcess*>(self);
    drainPipe(process->outputRead_, &process->output_);
    return 0;
}

DWORD WINAPI LauncherProcess::drainError(void* self) {
    auto* process = static_cast<LauncherProcess*>(self);
    drainPipe(process->errorRead_, &process->error_);
    return 0;
}

LauncherProcess::~LauncherProcess() {
    if (process_) {
        if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_, 99);
            WaitForSingleObject(process_, 5000);
        }
        CloseHandle(process_);
    }
    for (HANDLE reader : readers_) {
        if (reader) {
            WaitForSingleObject(reader, 5000);
            CloseHandle(reader);
        }
    }
    if (outputRead_) CloseHandle(outputRead_);
    if (errorRead_) CloseHandle(errorRead_);
}

std::optional<DWORD> LauncherProcess::wait(DWORD milliseconds) {
    if (WaitForSingleObject(process_, milliseconds) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    // The pipes close with the process (unless it left children holding them).
    for (HANDLE reader : readers_) WaitForSingleObject(reader, 5000);
    return code;
}

HWND LauncherProcess::waitForWindow(const wchar_t* className, DWORD milliseconds) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    do {
        WindowSearch search = {processId_, className, nullptr};
        EnumWindows(findDialogOfProcess, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        if (WaitForSingleObject(process_, 50) == WAIT_OBJECT_0) return nullptr;
    } while (GetTickCount64() < deadline);
    return nullptr;
}

std::optional<MessageBoxInfo> LauncherProcess::waitForMessageBox(DWORD milliseconds) {
    const HWND box = waitForWindow(L"#32770", milliseconds);
    if (!box) return std::nullopt;
    MessageBoxInfo info;
    info.window = box;
    info.title = windowText(box);
    // A message box's text is the static control with id 0xFFFF.
    info.text = windowText(GetDlgItem(box, 0xFFFF));
    return info;
}

std::string LauncherProcess::standardOutput() { return output_; }
std::string LauncherProcess::standardError() { return error_; }

void pressButton(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

Finished runToEnd(const std::wstring& executable, const RunOptions& options, int button, DWORD boxWait) {
    LauncherProcess process(executable, options);
    Finished finished;
    finished.box = process.waitForMessageBox(boxWait);
    if (finished.box) pressButton(finished.box->window, button);
    finished.exitCode = process.wait(30000);
    finished.output = process.standardOutput();
    finished.error = process.standardError();
    for (size_t at; (at = finished.error.find("\r\n")) != std::string::npos;) finished.error.erase(at, 1);
    return finished;
}

std::vector<std::wstring> launcherLogs(const std::wstring& folder) {
    std::vector<std::wstring> logs;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\cvn_nlog_*.log").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return logs;
    do {
        logs.push_back(base::utf8ToWide(readFileBytes(folder + L"\\" + data.cFileName)));
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return logs;
}

RegistryValue::RegistryValue(HKEY root, const std::wstring& key, const wchar_t* name, DWORD type, const void* data,
                             DWORD size)
    : root_(root), key_(key), name_(name) {
    DWORD oldSize = 0;
    if (RegGetValueW(root, key.c_str(), name, RRF_RT_ANY, &oldType_, nullptr, &oldSize) == ERROR_SUCCESS) {
        old_.resize(oldSize);
        had_ = RegGetValueW(root, key.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &oldType_, old_.data(), &oldSize) ==
               ERROR_SUCCESS;
    }
    RegSetKeyValueW(root, key.c_str(), name, type, data, size);
}

RegistryValue::~RegistryValue() {
    if (had_)
        RegSetKeyValueW(root_, key_.c_str(), name_, oldType_, old_.data(), static_cast<DWORD>(old_.size()));
    else
        RegDeleteKeyValueW(root_, key_.c_str(), name_);
}

Windows11Version::Windows11Version()
    : major_(HKEY_LOCAL_MACHINE, kKey, L"CurrentMajorVersionNumber", REG_DWORD, &kTen, 4),
      minor_(HKEY_LOCAL_MACHINE, kKey, L"CurrentMinorVersionNumber", REG_DWORD, &kZero, 4),
      version_(HKEY_LOCAL_MACHINE, kKey, L"CurrentVersion", REG_SZ, L"10.0", sizeof L"10.0"),
      build_(HKEY_LOCAL_MACHINE, kKey, L"CurrentBuild", REG_SZ, L"22000", sizeof L"22000"),
      buildNumber_(HKEY_LOCAL_MACHINE, kKey, L"CurrentBuildNumber", REG_SZ, L"22000", sizeof L"22000") {}

}  // namespace e2e
