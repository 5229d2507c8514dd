// The tar reader of the included runtime ("jre.tar.gz"): ustar headers with their prefix
// field, GNU long names, pax extended headers ("path"; global ones are skipped), directories
// and regular files; every other entry type is skipped with its data. Names are UTF-8 text;
// folders above an entry are created whether or not the archive has entries for them. The
// stream and the file system are reached through small interfaces, so the same reader runs
// over zlib under Windows and over test data on the host.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace jre {

// The uncompressed archive (zlib's gz functions in the launcher).
class ArchiveStream {
public:
    virtual ~ArchiveStream() = default;
    // Bytes read, 0 at the end, -1 on an error.
    virtual int read(void* buffer, unsigned size) = 0;
    virtual bool skip(int64_t count) = 0;
    virtual int64_t position() = 0;
    virtual bool atEnd() = 0;
};

class ArchiveFile {
public:
    virtual ~ArchiveFile() = default;
    // False on a short write or an error.
    virtual bool write(const void* data, unsigned size) = 0;
    // True when the file's stream reported an error.
    virtual bool failed() = 0;
};

// Where entries go; names are relative UTF-8 text with "\" separators and no "." or empty
// components, already checked to stay inside. A folder comes before the entries inside it.
class ArchiveTarget {
public:
    virtual ~ArchiveTarget() = default;
    virtual void createDirectory(const std::string& name) = 0;
    // Null when the file cannot be created; the launcher treats that as fatal itself.
    virtual std::unique_ptr<ArchiveFile> createFile(const std::string& name) = 0;
};

struct ArchiveHooks {
    std::function<bool()> cancelled;
    // Progress position for control 1001 (100 + percent of `total`), when there is a window.
    std::function<void(int position)> progress;
    std::function<uint32_t()> tickCount;
};

// Parses a tar size field: at most 12 bytes, a NUL ends it, blanks and zeros before the first
// significant digit are skipped, a blank after it ends it; other characters add as octal
// digits without further checks. Kept to 32 bits, as the format's readers always did.
int32_t parseTarSize(std::string_view field);

// True when an entry name (with "\" separators) stays inside the target directory: not
// absolute, no drive or stream colon, no "." or ".." component.
bool isSafeEntryName(std::string_view name);

// Reads the entries of `stream` into `target`. True when the archive was read to its end and
// at least one regular file was extracted, or when the user cancelled.
bool extractTarEntries(ArchiveStream& stream, ArchiveTarget& target, const ArchiveHooks& hooks, int64_t total);

}  // namespace jre
