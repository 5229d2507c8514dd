#include "mediatool/media_writer.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <memory>
#include <optional>

#include "media/payload_format.h"
#include "mediatool/file_access.h"
#include "mediatool/included_name.h"
#include "mediatool/pe_image.h"
#include "mediatool/runtime_archive.h"

namespace media {

namespace {

// Large enough for sequential throughput, small enough that a build's memory stays flat
// whatever the size of the included files.
constexpr size_t kCopyChunk = 64 * 1024;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePointer = std::unique_ptr<std::FILE, FileCloser>;

void putLittleEndian(std::string& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

int32_t storedLength(size_t size, const std::string& what) {
    if (size > static_cast<size_t>(INT32_MAX)) throw MediaBuildError(what + " is too long to store");
    return static_cast<int32_t>(size);
}

// Everything after the template goes through here, so the checksum and the covered length
// always describe exactly the bytes written.
class PayloadStream {
public:
    // `peChecksum`, when given, sees every byte at its offset in the file (the payload starts at
    // `position`).
    PayloadStream(AtomicOutputFile& out, const std::function<void(int64_t)>& written, int64_t position,
                  PeChecksum* peChecksum)
        : out_(out), written_(written), position_(position), peChecksum_(peChecksum) {}

    void startCoveredRange() { covering_ = true; }
    uint32_t checksum() const { return crc_; }
    int64_t coveredLength() const { return covered_; }

    void bytes(const void* data, size_t size) {
        out_.write(data, size);
        if (peChecksum_) peChecksum_->add(static_cast<uint64_t>(position_), data, size);
        position_ += static_cast<int64_t>(size);
        if (written_) written_(static_cast<int64_t>(size));
        if (covering_) {
            crc_ = crc32Update(crc_, data, size);
            covered_ += static_cast<int64_t>(size);
        }
    }
    void int32(uint32_t value) { integer(value, 4); }
    void int64(uint64_t value) { integer(value, 8); }

    void narrowText(const std::string& text, const std::string& what) {
        int32(static_cast<uint32_t>(storedLength(text.size(), what)));
        bytes(text.data(), text.size());
    }

    // The launcher reads UTF-16LE; a wchar_t beyond the BMP (possible where wchar_t is 32 bits)
    // is stored as its surrogate pair.
    void wideText(const std::wstring& text, const std::string& what) {
        std::string encoded;
        encoded.reserve(text.size() * 2);
        for (const wchar_t unit : text) {
            const auto value = static_cast<uint32_t>(unit);
            if (value > 0x10FFFF) throw MediaBuildError(what + " holds a character beyond Unicode");
            if (value > 0xFFFF) {
                putLittleEndian(encoded, 0xD800 + ((value - 0x10000) >> 10), 2);
                putLittleEndian(encoded, 0xDC00 + ((value - 0x10000) & 0x3FF), 2);
            } else {
                putLittleEndian(encoded, value, 2);
            }
        }
        narrowText(encoded, what);
    }

private:
    void integer(uint64_t value, int size) {
        std::string encoded;
        putLittleEndian(encoded, value, size);
        bytes(encoded.data(), encoded.size());
    }

    AtomicOutputFile& out_;
    const std::function<void(int64_t)>& written_;
    int64_t position_;
    PeChecksum* peChecksum_;
    bool covering_ = false;
    uint32_t crc_ = 0;
    int64_t covered_ = 0;
};

// An included file record (size, then the scrambled bytes) or the trailing data (the bytes
// as they are). A source file's size is fixed when it is opened: the record's size field is
// already written when copying starts, so a file that grows or shrinks meanwhile is an error.
void writeIncludedData(PayloadStream& stream, const IncludedData& data, bool asRecord,
                       const std::string& what) {
    std::string buffer;
    if (data.sourcePath.empty()) {
        if (asRecord) stream.int64(data.content.size());
        for (size_t done = 0; done < data.content.size(); done += kCopyChunk) {
            buffer.assign(data.content, done, kCopyChunk);
            if (asRecord) scrambleBytes(buffer.data(), buffer.size());
            stream.bytes(buffer.data(), buffer.size());
        }
        return;
    }

    const std::filesystem::path path = nativePath(data.sourcePath);
    // A description names the place ("files[2].source: no such file: ..."); a caller of the
    // library gets the file's role instead.
    const std::string prefix = data.where.empty() ? what + " source " : data.where + ": ";
    FilePointer file(openForReading(path));
    if (!file) {
        const int error = errno;
        if (error == ENOENT && !data.where.empty()) throw MediaBuildError(prefix + "no such file: " + data.sourcePath);
        throw MediaBuildError(prefix + "cannot open " + data.sourcePath + ": " + errnoText(error));
    }
    const int64_t size = fileSize(file.get());
    if (size < 0) throw MediaBuildError(prefix + data.sourcePath + " is not a regular file");
    if (asRecord) stream.int64(static_cast<uint64_t>(size));

    buffer.resize(kCopyChunk);
    int64_t done = 0;
    while (done < size) {
        const size_t want = static_cast<size_t>(std::min<int64_t>(size - done, kCopyChunk));
        const size_t got = std::fread(buffer.data(), 1, want, file.get());
        if (got == 0) {
            if (std::ferror(file.get())) {
                const int error = errno;
                throw MediaBuildError(prefix + "cannot read " + data.sourcePath + ": " + errnoText(error));
            }
            throw MediaBuildError(prefix + data.sourcePath + " shrank while being copied (" +
                                  std::to_string(size) + " bytes when opened, " + std::to_string(done) +
                                  " read)");
        }
        if (asRecord) scrambleBytes(buffer.data(), got);
        stream.bytes(buffer.data(), got);
        done += static_cast<int64_t>(got);
    }
    if (std::fgetc(file.get()) != EOF) {
        throw MediaBuildError(prefix + data.sourcePath + " grew while being copied (" +
                              std::to_string(size) + " bytes when opened)");
    }
}

// The launcher image whose sections are copied in front of the payload.
class TemplateImage {
public:
    explicit TemplateImage(const std::string& path) : path_(path), source_(open(path)) {
        const int64_t fileBytes = source_.size();
        if (!looksLikePeImage(source_)) throw MediaBuildError("template " + path + " is not a PE image");
        int64_t headersEnd = 0;
        try {
            PayloadReader reader(source_);
            source_.seek(60);
            const int64_t peOffset = static_cast<uint32_t>(reader.readInt());
            source_.seek(peOffset + 6);
            const int64_t sectionCount = static_cast<uint16_t>(reader.readShort());
            source_.seek(peOffset + 20);
            const int64_t optionalHeaderSize = static_cast<uint16_t>(reader.readShort());
            headersEnd = peOffset + 24 + optionalHeaderSize + 40 * sectionCount;
            imageEnd_ = findPayloadStart(source_);
            machine_ = peMachineOf(source_);
            checksumField_ = peOffset + 24 + 64;
            source_.seek(peOffset + 24);
            const auto magic = static_cast<uint16_t>(reader.readShort());
            const int64_t directories = peOffset + 24 + (magic == 0x20B ? 112 : 96);
            source_.seek(directories - 4);
            const auto directoryCount = static_cast<uint32_t>(reader.readInt());
            if ((magic == 0x10B || magic == 0x20B) && directoryCount > 4 &&
                directories + 40 <= peOffset + 24 + optionalHeaderSize) {
                source_.seek(directories + 32);
                if (reader.readInt() != 0) certificateEntry_ = directories + 32;
            }
        } catch (const PayloadError&) {
            throw MediaBuildError("template " + path + " has truncated PE headers");
        }
        // A payload placed over the headers would move the very offsets the launcher uses to
        // find it.
        if (imageEnd_ < headersEnd) {
            throw MediaBuildError("template " + path + ": its last section ends inside the PE headers");
        }
        if (imageEnd_ > fileBytes) {
            throw MediaBuildError("template " + path + " is truncated: its last section ends at byte " +
                                  std::to_string(imageEnd_) + " but the file has " +
                                  std::to_string(fileBytes));
        }
    }

    int64_t imageEnd() const { return imageEnd_; }
    uint16_t machine() const { return machine_; }
    // The file offset of the certificate table's directory entry of a signed template, else 0.
    int64_t certificateEntry() const { return certificateEntry_; }
    // The file offset of the optional header's CheckSum.
    int64_t checksumField() const { return checksumField_; }

    std::vector<uint8_t> readImage() {
        std::vector<uint8_t> bytes(static_cast<size_t>(imageEnd_));
        source_.seek(0);
        for (size_t done = 0; done < bytes.size();) {
            uint32_t got = 0;
            const auto want = static_cast<uint32_t>(std::min<size_t>(bytes.size() - done, kCopyChunk));
            if (!source_.read(bytes.data() + done, want, got) || got == 0) {
                throw MediaBuildError("cannot read template " + path_);
            }
            done += got;
        }
        return bytes;
    }

    void copyImageTo(AtomicOutputFile& out) {
        std::string buffer(kCopyChunk, '\0');
        int64_t done = 0;
        source_.seek(0);
        while (done < imageEnd_) {
            const auto want = static_cast<uint32_t>(std::min<int64_t>(imageEnd_ - done, kCopyChunk));
            uint32_t got = 0;
            if (!source_.read(buffer.data(), want, got) || got == 0) {
                throw MediaBuildError("cannot read template " + path_);
            }
            out.write(buffer.data(), got);
            done += got;
        }
    }

private:
    static std::FILE* open(const std::string& path) {
        std::FILE* file = openForReading(nativePath(path));
        if (!file) {
            const int error = errno;
            throw MediaBuildError("cannot open template " + path + ": " + errnoText(error));
        }
        return file;
    }

    std::string path_;
    FileByteSource source_;
    int64_t imageEnd_ = 0;
    uint16_t machine_ = 0;
    int64_t certificateEntry_ = 0;
    int64_t checksumField_ = 0;
};

ConfigTable configToStore(const MediaDescription& description) {
    ConfigTable config = description.config;
    if (!description.fillFileList) return config;
    std::string names;
    for (const IncludedFile& file : description.files) {
        if (file.name.empty() || file.name.find(kFileNameSeparator) != std::string::npos) {
            throw MediaBuildError("included file name \"" + file.name + "\" cannot be listed in config " +
                                  std::to_string(kConfigIncludedFileNames));
        }
        names += file.name;
        names += kFileNameSeparator;
    }
    if (!names.empty()) names.pop_back();
    config[kConfigIncludedFileCount] = std::to_string(description.files.size());
    config[kConfigIncludedFileNames] = names;
    return config;
}

MessageTable messagesToStore(const MediaDescription& description) {
    MessageTable messages;
    if (description.defaultMessages) messages = defaultMessageTable();
    for (const auto& [id, text] : description.messages) messages[id] = text;
    return messages;
}

void writeTables(PayloadStream& stream, const ConfigTable& config, const MessageTable& messages,
                 const std::vector<LanguageBlock>& languages) {
    stream.int32(static_cast<uint32_t>(storedLength(config.size(), "the config table")));
    for (const auto& [id, value] : config) {
        stream.int32(static_cast<uint32_t>(id));
        stream.narrowText(value, "config " + std::to_string(id));
    }
    stream.int32(static_cast<uint32_t>(storedLength(messages.size(), "the message table")));
    for (const auto& [id, text] : messages) {
        stream.int32(static_cast<uint32_t>(id));
        stream.wideText(text, "message " + std::to_string(id));
    }
    stream.int32(static_cast<uint32_t>(storedLength(languages.size(), "the language list")));
    for (const LanguageBlock& block : languages) {
        const std::string what = "language \"" + block.code + "\"";
        stream.narrowText(block.code, what);
        stream.int32(static_cast<uint32_t>(storedLength(block.entries.size(), what)));
        for (const auto& [id, text] : block.entries) {
            stream.int32(static_cast<uint32_t>(id));
            stream.wideText(text, what + " message " + std::to_string(id));
        }
    }
}

// The included runtime's name in the extraction directory.
constexpr const char* kRuntimeArchiveName = "jre.tar.gz";
constexpr int32_t kConfigRuntimeUnpackedSize = 151;
constexpr int32_t kConfigJvmSubdirectory = 152;

bool isRuntimeArchive(const std::string& storedName) {
    return includedNameKey(storedName) == includedNameKey(kRuntimeArchiveName);
}

// Bytes the output will have, for progress: the image and every included file's content; the
// tables are small beside them.
int64_t expectedOutputSize(int64_t imageEnd, const MediaDescription& description) {
    int64_t total = imageEnd;
    const auto add = [&](const IncludedData& data) {
        std::error_code error;
        if (!data.sourcePath.empty()) {
            const auto size = std::filesystem::file_size(nativePath(data.sourcePath), error);
            if (!error) total += static_cast<int64_t>(size);
        } else {
            total += static_cast<int64_t>(data.content.size());
        }
    };
    for (const IncludedFile& file : description.files) add(file.data);
    add(description.trailing);
    return total;
}

}  // namespace

void writeMediaFile(const std::string& templatePath, const MediaDescription& original,
                    const std::string& outputPath, const BuildProgress& progress) {
    // Closed again before the output is renamed: under Windows an open template could not be
    // replaced when it is also the output.
    std::optional<TemplateImage> image(std::in_place, templatePath);
    // A branded image is rewritten in memory; so is a signed template, whose certificate table
    // would otherwise point into the payload. Both then get the checksum of the whole file.
    std::optional<std::vector<uint8_t>> rewritten;
    if (original.branding) {
        rewritten = brandImage(image->readImage(), *original.branding, "template " + templatePath);
    } else if (image->certificateEntry() != 0) {
        rewritten = image->readImage();
        std::fill_n(rewritten->begin() + image->certificateEntry(), 8, 0);
    }
    const int64_t payloadStart = rewritten ? static_cast<int64_t>(rewritten->size()) : image->imageEnd();

    MediaDescription description = original;
    RuntimeExpectation expected;
    expected.machine = image->machine();
    expected.templatePath = templatePath;
    if (const auto sub = description.config.find(kConfigJvmSubdirectory); sub != description.config.end()) {
        expected.jvmSubdirectory = sub->second;
    }
    if (description.checkRuntimeMachine) {
        for (const IncludedFile& file : description.files) {
            if (!isRuntimeArchive(file.name) || file.data.sourcePath.empty()) continue;
            expected.where = file.data.where;
            const int64_t unpacked = checkRuntimeArchive(file.data.sourcePath, expected);
            // The launcher's progress divides by it; an author need not count it.
            description.config.try_emplace(kConfigRuntimeUnpackedSize, std::to_string(std::min<int64_t>(unpacked, INT32_MAX)));
        }
    }
    // Packed before the output exists; the archive's unpacked size goes into the config table,
    // which comes first in the payload.
    std::optional<ScratchFile> packedRuntime;
    if (description.runtime) {
        const RuntimeFolder& runtime = *description.runtime;
        expected.where = runtime.where.empty() ? "runtime" : runtime.where;
        checkRuntimeFolder(runtime.folder, expected);
        for (const IncludedFile& file : description.files) {
            if (isRuntimeArchive(file.name)) {
                throw MediaBuildError(expected.where + ": the runtime is packed as " + kRuntimeArchiveName +
                                      ", which the included files already hold");
            }
        }
        packedRuntime.emplace(nativePath(outputPath), "jre");
        ScratchFile& scratch = *packedRuntime;
        const int64_t unpacked = packRuntimeFolder(
            runtime.folder, expected.where,
            [&](const void* data, size_t size) { scratch.write(data, size); },
            [&](int64_t done, int64_t total) {
                if (progress) progress("packing the runtime", done, total);
            });
        scratch.close();
        // The launcher reads the value as a 32-bit integer.
        description.config[kConfigRuntimeUnpackedSize] = std::to_string(std::min<int64_t>(unpacked, INT32_MAX));
        description.files.push_back({kRuntimeArchiveName, {displayPath(scratch.path()), "", expected.where}});
    }

    const ConfigTable config = configToStore(description);
    const MessageTable messages = messagesToStore(description);
    AtomicOutputFile out(nativePath(outputPath), true);
    const int64_t expectedSize = expectedOutputSize(payloadStart, description);
    int64_t written = 0;
    const std::function<void(int64_t)> countWritten = [&](int64_t size) {
        written += size;
        if (progress) progress("writing", std::min(written, expectedSize), expectedSize);
    };
    std::optional<PeChecksum> peChecksum;
    const int64_t checksumField = image->checksumField();
    if (rewritten) {
        peChecksum.emplace(static_cast<uint64_t>(checksumField));
        peChecksum->add(0, rewritten->data(), rewritten->size());
        out.write(rewritten->data(), rewritten->size());
    } else {
        image->copyImageTo(out);
    }
    countWritten(payloadStart);
    image.reset();

    // The checksum and covered length are not known before the end: placeholders now,
    // patched once everything is written.
    PayloadStream stream(out, countWritten, payloadStart, peChecksum ? &*peChecksum : nullptr);
    stream.int32(kPayloadMagic);
    stream.int32(description.checksum ? 1 : 0);
    stream.int32(0);
    stream.int64(0);
    stream.startCoveredRange();

    writeTables(stream, config, messages, description.languages);
    for (const IncludedFile& file : description.files) {
        writeIncludedData(stream, file.data, true, "included file \"" + file.name + "\"");
    }
    writeIncludedData(stream, description.trailing, false, "trailing data");

    std::string patch;
    putLittleEndian(patch, description.checksum ? stream.checksum() : 0, 4);
    putLittleEndian(patch, static_cast<uint64_t>(stream.coveredLength()), 8);
    out.seek(payloadStart + kChecksumOffset);
    out.write(patch.data(), patch.size());
    if (peChecksum) {
        // The placeholders it saw were zeros, which add nothing.
        peChecksum->add(static_cast<uint64_t>(payloadStart + kChecksumOffset), patch.data(), patch.size());
        std::string field;
        putLittleEndian(field, peChecksum->value(static_cast<uint64_t>(payloadStart + kCoveredRangeOffset + stream.coveredLength())), 4);
        out.seek(checksumField);
        out.write(field.data(), field.size());
    }
    out.commit();
}

}  // namespace media
