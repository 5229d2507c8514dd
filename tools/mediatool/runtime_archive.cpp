#include "mediatool/runtime_archive.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "base/text.h"
#include "mediatool/build_error.h"
#include "mediatool/file_access.h"

namespace media {

namespace {

constexpr size_t kBlock = 512;
constexpr size_t kNameField = 100;
constexpr size_t kChunk = 64 * 1024;
// The launcher keeps a long name in a buffer of 6000 bytes with its terminator.
constexpr size_t kLongNameLimit = 5998;
// Sizes are read back as signed 32-bit numbers.
constexpr int64_t kEntrySizeLimit = INT32_MAX;
// Enough of a jvm.dll to reach its PE header.
constexpr size_t kHeaderPrefix = 64 * 1024;

// Where the launcher looks for jvm.dll below the runtime home, in its order: the configured
// subdirectory of bin first, then the fixed ones; a JDK's own jre folder after bin.
std::vector<std::string> jvmCandidates(const std::string& preferred) {
    std::vector<std::string> subdirectories;
    if (!preferred.empty()) subdirectories.push_back(preferred);
    for (const char* fixed : {"client", "server", "j9vm", "hotspot", "jrockit"}) subdirectories.push_back(fixed);
    std::vector<std::string> candidates;
    for (const char* bin : {"bin/", "jre/bin/"}) {
        for (const std::string& sub : subdirectories) candidates.push_back(bin + sub + "/jvm.dll");
    }
    return candidates;
}

std::string candidateList() {
    return "bin/client, bin/server, bin/j9vm, bin/hotspot or bin/jrockit";
}

[[noreturn]] void fail(const RuntimeExpectation& expected, const std::string& what) {
    throw MediaBuildError((expected.where.empty() ? std::string("runtime") : expected.where) + ": " + what);
}

void compareMachines(const RuntimeExpectation& expected, const std::string& runtime, const std::string& dll,
                     uint16_t machine) {
    if (expected.machine == 0 || machine == expected.machine) return;
    if (machine == 0) fail(expected, runtime + ": " + dll + " is not a Windows DLL");
    fail(expected, runtime + ": its jvm.dll (" + dll + ") is " + machineName(machine) + ", but the template " +
                       expected.templatePath + " is " + machineName(expected.machine) +
                       "; a launcher loads only a jvm.dll of its own bitness");
}

// ---- gzip ----

class GzipWriter {
public:
    explicit GzipWriter(const ByteSink& sink) : sink_(sink), out_(kChunk) {
        if (deflateInit2(&stream_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
            throw MediaBuildError("zlib could not start compressing");
        }
        // No time and a fixed system byte, so that the bytes do not depend on the build machine.
        header_.os = 255;
        deflateSetHeader(&stream_, &header_);
    }
    ~GzipWriter() { deflateEnd(&stream_); }

    void write(const void* data, size_t size) {
        total_ += static_cast<int64_t>(size);
        stream_.next_in = static_cast<Bytef*>(const_cast<void*>(data));
        stream_.avail_in = static_cast<uInt>(size);
        pump(Z_NO_FLUSH);
    }
    void finish() { pump(Z_FINISH); }
    int64_t total() const { return total_; }

private:
    void pump(int flush) {
        for (;;) {
            stream_.next_out = out_.data();
            stream_.avail_out = static_cast<uInt>(out_.size());
            const int result = deflate(&stream_, flush);
            if (result == Z_STREAM_ERROR) throw MediaBuildError("zlib failed while compressing");
            sink_(out_.data(), out_.size() - stream_.avail_out);
            if (flush == Z_FINISH ? result == Z_STREAM_END : stream_.avail_out != 0) return;
        }
    }

    const ByteSink& sink_;
    std::vector<Bytef> out_;
    z_stream stream_{};
    gz_header header_{};
    int64_t total_ = 0;
};

class GzipReader {
public:
    GzipReader(std::FILE* file, std::string path) : file_(file), path_(std::move(path)), in_(kChunk) {
        if (inflateInit2(&stream_, 15 + 16) != Z_OK) {
            std::fclose(file_);
            throw MediaBuildError("zlib could not start decompressing");
        }
    }
    ~GzipReader() {
        inflateEnd(&stream_);
        std::fclose(file_);
    }

    // Fills `size` bytes, or fewer at the end of the data.
    size_t read(void* buffer, size_t size) {
        stream_.next_out = static_cast<Bytef*>(buffer);
        stream_.avail_out = static_cast<uInt>(size);
        while (stream_.avail_out > 0 && !ended_) {
            if (stream_.avail_in == 0) {
                stream_.avail_in = static_cast<uInt>(std::fread(in_.data(), 1, in_.size(), file_));
                stream_.next_in = in_.data();
                if (stream_.avail_in == 0) {
                    if (std::ferror(file_)) throw MediaBuildError("cannot read " + path_);
                    if (!betweenMembers_) throw MediaBuildError(path_ + " is truncated");
                    ended_ = true;
                    break;
                }
            }
            betweenMembers_ = false;
            const int result = inflate(&stream_, Z_NO_FLUSH);
            if (result == Z_STREAM_END) {
                // gzip allows several members one after the other.
                inflateReset(&stream_);
                betweenMembers_ = true;
            } else if (result != Z_OK && result != Z_BUF_ERROR) {
                throw MediaBuildError(path_ + " is not gzip-compressed data");
            }
        }
        produced_ += static_cast<int64_t>(size - stream_.avail_out);
        return size - stream_.avail_out;
    }

    int64_t produced() const { return produced_; }

    void skip(int64_t count) {
        std::array<char, 16384> scratch;
        while (count > 0) {
            const size_t want = static_cast<size_t>(std::min<int64_t>(count, scratch.size()));
            if (read(scratch.data(), want) != want) throw MediaBuildError(path_ + " is truncated");
            count -= static_cast<int64_t>(want);
        }
    }

private:
    std::FILE* file_;
    std::string path_;
    std::vector<Bytef> in_;
    z_stream stream_{};
    bool ended_ = false;
    bool betweenMembers_ = false;
    int64_t produced_ = 0;
};

// ---- tar headers ----

using Header = std::array<char, kBlock>;

void putOctal(char* field, size_t width, uint64_t value) {
    // width - 1 digits and a NUL, as GNU tar writes them.
    for (size_t i = width - 1; i-- > 0;) {
        field[i] = static_cast<char>('0' + (value & 7));
        value >>= 3;
    }
    field[width - 1] = '\0';
}

Header makeHeader(const std::string& name, uint64_t size, char type) {
    Header header{};
    std::memcpy(header.data(), name.data(), std::min(name.size(), kNameField));
    putOctal(header.data() + 100, 8, type == '5' ? 0755 : 0644);
    putOctal(header.data() + 108, 8, 0);   // owner
    putOctal(header.data() + 116, 8, 0);   // group
    putOctal(header.data() + 124, 12, size);
    putOctal(header.data() + 136, 12, 0);  // time
    header[156] = type;
    std::memcpy(header.data() + 257, "ustar  ", 8);  // GNU magic and version
    std::memset(header.data() + 148, ' ', 8);
    unsigned sum = 0;
    for (const char c : header) sum += static_cast<unsigned char>(c);
    putOctal(header.data() + 148, 7, sum);
    header[155] = ' ';
    return header;
}

uint64_t parseOctal(const char* field, size_t width) {
    // GNU's base-256 form for large numbers.
    if (static_cast<unsigned char>(field[0]) & 0x80) {
        uint64_t value = static_cast<unsigned char>(field[0]) & 0x7F;
        for (size_t i = 1; i < width; ++i) value = value << 8 | static_cast<unsigned char>(field[i]);
        return value;
    }
    uint64_t value = 0;
    for (size_t i = 0; i < width && field[i] != '\0'; ++i) {
        if (field[i] >= '0' && field[i] <= '7') value = value * 8 + static_cast<uint64_t>(field[i] - '0');
    }
    return value;
}

int64_t padding(int64_t size) { return (static_cast<int64_t>(kBlock) - size % kBlock) % kBlock; }

// ---- the folder ----

struct FolderEntry {
    std::filesystem::path path;
    std::string name;  // relative, '/' separators, directories ending in '/', as stored
    bool directory = false;
    int64_t size = 0;
};

class FolderWalk {
public:
    FolderWalk(const std::string& where, const std::string& folder) : where_(where), folder_(folder) {}

    void walk(const std::filesystem::path& directory, const std::string& prefix) {
        std::vector<std::pair<std::string, std::filesystem::directory_entry>> children;
        std::error_code error;
        for (std::filesystem::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
            children.emplace_back(displayPath(it->path().filename()), *it);
        }
        if (error) fail("cannot list " + displayPath(directory) + ": " + error.message());
        // By the bytes of the names: the same order on every machine.
        std::sort(children.begin(), children.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [childName, entry] : children) {
            const std::string relative = prefix + childName;
            const std::filesystem::file_status status = entry.symlink_status(error);
            if (std::filesystem::is_symlink(status)) fail(relative + " is a link; the launcher unpacks only files and folders");
            if (std::filesystem::is_directory(status)) {
                entries.push_back({entry.path(), storedName(relative + "/"), true, 0});
                walk(entry.path(), relative + "/");
            } else if (std::filesystem::is_regular_file(status)) {
                const auto size = static_cast<int64_t>(entry.file_size(error));
                if (error) fail("cannot read " + relative + ": " + error.message());
                if (size > kEntrySizeLimit) fail(relative + " is 2 GB or larger, more than the launcher unpacks");
                entries.push_back({entry.path(), storedName(relative), false, size});
                totalBytes += size;
            } else {
                fail(relative + " is neither a file nor a folder; the launcher unpacks only files and folders");
            }
        }
    }

    std::vector<FolderEntry> entries;
    int64_t totalBytes = 0;

private:
    [[noreturn]] void fail(const std::string& what) const {
        throw MediaBuildError(where_ + ": " + folder_ + ": " + what);
    }

    // Names Windows allows; the launcher creates them under their UTF-8 text.
    std::string storedName(const std::string& relative) const {
        for (const char c : relative) {
            if (static_cast<unsigned char>(c) < 0x20 || std::strchr("\\:<>\"|?*", c)) {
                fail("the name \"" + relative + "\" has a character Windows does not allow in file names");
            }
        }
        if (!base::isUtf8(relative)) fail("the name \"" + relative + "\" is not UTF-8 text");
        if (relative.size() > kLongNameLimit) fail("the name \"" + relative + "\" is too long for the launcher");
        return relative;
    }

    std::string where_;
    std::string folder_;
};

class TarWriter {
public:
    explicit TarWriter(GzipWriter& gzip) : gzip_(gzip) {}

    void entry(const std::string& name, uint64_t size, char type) {
        if (name.size() > kNameField) {
            // GNU long name: a record whose data is the name and its terminator, then the real
            // header with the name cut to its field.
            const Header longName = makeHeader("././@LongLink", name.size() + 1, 'L');
            gzip_.write(longName.data(), longName.size());
            gzip_.write(name.c_str(), name.size() + 1);
            pad(static_cast<int64_t>(name.size()) + 1);
        }
        const Header header = makeHeader(name, size, type);
        gzip_.write(header.data(), header.size());
    }

    void pad(int64_t size) {
        static const std::array<char, kBlock> zeros{};
        gzip_.write(zeros.data(), static_cast<size_t>(padding(size)));
    }

    void end() {
        static const std::array<char, 2 * kBlock> zeros{};
        gzip_.write(zeros.data(), zeros.size());
    }

private:
    GzipWriter& gzip_;
};

}  // namespace

uint16_t peMachineOf(ByteSource& source) {
    uint8_t bytes[4];
    uint32_t got = 0;
    const auto readExactly = [&](uint32_t size) { return source.read(bytes, size, got) && got == size; };
    if (!source.seek(0) || !readExactly(2) || bytes[0] != 'M' || bytes[1] != 'Z') return 0;
    if (!source.seek(60) || !readExactly(4)) return 0;
    const uint32_t offset = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    if (offset > INT32_MAX || !source.seek(offset) || !readExactly(4)) return 0;
    if (bytes[0] != 'P' || bytes[1] != 'E' || bytes[2] != 0 || bytes[3] != 0 || !readExactly(2)) return 0;
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

std::string machineName(uint16_t machine) {
    if (machine == 0x14C) return "32-bit (x86)";
    if (machine == 0x8664) return "64-bit (x64)";
    char text[32];
    std::snprintf(text, sizeof text, "for machine 0x%04X", machine);
    return text;
}

void checkRuntimeFolder(const std::string& folder, const RuntimeExpectation& expected) {
    const std::filesystem::path root = nativePath(folder);
    std::error_code error;
    if (!std::filesystem::is_directory(root, error)) fail(expected, "no such folder: " + folder);
    if (!std::filesystem::is_regular_file(root / "bin" / "java.exe", error)) {
        fail(expected, folder + " is not a Java runtime: it has no bin/java.exe");
    }
    for (const std::string& candidate : jvmCandidates(expected.jvmSubdirectory)) {
        const std::filesystem::path dll = root / nativePath(candidate);
        if (!std::filesystem::is_regular_file(dll, error)) continue;
        FileByteSource source(openForReading(dll));
        if (!source.isOpen()) {
            const int cause = errno;
            fail(expected, "cannot read " + displayPath(dll) + ": " + errnoText(cause));
        }
        compareMachines(expected, folder, candidate, peMachineOf(source));
        return;
    }
    fail(expected, folder + " is not a Java runtime: it has no jvm.dll in " + candidateList());
}

int64_t checkRuntimeArchive(const std::string& archive, const RuntimeExpectation& expected) {
    std::FILE* file = openForReading(nativePath(archive));
    if (!file) {
        const int cause = errno;
        fail(expected, (cause == ENOENT ? "no such file: " + archive : "cannot open " + archive + ": " + errnoText(cause)));
    }
    const std::vector<std::string> candidates = jvmCandidates(expected.jvmSubdirectory);
    // Machine of each candidate found, by its rank.
    std::vector<std::optional<uint16_t>> found(candidates.size());
    int64_t unpackedSize = 0;
    try {
        GzipReader gzip(file, archive);
        std::string longName;
        Header header;
        while (gzip.read(header.data(), kBlock) == kBlock && std::memcmp(header.data() + 257, "ustar", 5) == 0) {
            const auto size = static_cast<int64_t>(std::min<uint64_t>(parseOctal(header.data() + 124, 12), INT64_MAX / 2));
            const char type = header[156];
            std::string name = longName.empty() ? std::string(header.data(), strnlen(header.data(), kNameField))
                                                : longName;
            longName.clear();
            if (type == 'L') {
                longName.resize(static_cast<size_t>(std::min<int64_t>(size, kLongNameLimit + 1)));
                if (gzip.read(longName.data(), longName.size()) != longName.size()) break;
                gzip.skip(size - static_cast<int64_t>(longName.size()) + padding(size));
                longName.resize(std::strlen(longName.c_str()));
                continue;
            }
            std::replace(name.begin(), name.end(), '\\', '/');
            while (name.starts_with("./")) name.erase(0, 2);
            const auto rank = std::find(candidates.begin(), candidates.end(), name) - candidates.begin();
            int64_t consumed = 0;
            if (type == '0' && rank < static_cast<std::ptrdiff_t>(candidates.size())) {
                std::vector<uint8_t> prefix(static_cast<size_t>(std::min<int64_t>(size, kHeaderPrefix)));
                consumed = static_cast<int64_t>(gzip.read(prefix.data(), prefix.size()));
                MemoryByteSource source(prefix.data(), static_cast<size_t>(consumed));
                found[static_cast<size_t>(rank)] = peMachineOf(source);
            }
            gzip.skip(size - consumed + padding(size));
        }
        // The rest (the end blocks) counts towards the unpacked size too.
        for (std::array<char, 16384> rest; gzip.read(rest.data(), rest.size()) > 0;) {}
        unpackedSize = gzip.produced();
    } catch (const MediaBuildError& error) {
        fail(expected, std::string("cannot read the runtime archive: ") + error.what());
    }
    for (size_t i = 0; i < candidates.size(); ++i) {
        if (found[i]) {
            compareMachines(expected, archive, candidates[i], *found[i]);
            break;
        }
    }
    return unpackedSize;
}

int64_t packRuntimeFolder(const std::string& folder, const std::string& where,
                          const ByteSink& sink, const ByteProgress& progress) {
    FolderWalk walk(where, folder);
    walk.walk(nativePath(folder), "");

    GzipWriter gzip(sink);
    TarWriter tar(gzip);
    std::vector<char> buffer(kChunk);
    int64_t done = 0;
    for (const FolderEntry& entry : walk.entries) {
        if (entry.directory) {
            tar.entry(entry.name, 0, '5');
            continue;
        }
        FileByteSource source(openForReading(entry.path));
        if (!source.isOpen()) {
            const int cause = errno;
            throw MediaBuildError(where + ": cannot open " + displayPath(entry.path) + ": " + errnoText(cause));
        }
        // The header is written before the data: a file that changes size meanwhile would
        // leave an archive the launcher reads wrongly.
        tar.entry(entry.name, static_cast<uint64_t>(entry.size), '0');
        int64_t copied = 0;
        while (copied < entry.size) {
            uint32_t got = 0;
            const auto want = static_cast<uint32_t>(std::min<int64_t>(entry.size - copied, kChunk));
            if (!source.read(buffer.data(), want, got) || got == 0) break;
            gzip.write(buffer.data(), got);
            copied += got;
            done += got;
            if (progress) progress(done, walk.totalBytes);
        }
        uint32_t extra = 0;
        if (copied != entry.size || (source.read(buffer.data(), 1, extra) && extra != 0)) {
            throw MediaBuildError(where + ": " + displayPath(entry.path) + " changed while it was packed");
        }
        tar.pad(entry.size);
    }
    tar.end();
    gzip.finish();
    return gzip.total();
}

}  // namespace media
