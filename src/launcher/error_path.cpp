// The error path of services/error_path.h. It lives at the top because a fatal error ends the
// run through the clean-up of files/, which every layer below may not know of.
#include "services/error_path.h"

#include <atomic>
#include <cstdio>

#include "base/format.h"
#include "base/text.h"
#include "files/cleanup.h"
#include "launcher/run_marks.h"
#include "services/launcher_log.h"
#include "services/tables.h"

namespace services {

namespace {

std::atomic<bool> guiModeFlag{true};
std::atomic<HWND> ownerWindow{nullptr};

constexpr int kErrorTitleMessage = 1000;

std::wstring longFormOf(const std::wstring& path) {
    std::wstring buffer(services::kTextBufferSize, L'\0');
    const DWORD length = GetLongPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0 || length >= buffer.size()) return path;
    buffer.resize(length);
    return buffer;
}

void showErrorWithTitle(std::wstring_view text, const std::wstring& title) {
    std::wstring shown(text);
    if (const auto log = retainLogFile()) shown = base::formatWide(L"%s\n\nLog: %s", shown, longFormOf(*log));
    if (guiMode()) {
        MessageBoxW(messageOwner(), shown.c_str(), title.c_str(), MB_ICONERROR);
        return;
    }
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output && output != INVALID_HANDLE_VALUE && GetFileType(output) == FILE_TYPE_CHAR) {
        DWORD written = 0;
        if (WriteConsoleW(output, shown.data(), static_cast<DWORD>(shown.size()), &written, nullptr)) {
            FlushFileBuffers(output);
            return;
        }
    }
    const std::string narrow = base::formatNarrow("%S\n", shown);
    std::fwrite(narrow.data(), 1, narrow.size(), stderr);
    std::fflush(stderr);
}

}  // namespace

bool guiMode() { return guiModeFlag.load(); }
void setGuiMode(bool on) { guiModeFlag.store(on); }
void setMessageOwner(HWND owner) { ownerWindow.store(owner); }
HWND messageOwner() { return ownerWindow.load(); }

void showError(std::wstring_view text) { showErrorWithTitle(text, services::messageText(kErrorTitleMessage)); }

std::wstring substituteFirstPlaceholder(std::wstring_view text, std::wstring_view argument) {
    const size_t at = text.find(L"{0}");
    if (at == std::wstring_view::npos) return std::wstring(text);
    std::wstring result(text.substr(0, at));
    result += argument;
    result += text.substr(at + 3);
    return result;
}

void showMessage(int id, std::wstring_view argument) {
    showError(substituteFirstPlaceholder(services::messageText(id), argument));
}

// The marks go before the message: its box is a window of this process, which the watcher
// would take for the Java side's.
void failWithText(std::wstring_view text) {
    launcher::withdrawInstallStarted();
    showError(text);
    files::cleanUpAndExit(1);
}

void failWithMessage(int id, std::wstring_view argument) {
    launcher::withdrawInstallStarted();
    showMessage(id, argument);
    files::cleanUpAndExit(1);
}

void failWithMessage(int id, std::string_view narrowArgument) {
    std::wstring argument = base::narrowToWide(narrowArgument);
    if (argument.size() > services::kTextBufferSize) argument.resize(services::kTextBufferSize);
    failWithMessage(id, std::wstring_view(argument));
}

void failWithMessage(int id) {
    launcher::withdrawInstallStarted();
    showError(services::messageEntry(id));
    files::cleanUpAndExit(1);
}

}  // namespace services
