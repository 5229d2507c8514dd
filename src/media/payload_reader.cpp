#include "media/payload_reader.h"

#include <algorithm>
#include <cstring>

#include "media/payload_format.h"

namespace media {

namespace {

uint32_t littleEndian32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

// Texts are read in pieces of this size, so memory grows only with what the file really holds.
constexpr uint32_t kCountedReadPiece = 64 * 1024;

}  // namespace

const char* PayloadError::what() const noexcept {
    switch (fault_) {
    case PayloadFault::Magic: return "Internal Error: magic";
    case PayloadFault::ReadShort: return "Internal Error: readShort";
    case PayloadFault::ReadInt: return "Internal Error: readInt";
    case PayloadFault::ReadLong: return "Internal Error: readLong";
    case PayloadFault::ReadString: return "Internal Error: readString";
    case PayloadFault::ReadWString: return "Internal Error: readWString";
    }
    return "Internal Error";
}

void PayloadReader::readExactly(void* buffer, uint32_t size, PayloadFault fault) {
    auto* out = static_cast<uint8_t*>(buffer);
    uint32_t done = 0;
    while (done < size) {
        uint32_t got = 0;
        const bool ok = source_.read(out + done, size - done, got);
        done += got;
        if (!ok || got == 0) {
            throw PayloadError(fault, ok ? 0 : source_.systemError(), done);
        }
    }
}

int16_t PayloadReader::readShort() {
    uint8_t bytes[2];
    readExactly(bytes, sizeof bytes, PayloadFault::ReadShort);
    return static_cast<int16_t>(static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)));
}

int32_t PayloadReader::readInt() {
    uint8_t bytes[4];
    readExactly(bytes, sizeof bytes, PayloadFault::ReadInt);
    return static_cast<int32_t>(littleEndian32(bytes));
}

int64_t PayloadReader::readLong() {
    uint8_t bytes[8];
    readExactly(bytes, sizeof bytes, PayloadFault::ReadLong);
    const uint64_t value =
        static_cast<uint64_t>(littleEndian32(bytes)) | (static_cast<uint64_t>(littleEndian32(bytes + 4)) << 32);
    return static_cast<int64_t>(value);
}

std::string PayloadReader::readCounted(PayloadFault fault) {
    const int32_t length = readInt();
    // A negative length cannot come from the builder; treating it as a damaged text keeps a
    // damaged file from being read as something else.
    if (length < 0) throw PayloadError(fault, 0, 0);
    std::string bytes;
    uint32_t remaining = static_cast<uint32_t>(length);
    while (remaining > 0) {
        const uint32_t piece = std::min(remaining, kCountedReadPiece);
        const size_t oldSize = bytes.size();
        bytes.resize(oldSize + piece);
        try {
            readExactly(bytes.data() + oldSize, piece, fault);
        } catch (const PayloadError& error) {
            throw PayloadError(fault, error.systemError(),
                               static_cast<uint32_t>(oldSize) + error.bytesRead());
        }
        remaining -= piece;
    }
    return bytes;
}

std::string PayloadReader::readString() { return readCounted(PayloadFault::ReadString); }

std::wstring PayloadReader::readWString() {
    const std::string bytes = readCounted(PayloadFault::ReadWString);
    std::wstring text(bytes.size() / 2, L'\0');
    for (size_t i = 0; i < text.size(); ++i) {
        const auto low = static_cast<uint8_t>(bytes[2 * i]);
        const auto high = static_cast<uint8_t>(bytes[2 * i + 1]);
        text[i] = static_cast<wchar_t>(low | (high << 8));
    }
    return text;
}

int64_t findPayloadStart(ByteSource& source) {
    PayloadReader reader(source);
    source.seek(60);
    const int64_t peOffset = static_cast<uint32_t>(reader.readInt());
    source.seek(peOffset + 6);
    const uint16_t sectionCount = static_cast<uint16_t>(reader.readShort());
    source.seek(peOffset + 20);
    const uint16_t optionalHeaderSize = static_cast<uint16_t>(reader.readShort());
    // A count of 0 would address a header before the section table; the image has no
    // sections to end then, so the payload cannot be found there either.
    const int64_t lastSection = peOffset + 24 + optionalHeaderSize +
                                40 * (static_cast<int64_t>(sectionCount) - 1);
    if (lastSection < 0) throw PayloadError(PayloadFault::ReadInt, 0, 0);
    source.seek(lastSection + 16);
    const int64_t rawSize = static_cast<uint32_t>(reader.readInt());
    const int64_t rawPointer = static_cast<uint32_t>(reader.readInt());
    return rawPointer + rawSize;
}

bool looksLikePeImage(ByteSource& source) {
    try {
        uint8_t mz[2] = {};
        uint32_t got = 0;
        if (!source.seek(0) || !source.read(mz, 2, got) || got != 2 || mz[0] != 'M' || mz[1] != 'Z') {
            return false;
        }
        PayloadReader reader(source);
        source.seek(60);
        const int64_t peOffset = static_cast<uint32_t>(reader.readInt());
        uint8_t signature[4] = {};
        if (!source.seek(peOffset) || !source.read(signature, 4, got) || got != 4 ||
            std::memcmp(signature, "PE\0\0", 4) != 0) {
            return false;
        }
        source.seek(peOffset + 6);
        return reader.readShort() != 0;
    } catch (const PayloadError&) {
        return false;
    }
}

PayloadHeader readPayloadHeader(PayloadReader& reader) {
    PayloadHeader header;
    header.payloadStart = findPayloadStart(reader.source());
    reader.source().seek(header.payloadStart);
    if (static_cast<uint32_t>(reader.readInt()) != kPayloadMagic) {
        throw PayloadError(PayloadFault::Magic, 0, 0);
    }
    header.checkFlag = reader.readInt();
    header.expectedChecksum = static_cast<uint32_t>(reader.readInt());
    header.coveredLength = reader.readLong();
    return header;
}

namespace {

// The config and message tables share their layout: a count, then an id and a value each.
template <class Table, class ReadValue>
Table readEntries(PayloadReader& reader, ReadValue readValue) {
    Table table;
    const int32_t count = reader.readInt();
    for (int32_t i = 0; i < count; ++i) {
        const int32_t id = reader.readInt();
        table[id] = readValue(reader);
    }
    return table;
}

}  // namespace

ConfigTable readConfigEntries(PayloadReader& reader) {
    return readEntries<ConfigTable>(reader, [](PayloadReader& entries) { return entries.readString(); });
}

void skipConfigEntries(PayloadReader& reader) {
    const int32_t count = reader.readInt();
    for (int32_t i = 0; i < count; ++i) {
        reader.readInt();
        const int32_t length = reader.readInt();
        if (length < 0) throw PayloadError(PayloadFault::ReadString, 0, 0);
        reader.source().skip(length);
    }
}

MessageTable readMessageEntries(PayloadReader& reader) {
    return readEntries<MessageTable>(reader, [](PayloadReader& entries) { return entries.readWString(); });
}

std::vector<LanguageBlock> readLanguageBlocks(PayloadReader& reader) {
    std::vector<LanguageBlock> blocks;
    const int32_t count = reader.readInt();
    for (int32_t i = 0; i < count; ++i) {
        LanguageBlock block;
        block.code = reader.readString();
        const int32_t entries = reader.readInt();
        for (int32_t k = 0; k < entries; ++k) {
            const int32_t id = reader.readInt();
            block.entries.emplace_back(id, reader.readWString());
        }
        blocks.push_back(std::move(block));
    }
    return blocks;
}

bool languageBlockApplies(std::string_view blockCode, std::string_view locale) {
    // The code is compared up to its first NUL, as a C string would be.
    const size_t nul = blockCode.find('\0');
    if (nul != std::string_view::npos) blockCode = blockCode.substr(0, nul);
    return locale.substr(0, blockCode.size()) == blockCode;
}

void applyLanguageBlocks(const std::vector<LanguageBlock>& blocks, std::string_view locale,
                         MessageTable& messages) {
    for (const LanguageBlock& block : blocks) {
        if (!languageBlockApplies(block.code, locale)) continue;
        for (const auto& [id, text] : block.entries) messages[id] = text;
    }
}

std::vector<std::string> splitIncludedFileNames(std::string_view list) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(kFileNameSeparator, start);
        if (end == std::string_view::npos) end = list.size();
        if (end > start) names.emplace_back(list.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

}  // namespace media
