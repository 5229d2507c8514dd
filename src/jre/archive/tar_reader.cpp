#include "jre/archive/tar_reader.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <set>
#include <vector>

#include "base/relative_path.h"
#include "base/text.h"
#include "services/log.h"

namespace jre {

namespace {

constexpr int kBlock = 512;
constexpr int kHeaderRead = 500;
constexpr int kNameLength = 100;
constexpr int kSizeOffset = 124;
constexpr int kTypeOffset = 156;
constexpr int kMagicOffset = 257;
constexpr int kPrefixOffset = 345;
constexpr int kPrefixLength = 155;
// A longer name fits no Windows path; the limit also bounds what a hostile record makes us keep.
constexpr int32_t kLongNameLimit = 6000;
// Pax records of a runtime's entries are times, names and a few attributes.
constexpr int32_t kPaxHeaderLimit = 1 << 20;
// Bytes per read and write of an entry's data. zlib inflates a read of at least twice its
// buffer (256 KB, archive_files.cpp) straight into the caller's memory instead of through its own
// buffer, and a runtime's libraries are megabytes; a cancel still takes effect within a few
// milliseconds.
constexpr unsigned kCopyPiece = 1u << 20;
// The copy buffer starts at this size and grows to kCopyPiece once an entry fills it: an archive
// of small files never takes the full piece.
constexpr unsigned kFirstCopyPiece = 64u << 10;
// Extension records are read in pieces of this size, so that one claiming more than the archive
// holds costs no more than what is there.
constexpr int32_t kRecordPiece = 64 << 10;
constexpr uint32_t kProgressInterval = 200;

enum class HeaderResult { Read, End, Failed };

struct Reader {
    ArchiveStream& stream;
    ArchiveTarget& target;
    const ArchiveHooks& hooks;
    int64_t total;
    bool extractedFile = false;
    char header[kHeaderRead] = {};
    std::set<std::string> createdFolders;
    // One copy buffer for every entry, taken when the first file needs it (a runtime has
    // thousands of small files; a fresh buffer each would be cleared each time).
    std::unique_ptr<char[]> copyBuffer;
    unsigned copyBufferSize = 0;

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
        if (!copyBuffer) {
            copyBuffer.reset(new char[kFirstCopyPiece]);
            copyBufferSize = kFirstCopyPiece;
        }
        int64_t written = 0;
        bool first = true;
        uint32_t lastProgress = 0;
        while (written < size) {
            if (cancelled()) return true;
            const unsigned wanted = static_cast<unsigned>(std::min<int64_t>(size - written, copyBufferSize));
            const int got = stream.read(copyBuffer.get(), wanted);
            if (got <= 0) break;
            if (!file->write(copyBuffer.get(), static_cast<unsigned>(got)) || file->failed()) break;
            written += got;
            if (static_cast<unsigned>(got) == copyBufferSize && copyBufferSize < kCopyPiece && written < size) {
                copyBuffer.reset(new char[kCopyPiece]);
                copyBufferSize = kCopyPiece;
            }
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

    // Reads an extension record's data (a long name, pax records) with its padding; false when
    // it cannot be had.
    bool readRecord(int32_t size, std::string& data, const wchar_t* failure) {
        data.clear();
        while (static_cast<int32_t>(data.size()) < size) {
            const size_t had = data.size();
            const int32_t wanted = std::min<int32_t>(size - static_cast<int32_t>(had), kRecordPiece);
            data.resize(had + static_cast<size_t>(wanted));
            if (stream.read(data.data() + had, static_cast<unsigned>(wanted)) != wanted) {
                services::logError(L"%s", failure);
                return false;
            }
        }
        if (!stream.skip(padding(size))) {
            services::logError(L"gzseek 4 failed");
            return false;
        }
        return true;
    }

    // A long-name record's data; false when it cannot be had or cannot be a name.
    bool readLongName(int32_t size, std::string& name) {
        if (size <= 0 || size >= kLongNameLimit) {
            services::logError(L"long file name of %d bytes refused", size);
            return false;
        }
        if (!readRecord(size, name, L"gzread failed for long file name")) return false;
        // Terminated after its data; an embedded NUL ends it earlier, as a C string would.
        name.resize(std::strlen(name.c_str()));
        return true;
    }

    // A pax extended header: records "LENGTH key=value\n", LENGTH counting the whole record.
    // Only "path" matters here (the next entry's name); a record that does not parse makes the
    // archive a damaged one.
    bool readPaxHeader(int32_t size, std::optional<std::string>& path) {
        if (size < 0 || size > kPaxHeaderLimit) {
            services::logError(L"pax header of %d bytes refused", size);
            return false;
        }
        std::string data;
        if (!readRecord(size, data, L"gzread failed for pax header")) return false;
        std::string_view rest(data);
        while (!rest.empty()) {
            size_t digits = 0;
            size_t length = 0;
            while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9' && length <= rest.size()) {
                length = length * 10 + static_cast<size_t>(rest[digits] - '0');
                ++digits;
            }
            if (digits == 0 || digits >= rest.size() || rest[digits] != ' ' || length <= digits + 1 ||
                length > rest.size() || rest[length - 1] != '\n') {
                services::logError(L"malformed pax header");
                return false;
            }
            const std::string_view record = rest.substr(digits + 1, length - digits - 2);
            const size_t equals = record.find('=');
            if (equals == std::string_view::npos) {
                services::logError(L"malformed pax header");
                return false;
            }
            // An empty value takes the keyword back: the header's own name counts again.
            if (record.substr(0, equals) == "path") {
                if (equals + 1 == record.size())
                    path.reset();
                else
                    path = std::string(record.substr(equals + 1));
            }
            rest.remove_prefix(length);
        }
        return true;
    }

    // The header's own name: the name field, after the prefix field and a "/" in a POSIX ustar
    // header (GNU headers keep other data there).
    std::string headerName() const {
        std::string name(header, strnlen(header, kNameLength));
        if (std::memcmp(header + kMagicOffset, "ustar\0", 6) == 0 && header[kPrefixOffset] != '\0') {
            name.insert(0, 1, '/');
            name.insert(0, header + kPrefixOffset, strnlen(header + kPrefixOffset, kPrefixLength));
        }
        return name;
    }

    // The entry's name as it goes to the target: components joined by "\", "." and empty
    // components dropped ("./bin/" names "bin"). False, with the reason logged, for a name
    // that is not UTF-8 text or that would leave the target.
    bool targetName(const std::string& entryName, std::string& name) {
        if (entryName.size() >= static_cast<size_t>(kLongNameLimit)) {
            services::logError(L"entry name of %d bytes refused", static_cast<int32_t>(entryName.size()));
            return false;
        }
        if (!base::isUtf8(entryName) || entryName.find('\0') != std::string::npos) {
            services::logError(L"entry name is not UTF-8 text: %S", entryName);
            return false;
        }
        if (!isSafeEntryName(entryName)) {
            services::logError(L"refusing archive entry %S", entryName);
            return false;
        }
        name.clear();
        size_t start = 0;
        while (start <= entryName.size()) {
            size_t end = entryName.find_first_of("/\\", start);
            if (end == std::string::npos) end = entryName.size();
            const std::string_view component(entryName.data() + start, end - start);
            if (!component.empty() && component != ".") {
                if (!name.empty()) name.push_back('\\');
                name.append(component);
            }
            start = end + 1;
        }
        return true;
    }

    // Creates the folders above `name` (and `name` itself for a folder) that this run has not
    // created yet: archives need not have entries of their own for them.
    void createFolders(const std::string& name, bool includingName) {
        size_t end = 0;
        while (end != std::string::npos) {
            end = name.find('\\', end + 1);
            if (end == std::string::npos && !includingName) break;
            std::string folder = name.substr(0, end);
            if (createdFolders.insert(folder).second) target.createDirectory(folder);
        }
    }

    bool run() {
        std::optional<std::string> paxPath;
        std::optional<std::string> longName;
        HeaderResult state = readHeader();
        while (state == HeaderResult::Read) {
            const int32_t size = parseTarSize(std::string_view(header + kSizeOffset, 12));
            const char type = header[kTypeOffset];
            if (size < 0) {
                services::logError(L"negative size %d of %S", size, headerName());
                return false;
            }
            // Records that describe the entry after them: a name goes with that entry's header.
            if (type == 'L' || type == 'x') {
                std::string name;
                if (type == 'L') {
                    if (!readLongName(size, name)) return false;
                    longName = std::move(name);
                } else if (!readPaxHeader(size, paxPath)) {
                    return false;
                }
                state = readHeader();
                if (state != HeaderResult::Read) return false;
                continue;
            }
            std::string entryName = paxPath ? *paxPath : longName ? *longName : headerName();
            paxPath.reset();
            longName.reset();
            std::string name;
            if (type == '0' || type == '5') {
                // Entries are only written below the target; one that is not is a damaged or
                // hostile archive, not a runtime.
                if (!targetName(entryName, name)) return false;
                if (name.empty() && type == '0') {
                    services::logError(L"refusing archive entry %S", entryName);
                    return false;
                }
            }
            if (type == '5') {
                // An empty name is the target itself ("./").
                if (!name.empty()) createFolders(name, true);
            } else if (type == '0') {
                createFolders(name, false);
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
