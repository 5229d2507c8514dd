// The log writer behind services/log.h and services/launcher_log.h. It lives at the top because
// the log's folder is the temporary base that files/ chooses, and that choice logs in turn.
#include "services/launcher_log.h"

#include <windows.h>

#include <cstdlib>
#include <ctime>
#include <mutex>

#include "base/text.h"
#include "base/win/handles.h"
#include "services/log.h"
#include "files/executable_paths.h"
#include "files/temporary_directory.h"

namespace services {

namespace {

constexpr size_t kPathLimit = 6000;

struct LogState {
    std::recursive_mutex lock;
    bool initialized = false;
    bool initializing = false;
    bool requested = false;
    bool temporary = false;
    bool retained = false;
    bool deletionMode = false;
    std::wstring path;
    // Kept open between lines: opening the file for every line costs more than the line (a
    // runtime's thousands of files each log one). Closed when the log is deleted; a later line
    // opens it again.
    base::win::FileHandle file;
    uint32_t startMilliseconds = 0;
};

LogState& state() {
    // Never destroyed: log lines may still be written by exit handlers and late threads.
    static LogState* instance = new LogState;
    return *instance;
}

uint64_t systemTimeMilliseconds() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const uint64_t ticks = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return ticks / 10000;
}

bool environmentSaysYes(const wchar_t* name) {
    wchar_t value[kPathLimit];
    const DWORD length = GetEnvironmentVariableW(name, value, kPathLimit);
    return length > 0 && length < kPathLimit && std::wstring_view(value, length) == L"yes";
}

// Writes UTF-8 bytes with CR LF line ends, the way a text-mode UTF-8 stream would.
// `creation` CREATE_NEW or CREATE_ALWAYS starts a new file with the byte-order mark;
// OPEN_ALWAYS appends. The file stays open in `file` for the next lines.
// `deletable` opens it with the right to mark it for deletion, which makes every other opener
// share deletion: only for a temporary log, never for one a person may read while it grows.
bool writeText(base::win::FileHandle& file, const std::wstring& path, std::wstring_view text, DWORD creation,
               bool deletable = false) {
    const bool truncate = creation != OPEN_ALWAYS;
    if (truncate || !file) {
        file.reset(CreateFileW(path.c_str(), FILE_APPEND_DATA | (deletable ? DELETE : 0) | (truncate ? GENERIC_WRITE : 0),
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, creation,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    if (!file) return false;
    std::wstring crlf;
    crlf.reserve(text.size() + 8);
    for (wchar_t c : text) {
        if (c == L'\n') crlf += L'\r';
        crlf += c;
    }
    const std::string bytes = (truncate ? std::string("\xEF\xBB\xBF") : std::string()) + base::wideToUtf8(crlf);
    DWORD written = 0;
    return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

// A temporary log is deleted by the system when its last handle closes, also when the run is
// ended from outside and no exit handler runs; a log that is to be kept after all is taken back
// from the deletion.
void setDeletedOnClose(const base::win::FileHandle& file, bool deleted) {
    if (!file) return;
    FILE_DISPOSITION_INFO disposition = {static_cast<BOOLEAN>(deleted ? TRUE : FALSE)};
    SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof disposition);
}

std::wstring ctimeText() {
    const std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);
    if (!local) return L"\n";
    char text[64];
    // Same shape as ctime(): "Wed Jan 02 02:03:55 1980\n".
    if (std::strftime(text, sizeof text, "%a %b %d %H:%M:%S %Y\n", local) == 0) return L"\n";
    return base::narrowToWide(text);
}

std::wstring logDirectory() {
    // The optional form: without a usable base the log goes to "c:\" instead of ending the run.
    std::wstring directory = files::temporaryBaseWide(false);
    if (directory.empty()) return L"c:\\";
    if (directory.back() != L'\\' && directory.back() != L'/') directory += L'\\';
    return directory;
}

void initialize(LogState& log) {
    log.initialized = true;
    bool wanted = log.requested || environmentSaysYes(L"LUMBRA_LOG");
    if (environmentSaysYes(L"CORVANE_LOG")) wanted = true;
    if (!wanted) {
        if (log.deletionMode) return;
        log.temporary = true;
        std::atexit(deleteTemporaryLog);
    }
    const std::wstring directory = logDirectory();
    const std::wstring header =
        base::formatWide(L"Started executable %s at %s\n", files::executableLongPath(), ctimeText());
    // The first free number is claimed by creating the file, so that launchers starting at the
    // same moment never share a log; when 1 to 999 are taken, 1000 is reused.
    bool created = false;
    for (int number = 1; number <= 1000 && !created; ++number) {
        log.path = directory + L"cvn_nlog_" + std::to_wstring(number) + L".log";
        created = writeText(log.file, log.path, header, number < 1000 ? CREATE_NEW : CREATE_ALWAYS, log.temporary);
        // Another run's temporary log refuses opening while it waits for its deletion.
        const DWORD error = GetLastError();
        if (!created && error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED)
            break;
    }
    if (!created) {
        log.path = L"c:\\cvn_nlog";
        if (!writeText(log.file, log.path, header, CREATE_ALWAYS, log.temporary)) return;
    }
    if (log.temporary) setDeletedOnClose(log.file, true);
    log.startMilliseconds = static_cast<uint32_t>(systemTimeMilliseconds());
}

}  // namespace

void writeLogLine(bool isError, std::wstring_view text) {
    LogState& log = state();
    std::lock_guard<std::recursive_mutex> guard(log.lock);
    if (!log.initialized) {
        // Lines logged while the log finds its own folder are dropped.
        if (log.initializing) return;
        log.initializing = true;
        initialize(log);
        log.initializing = false;
    }
    if (log.initializing || log.path.empty()) return;
    const int32_t elapsed = static_cast<int32_t>(static_cast<uint32_t>(systemTimeMilliseconds()) - log.startMilliseconds);
    std::wstring line = base::formatWide(L"[%d:%d] ", elapsed / 1000, elapsed % 1000);
    if (isError) line += L"ERROR: ";
    line += text;
    line += L'\n';
    writeText(log.file, log.path, line, OPEN_ALWAYS);
}

void requestLogFile() { state().requested = true; }

void setLogDeletionMode(bool deletionMode) { state().deletionMode = deletionMode; }

std::optional<std::wstring> retainLogFile() {
    LogState& log = state();
    std::lock_guard<std::recursive_mutex> guard(log.lock);
    if (!log.initialized && !log.initializing) {
        log.initializing = true;
        initialize(log);
        log.initializing = false;
    }
    if (log.path.empty()) return std::nullopt;
    if (log.temporary && !log.retained) {
        // Opened again without the right to delete, so that anyone may read it now.
        setDeletedOnClose(log.file, false);
        log.file.reset();
    }
    log.retained = true;
    return log.path;
}

void deleteTemporaryLog() {
    LogState& log = state();
    std::lock_guard<std::recursive_mutex> guard(log.lock);
    if (!log.temporary || log.retained || log.path.empty()) return;
    log.file.reset();
    DeleteFileW(log.path.c_str());
}

}  // namespace services
