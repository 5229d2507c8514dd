#include "media/payload_steps.h"

#include <commctrl.h>

#include <memory>

#include "base/win/handles.h"
#include "files/cleanup.h"
#include "services/cancel.h"
#include "services/error_path.h"
#include "services/log.h"
#include "services/modes.h"
#include "media/included_files.h"
#include "media/integrity.h"
#include "media/media_file.h"
#include "media/payload_format.h"
#include "media/payload_reader.h"
#include "media/read_ahead_source.h"
#include "services/tables.h"
#include "resources/resource_ids.h"

namespace media {

using services::configInteger;
using services::configString;
using services::messageEntry;

namespace {

constexpr int kCorruptedMessage = 20016;
constexpr int kDialogTitleMessage = 20013;

int64_t unextractedOffset = 0;

class HandleByteSink final : public ByteSink {
public:
    explicit HandleByteSink(HANDLE file) : file_(file) {}
    bool write(const void* data, uint32_t size, uint32_t& written) override {
        DWORD done = 0;
        const BOOL ok = WriteFile(file_, data, size, &done, nullptr);
        written = done;
        if (!ok) error_ = GetLastError();
        return ok != FALSE;
    }
    uint32_t systemError() const override { return error_; }

private:
    HANDLE file_;
    uint32_t error_ = 0;
};

// Queued for the window's thread without waiting for the bar to be drawn again, in order with
// the other messages sent to it: the check goes on meanwhile.
void setProgress(HWND window, int position) {
    if (window) SendNotifyMessageW(GetDlgItem(window, IDC_PROGRESS), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

// Reads a header field as the check does: a short read counts as damage, not as a fatal read
// error, since the covered range has not been reached yet.
bool readHeaderInt(ByteSource& source, uint32_t& value) {
    uint8_t bytes[4];
    uint32_t got = 0;
    if (!source.read(bytes, 4, got) || got != 4) return false;
    value = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
    return true;
}

// The check's second reader: a handle of its own, so that its reads go on beside the first's.
std::unique_ptr<RangeReader> openHelperReader() {
    base::win::FileHandle file = tryOpenMediaFile();
    if (!file) return nullptr;
    return std::make_unique<HandleRangeReader>(std::move(file));
}

[[noreturn]] void refuseCorruptedFile(HWND window) {
    MessageBoxW(window, services::messageEntry(kCorruptedMessage).c_str(), services::messageEntry(kDialogTitleMessage).c_str(),
                MB_ICONERROR);
    files::cleanUpAndExit(1);
}

}  // namespace

void verifyIntegrity(HWND window) {
    base::win::FileHandle file = openMediaFile();
    HandleByteSource source(file.get());
    int64_t payloadStart = 0;
    try {
        payloadStart = findPayloadStart(source);
    } catch (const PayloadError&) {
        file.reset();
        refuseCorruptedFile(window);
    }
    source.seek(payloadStart);
    services::logMessage(L"starting at %I64d", payloadStart);

    uint32_t magic = 0;
    uint32_t expected = 1;
    uint32_t computed = 0;
    if (readHeaderInt(source, magic) && magic == kPayloadMagic) {
        uint32_t checkFlag = 0;
        const bool haveFlag = readHeaderInt(source, checkFlag);
        if (!services::modes().integrityCheck || (haveFlag && checkFlag == 0)) {
            if (window) {
                SendDlgItemMessageW(window, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(100, 400));
                setProgress(window, 101);
            }
            expected = computed = 0;
        } else {
            uint32_t low = 0;
            uint32_t high = 0;
            const bool haveHeader = haveFlag && readHeaderInt(source, expected) && readHeaderInt(source, low) &&
                                    readHeaderInt(source, high);
            const int64_t coveredLength = static_cast<int64_t>((static_cast<uint64_t>(high) << 32) | low);
            // A header cut short or a negative length cannot describe an intact payload.
            if (haveHeader && coveredLength >= 0) {
                services::logMessage(L"verifying integrity length %I64d", coveredLength);
                HandleRangeReader reader(file.get());
                const CoveredRangeCheck check = checksumCoveredRange(
                    reader, source.position(), coveredLength, openHelperReader,
                    [window](int percent) { setProgress(window, percent); });
                if (check.readFailed) {
                    services::logError(L"check ReadFile failed %d %d %I64d", check.bytesRead, check.systemError,
                                       check.bytesDone);
                    file.reset();
                    services::failWithMessage(1009, std::wstring_view(L"34"));
                }
                computed = check.checksum;
                services::logMessage(L"checksums: %u %u %d %d", computed, expected, computed, expected);
            } else {
                expected = 1;
                computed = 0;
            }
        }
    }
    file.reset();
    if (expected == computed) return;
    refuseCorruptedFile(window);
}

int extractIncludedFilesInto(const std::string& directory) {
    services::logMessage(L"extracting files");
    const int count = services::configInteger(kConfigIncludedFileCount);
    services::logMessage(L"Included files: %d", count);
    const std::vector<std::string> names = includedFileNames(services::configString(kConfigIncludedFileNames), count);
    // Every name is checked before the first file is written: a name that would land outside
    // the extraction directory means the payload is not what the builder wrote.
    for (const std::string& name : names) {
        if (!isSafeIncludedName(name)) {
            services::logError(L"refusing included file name %S", name);
            return kCopyReadFailed;
        }
    }
    base::win::FileHandle media = openMediaFile();
    // Read on this thread, one chunk at a time into the same buffer: under Wine a reading
    // thread beside the writes made them slower (the copies into the page cache took about
    // twice as long while the other core read) by more than the reads it took off this thread.
    // The check above has a second thread: it writes nothing.
    ReadAheadSource source(media.get(), fileDataPosition(), -1, false);
    PayloadReader reader(source);
    for (const std::string& name : names) {
        std::string path = directory + "\\" + name;
        const size_t slash = name.find('\\');
        if (slash != std::string::npos) {
            const std::string subdirectory = directory + "\\" + name.substr(0, slash);
            services::logMessage(L"creating directory %S", subdirectory);
            if (!CreateDirectoryA(subdirectory.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
                services::logError(L"failed to create directory %S", subdirectory);
            }
        }
        int64_t size = 0;
        try {
            size = reader.readLong();
        } catch (const PayloadError&) {
            services::logError(L"Failed to extract %S", path);
            return kCopyReadFailed;
        }
        services::logMessage(L"extracting %S (size: %I64d)", path, size);
        if (size > 0) {
            base::win::FileHandle out(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                  FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!out) {
                source.stop();
                media.reset();
                services::failWithMessage(1009, std::wstring_view(L"11"));
            }
            HandleByteSink sink(out.get());
            const int result = copyPayloadBytes(source, sink, size, true, services::isCancelled);
            if (result != kCopyDone) {
                services::logError(L"Failed to extract %S", path);
                return result;
            }
        }
        if (services::isCancelled()) return kCopyDone;
    }
    unextractedOffset = source.position();
    services::logMessage(L"extracting files done");
    return kCopyDone;
}

int64_t unextractedPosition() { return unextractedOffset; }

}  // namespace media
