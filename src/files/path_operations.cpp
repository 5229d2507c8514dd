#include "files/path_operations.h"

#include <algorithm>
#include <climits>
#include <cwchar>
#include <vector>

#include "base/text.h"
#include "base/win/growing_buffer.h"
#include "base/win/handles.h"
#include "files/executable_paths.h"
#include "services/log.h"
#include "services/platform.h"

namespace files {

namespace {

UINT fileApiCodePage() { return AreFileApisANSI() ? CP_ACP : CP_OEMCP; }

bool hasWildcard(std::wstring_view path) { return path.find_first_of(L"*?") != std::wstring_view::npos; }

// FindFirstFile finds no name that ends with a separator; the folder itself is meant.
std::wstring withoutTrailingSeparators(std::wstring_view path) {
    std::wstring trimmed(path);
    while (trimmed.size() > 1 && (trimmed.back() == L'\\' || trimmed.back() == L'/')) trimmed.pop_back();
    return trimmed;
}

std::wstring lowerCase(std::wstring text) {
    // _wcslwr stops at the first NUL; a path never holds one past its end.
    if (!text.empty()) _wcslwr(text.data());
    return text;
}

}  // namespace

std::string toFileApiNarrow(std::wstring_view text, bool* lossy) {
    bool lost = false;
    std::string result;
    if (!text.empty()) {
        const UINT codePage = fileApiCodePage();
        const int length = static_cast<int>(std::min<size_t>(text.size(), INT_MAX / 4));
        BOOL usedDefault = FALSE;
        int needed = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.data(), length, nullptr, 0, "?",
                                         &usedDefault);
        if (needed > 0) {
            result.resize(static_cast<size_t>(needed));
            WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text.data(), length, result.data(), needed, "?",
                                &usedDefault);
            lost = usedDefault != FALSE;
        } else if (const DWORD error = GetLastError(); error == ERROR_INVALID_FLAGS || error == ERROR_INVALID_PARAMETER) {
            // Code pages such as UTF-8 take neither the flag nor a default character; a
            // round trip tells whether anything was lost.
            needed = WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
            if (needed > 0) {
                result.resize(static_cast<size_t>(needed));
                WideCharToMultiByte(codePage, 0, text.data(), length, result.data(), needed, nullptr, nullptr);
                lost = base::narrowToWide(result) != text.substr(0, static_cast<size_t>(length));
            } else {
                lost = true;
            }
        } else {
            lost = true;
        }
        if (needed <= 0) result.clear();
    }
    if (lossy) *lossy = lost;
    return result;
}

std::wstring shortPathName(const std::wstring& path) {
    return base::win::growingBuffer<wchar_t>([&](wchar_t* buffer, DWORD size) {
        return GetShortPathNameW(path.c_str(), buffer, size);
    });
}

std::wstring fullPathName(const std::wstring& path) {
    return base::win::growingBuffer<wchar_t>([&](wchar_t* buffer, DWORD size) {
        return GetFullPathNameW(path.c_str(), size, buffer, nullptr);
    });
}

std::string fullPathName(const std::string& path) {
    return base::win::growingBuffer<char>([&](char* buffer, DWORD size) {
        return GetFullPathNameA(path.c_str(), size, buffer, nullptr);
    });
}

std::wstring longPathName(const std::wstring& path) {
    return base::win::growingBuffer<wchar_t>([&](wchar_t* buffer, DWORD size) {
        return GetLongPathNameW(path.c_str(), buffer, size);
    });
}

std::string longPathName(const std::string& path) {
    return base::win::growingBuffer<char>([&](char* buffer, DWORD size) {
        return GetLongPathNameA(path.c_str(), buffer, size);
    });
}

bool pathExists(std::wstring_view path, FILETIME* lastWrite) {
    if (isDriveRoot(path)) return true;
    if (path.empty() || hasWildcard(path) || path.find(L'\0') != std::wstring_view::npos) return false;
    WIN32_FIND_DATAW data;
    const HANDLE find = FindFirstFileW(extendedLengthPath(withoutTrailingSeparators(path)).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return false;
    FindClose(find);
    if (lastWrite) *lastWrite = data.ftLastWriteTime;
    return true;
}

bool pathExists(std::wstring_view path) { return pathExists(path, nullptr); }

bool pathExists(std::string_view path) {
    if (isDriveRoot(path)) return true;
    return pathExists(std::wstring_view(base::narrowToWide(path)), nullptr);
}

void resolveAgainst(std::string& out, std::string_view path, std::string_view baseFile) {
    if (!isRelativePath(path)) {
        appendResolved(out, path, {});
        return;
    }
    if (baseFile.empty()) {
        appendResolved(out, path, executableDirectory());
        return;
    }
    const std::string full = fullPathName(std::string(baseFile));
    appendResolved(out, path, directoryPart(full.empty() ? baseFile : std::string_view(full)));
}

void resolveAgainst(std::wstring& out, std::wstring_view path, std::wstring_view baseFile, bool longDirectory) {
    if (!isRelativePath(path)) {
        appendResolved(out, path, {});
        return;
    }
    if (baseFile.empty()) {
        appendResolved(out, path, longDirectory ? executableLongDirectory() : executableDirectoryWide());
        return;
    }
    const std::wstring full = fullPathName(std::wstring(baseFile));
    appendResolved(out, path, directoryPart(full.empty() ? baseFile : std::wstring_view(full)));
}

std::string canonicalPath(std::string_view path, bool keepCase) {
    std::string resolved;
    resolveAgainst(resolved, path);
    std::string full = resolved.empty() ? std::string() : fullPathName(resolved);
    if (full.empty()) {
        services::logError(L"could not get canonical path for %S.", path);
        full = resolved;
    }
    if (!keepCase) {
        // Lower-cased as wide text: in a double-byte code page a byte-wise lowering would
        // change trail bytes. Kept only when it converts back without loss.
        bool lossy = false;
        std::string lowered = toFileApiNarrow(lowerCase(base::narrowToWide(full)), &lossy);
        if (!lossy && !lowered.empty()) full = std::move(lowered);
    }
    std::wstring wide = base::narrowToWide(full);
    foldSeparators(wide);
    bool lossy = false;
    std::string folded = toFileApiNarrow(wide, &lossy);
    return lossy || folded.empty() ? full : folded;
}

std::wstring canonicalPath(std::wstring_view path, bool keepCase, bool longDirectory) {
    std::wstring resolved;
    resolveAgainst(resolved, path, {}, longDirectory);
    std::wstring full = resolved.empty() ? std::wstring() : fullPathName(resolved);
    if (full.empty()) {
        services::logError(L"could not get canonical path for %s.", path);
        full = resolved;
    }
    if (!keepCase) full = lowerCase(std::move(full));
    foldSeparators(full);
    return full;
}

std::optional<std::string> shortPathViaShell(const std::wstring& longPath) {
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
        services::logMessage(L"CreatePipe error (%d)", GetLastError());
        return std::nullopt;
    }
    base::win::KernelHandle reader(readEnd);
    base::win::KernelHandle writer(writeEnd);
    if (!SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0)) {
        services::logMessage(L"SetHandleInformation error (%d)", GetLastError());
        return std::nullopt;
    }
    std::wstring windows(MAX_PATH, L'\0');
    const UINT windowsLength = GetWindowsDirectoryW(windows.data(), MAX_PATH);
    windows.resize(windowsLength < MAX_PATH ? windowsLength : 0);
    std::wstring command =
        base::formatWide(L"%s\\system32\\cmd.exe /C for %%I in (\"%s\") do @echo %%~sI", windows, longPath);
    services::logMessage(L"executing %s", command);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = writer.get();
    startup.hStdError = writer.get();
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &process)) {
        services::logMessage(L"could not execute cmd.exe");
        return std::nullopt;
    }
    base::win::KernelHandle child(process.hProcess);
    CloseHandle(process.hThread);
    writer.reset();

    constexpr size_t kOutputLimit = 6000;
    std::string output;
    char chunk[512];
    DWORD got = 0;
    while (output.size() < kOutputLimit &&
           ReadFile(reader.get(), chunk, static_cast<DWORD>(std::min(sizeof chunk, kOutputLimit - output.size())), &got,
                    nullptr) &&
           got > 0) {
        output.append(chunk, got);
    }
    services::logMessage(L"finished reading from cmd.exe %d \"%S\"", static_cast<int>(output.size()), output);

    // The end of its output comes a moment before the interpreter's own end.
    WaitForSingleObject(child.get(), 5000);
    DWORD exitCode = 0;
    GetExitCodeProcess(child.get(), &exitCode);
    services::logMessage(L"Exit Code %d", static_cast<int>(exitCode));
    if (exitCode == STILL_ACTIVE) {
        services::logMessage(L"Terminating process");
        TerminateProcess(child.get(), 1);
        return std::nullopt;
    }
    if (exitCode != 0 || output.size() < 6) return std::nullopt;
    // Without a line end the answer was cut off and cannot be trusted.
    const size_t lineEnd = output.find_first_of("\r\n");
    if (lineEnd == std::string::npos) return std::nullopt;
    std::string shortPath = output.substr(0, lineEnd);
    services::logMessage(L"Using %S", shortPath);
    return shortPath;
}

const FolderPathFunctions& loadFolderPathFunctions() {
    static const FolderPathFunctions functions = [] {
        FolderPathFunctions found;
        // shell32 is a KnownDLL; the system-directory load keeps even that beyond doubt.
        if (const HMODULE shell = services::loadSystemLibrary(L"shell32.dll")) {
            found.narrow = reinterpret_cast<decltype(found.narrow)>(
                reinterpret_cast<void*>(GetProcAddress(shell, "SHGetFolderPathA")));
            found.wide = reinterpret_cast<decltype(found.wide)>(
                reinterpret_cast<void*>(GetProcAddress(shell, "SHGetFolderPathW")));
        }
        return found;
    }();
    return functions;
}

std::wstring currentDirectory() {
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    std::wstring directory(size, L'\0');
    const DWORD length = size ? GetCurrentDirectoryW(size, directory.data()) : 0;
    directory.resize(length < size ? length : 0);
    return directory;
}

}  // namespace files
