#include "jre/archive/tar_reader.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/relative_path.h"
#include "services/log.h"

namespace jre {

namespace {

constexpr int kBlock = 512;
constexpr int kHeaderRead = 500;
constexpr int kNameLength = 100;
constexpr int kSizeOffset = 124;
constexpr int kTypeOffset = 156;
constexpr int kMagicOffset = 257;
constexpr int32_t kLongNameLimit = 6000;
constexpr unsigned kCopyPiece = 32768;
constexpr uint32_t kProgressInterval = 200;

enum class HeaderResult { Read, End, Failed };

struct Reader {
    ArchiveStream& stream;
    ArchiveTarget& target;
    const ArchiveHooks& hooks;
    int64_t total;
    bool extractedFile = false;
    char header[kHeaderRead] = {};

    HeaderResult readHeader() {
        if (stream.atEnd()) {
            if (extractedFile) return HeaderResult::End;
            services::logError(L"unexpected eof");
            return HeaderResult::Failed;
        }
        if (stream.read(header, kHeaderRead) < 0) {
            services::logError(L"gzread failed");
            return HeaderResult::Failed;
        }
        if (std::memcmp(header + kMagicOffset, "ustar", 5) != 0) {
            if (extractedFile) return HeaderResult::End;
            services::logError(L"no magic number");
            return HeaderResult::Failed;
        }
        if (!stream.skip(kBlock - kHeaderRead)) {
            services::logError(L"gzseek 1 failed");
            return HeaderResult::Failed;
        }
        return HeaderResult::Read;
    }

    void reportProgress() {
        if (!hooks.progress || total <= 0) return;
        const float share = static_cast<float>(stream.position()) / static_cast<float>(total) * 100.0f;
        hooks.progress(100 + static_cast<int>(share));
    }

    bool cancelled() const { return hooks.cancelled && hooks.cancelled(); }

    bool extractFile(const std::string& name, int32_t size) {
        services::logMessage(L"extracting %S (size %d)", name, size);
        std::unique_ptr<ArchiveFile> file = target.createFile(name);
        if (!file) return false;
        std::vector<char> buffer(kCopyPiece);
        int64_t written = 0;
        bool first = true;
        uint32_t lastProgress = 0;
        while (written < size) {
            if (cancelled()) return true;
            const unsigned wanted = static_cast<unsigned>(std::min<int64_t>(size - written, kCopyPiece));
            const int got = stream.read(buffer.data(), wanted);
            if (got <= 0) break;
            if (!file->write(buffer.data(), static_cast<unsigned>(got)) || file->failed()) break;
            written += got;
            const uint32_t now = hooks.tickCount ? hooks.tickCount() : 0;
            if (first || now - lastProgress >= kProgressInterval) {
                first = false;
                lastProgress = now;
                reportProgress();
            }
        }
        if (file->failed()) {
            services::logMessage(L"stream error");
            return false;
        }
        if (written < size) {
            services::logMessage(L"sizes don't match: %d, %d", static_cast<int32_t>(written), size);
            return false;
        }
        return true;
    }

    int32_t padding(int32_t size) const { return size % kBlock == 0 ? 0 : kBlock - size % kBlock; }

    // Reads a long-name record's data; false when it cannot be had or cannot be a name.
    bool readLongName(int32_t size, std::string& name) {
        if (size <= 0 || size >= kLongNameLimit) {
            services::logError(L"long file name of %d bytes refused", size);
            return false;
        }
        name.assign(static_cast<size_t>(size), '\0');
        if (stream.read(name.data(), static_cast<unsigned>(size)) != size) {
            services::logError(L"gzread failed for long file name");
            return false;
        }
        // Terminated after its data; an embedded NUL ends it earlier, as a C string would.
        name.resize(std::strlen(name.c_str()));
        if (!stream.skip(padding(size))) {
            services::logError(L"gzseek 4 failed");
            return false;
        }
        return true;
    }

    bool run() {
        HeaderResult state = readHeader();
        while (state == HeaderResult::Read) {
            int32_t size = parseTarSize(std::string_view(header + kSizeOffset, 12));
            char type = header[kTypeOffset];
            std::string name;
            if (type == 'L') {
                if (!readLongName(size, name)) return false;
                state = readHeader();
                if (state != HeaderResult::Read) return false;
                size = parseTarSize(std::string_view(header + kSizeOffset, 12));
                type = header[kTypeOffset];
            } else {
                name.assign(header, strnlen(header, kNameLength));
            }
            std::replace(name.begin(), name.end(), '/', '\\');
            if (size < 0) {
                services::logError(L"negative size %d of %S", size, name);
                return false;
            }
            // Entries are only written below the target; one that is not is a damaged or hostile
            // archive, not a runtime.
            if ((type == '0' || type == '5') && !isSafeEntryName(name)) {
                services::logError(L"refusing archive entry %S", name);
                return false;
            }
            if (type == '5') {
                target.createDirectory(name);
            } else if (type == '0') {
                reportProgress();
                if (!extractFile(name, size)) {
                    services::logError(L"extract file failed");
                    return false;
                }
                extractedFile = true;
            } else if (!stream.skip(size)) {
                services::logError(L"gzseek 2 failed");
                return false;
            }
            if (!stream.skip(padding(size))) {
                services::logError(L"gzseek 3 failed");
                return false;
            }
            if (cancelled()) return true;
            state = readHeader();
        }
        return state == HeaderResult::End && extractedFile;
    }
};

}  // namespace

int32_t parseTarSize(std::string_view field) {
    uint32_t value = 0;
    bool significant = false;
    for (size_t i = 0; i < field.size() && i < 12; ++i) {
        const char c = field[i];
        if (c == '\0') break;
        if (!significant) {
            if (c == ' ' || c == '0') continue;
            significant = true;
        } else if (c == ' ') {
            break;
        }
        // Unsigned arithmetic: a hostile field wraps instead of overflowing.
        value = value * 8 + static_cast<uint32_t>(c - '0');
    }
    return static_cast<int32_t>(value);
}

bool isSafeEntryName(std::string_view name) { return base::staysInside(name); }

bool extractTarEntries(ArchiveStream& stream, ArchiveTarget& target, const ArchiveHooks& hooks, int64_t total) {
    Reader reader{stream, target, hooks, total};
    return reader.run();
}

}  // namespace jre
