#include "media/media_file.h"

#include "files/executable_paths.h"
#include "services/error_path.h"
#include "services/log.h"
#include "media/payload_format.h"
#include "media/payload_reader.h"
#include "services/tables.h"

namespace media {

using services::configInteger;
using services::setConfigTable;
using services::setMessageTable;

namespace {

int64_t fileDataOffset = 0;

// Logs what the failed read saw and ends the launcher with the reader's text.
[[noreturn]] void failOnPayloadError(const PayloadError& error) {
    switch (error.fault()) {
    case PayloadFault::ReadInt:
        services::logMessage(L"error %d %d\n", error.systemError(), error.bytesRead());
        break;
    case PayloadFault::ReadLong:
    case PayloadFault::ReadShort:
        services::logMessage(L"error %d\n", error.systemError());
        break;
    default:
        break;
    }
    const std::string_view text = error.what();
    services::failWithText(std::wstring(text.begin(), text.end()));
}

// Positions the reader just after the three header fields.
void enterPayload(PayloadReader& reader) {
    const int64_t start = findPayloadStart(reader.source());
    reader.source().seek(start);
    if (static_cast<uint32_t>(reader.readInt()) != kPayloadMagic) throw PayloadError(PayloadFault::Magic, 0, 0);
    reader.source().seek(start + kCoveredRangeOffset);
}

}  // namespace

bool HandleByteSource::read(void* buffer, uint32_t size, uint32_t& bytesRead) {
    DWORD got = 0;
    const BOOL ok = ReadFile(file_, buffer, size, &got, nullptr);
    bytesRead = got;
    position_ += got;
    if (!ok) {
        error_ = GetLastError();
        return false;
    }
    return true;
}

bool HandleByteSource::seek(int64_t offset) {
    LARGE_INTEGER target;
    target.QuadPart = offset;
    if (!SetFilePointerEx(file_, target, nullptr, FILE_BEGIN)) {
        error_ = GetLastError();
        return false;
    }
    position_ = offset;
    return true;
}

bool HandleRangeReader::readAt(int64_t offset, void* buffer, uint32_t size, uint32_t& bytesRead) {
    bytesRead = 0;
    if (offset != position_) {
        LARGE_INTEGER target;
        target.QuadPart = offset;
        if (!SetFilePointerEx(file_, target, nullptr, FILE_BEGIN)) {
            error_ = GetLastError();
            position_ = -1;
            return false;
        }
        position_ = offset;
    }
    DWORD got = 0;
    if (!ReadFile(file_, buffer, size, &got, nullptr)) {
        error_ = GetLastError();
        position_ = -1;
        return false;
    }
    bytesRead = got;
    position_ += got;
    return true;
}

namespace {

base::win::FileHandle openForReading(const std::wstring& path) {
    return base::win::FileHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace

base::win::FileHandle openMediaFile() { return openMediaFile(files::executableLongPath()); }

base::win::FileHandle tryOpenMediaFile() { return openForReading(files::executableLongPath()); }

base::win::FileHandle openMediaFile(const std::wstring& path) {
    base::win::FileHandle file = openForReading(path);
    if (!file) {
        services::logError(L"Could not open %p %d %s", file.get(), GetLastError(), path);
        services::failWithText(L"Error opening media file.");
    }
    return file;
}

void readConfigTable() { readConfigTable(files::executableLongPath()); }

void readConfigTable(const std::wstring& mediaPath) {
    base::win::FileHandle file = openMediaFile(mediaPath);
    HandleByteSource source(file.get());
    PayloadReader reader(source);
    try {
        enterPayload(reader);
        services::setConfigTable(readConfigEntries(reader));
    } catch (const PayloadError& error) {
        file.reset();
        failOnPayloadError(error);
    }
}

void readMessageTables(std::string_view locale) { readMessageTables(files::executableLongPath(), locale); }

void readMessageTables(const std::wstring& mediaPath, std::string_view locale) {
    base::win::FileHandle file = openMediaFile(mediaPath);
    HandleByteSource source(file.get());
    PayloadReader reader(source);
    try {
        enterPayload(reader);
        skipConfigEntries(reader);
        MessageTable messages = readMessageEntries(reader);
        applyLanguageBlocks(readLanguageBlocks(reader), locale, messages);
        services::setMessageTable(std::move(messages));
        fileDataOffset = source.position();
    } catch (const PayloadError& error) {
        file.reset();
        failOnPayloadError(error);
    }
    const int launcherType = services::configInteger(kConfigLauncherType);
    if (launcherType != 1 && launcherType != 5) services::setGuiMode(false);
}

int64_t fileDataPosition() { return fileDataOffset; }

}  // namespace media
