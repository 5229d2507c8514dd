#include "jre/archive/jre_archive.h"

#include <commctrl.h>

#include "base/text.h"
#include "base/win/handles.h"
#include "files/path_operations.h"
#include "files/path_text.h"
#include "jre/archive/archive_files.h"
#include "services/cancel.h"
#include "services/error_path.h"
#include "services/log.h"
#include "resources/resource_ids.h"

namespace jre {

namespace {

using services::logError;
using services::logMessage;

// An entry's file written with the system's calls: a runtime has thousands of small files, and
// every call the C runtime's streams add around opening and closing one costs its share.
class SystemFile final : public ArchiveFile {
public:
    explicit SystemFile(HANDLE handle) : handle_(handle) {}
    bool write(const void* data, unsigned size) override {
        DWORD written = 0;
        if (!WriteFile(handle_.get(), data, size, &written, nullptr) || written != size) failed_ = true;
        return !failed_;
    }
    bool failed() override { return failed_; }

private:
    base::win::FileHandle handle_;
    bool failed_ = false;
};

// Entries below the current directory, under their UTF-8 names. A file the launcher cannot
// create inside its own folder means the disk or the rights went away under it: nothing later
// could work, so the run ends.
class FatalOnFailureTarget final : public ArchiveTarget {
public:
    FatalOnFailureTarget() : base_(files::currentDirectory()) {}
    void createDirectory(const std::string& name) override { CreateDirectoryW(systemPath(name).c_str(), nullptr); }
    std::unique_ptr<ArchiveFile> createFile(const std::string& name) override {
        const HANDLE handle = CreateFileW(systemPath(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            const std::wstring text = base::formatWide(L"Could not open file %s\n", base::utf8ToWide(name));
            services::logError(L"%s", text);
            services::failWithText(text);
        }
        return std::make_unique<SystemFile>(handle);
    }

private:
    // Relative while the whole path stays short; in the extended form once it would pass MAX_PATH.
    std::wstring systemPath(const std::string& name) const {
        std::wstring relative = base::utf8ToWide(name);
        if (base_.empty() || base_.size() + relative.size() + 1 < kShortPathLimit) return relative;
        std::wstring full = base_;
        if (full.back() != L'\\') full.push_back(L'\\');
        full += relative;
        return files::extendedLengthPath(full);
    }

    static constexpr size_t kShortPathLimit = 248;
    std::wstring base_;
};

}  // namespace

bool extractJreArchive(const std::string& archive, const std::string& target, HWND window, int64_t total) {
    const std::wstring previous = files::currentDirectory();
    GzipArchiveStream stream(archive);
    if (!stream.isOpen()) {
        services::logError(L"Could not open gz-file");
        return false;
    }
    SetCurrentDirectoryA(target.c_str());

    ArchiveHooks hooks;
    hooks.cancelled = [] { return services::isCancelled(); };
    hooks.tickCount = [] { return static_cast<uint32_t>(GetTickCount()); };
    // A runtime has thousands of small files, each asking for a position before and at the start
    // of its copy; only a position that moved is worth a message to the dialog's thread. The
    // message is queued without waiting for the bar to be drawn again (waiting for each redraw,
    // a run with the dialog unpacked about half again as slowly as a quiet one under Wine); it
    // keeps its order among the messages sent to that thread.
    int progressUpdates = 0;
    int shownPosition = -1;
    if (window) {
        const HWND bar = GetDlgItem(window, IDC_PROGRESS);
        hooks.progress = [bar, &progressUpdates, &shownPosition](int position) {
            if (position == shownPosition) return;
            shownPosition = position;
            ++progressUpdates;
            SendNotifyMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
        };
    }
    FatalOnFailureTarget files;
    const bool extracted = extractTarEntries(stream, files, hooks, total);
    if (!previous.empty()) SetCurrentDirectoryW(previous.c_str());
    if (window) services::logMessage(L"progress updates: %d", progressUpdates);
    if (services::isCancelled()) return true;
    if (extracted)
        services::logMessage(L"untaring JRE was successful");
    else
        services::logError(L"untaring JRE was unsuccessful");
    return extracted;
}

}  // namespace jre
