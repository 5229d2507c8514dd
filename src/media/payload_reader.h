// Parser of the payload over a ByteSource. Every failure throws PayloadError carrying what the
// launcher needs for its fatal error and log line; nothing here logs or shows anything.
#pragma once

#include <cstdint>
#include <exception>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "media/byte_source.h"
#include "services/tables.h"

namespace media {

enum class PayloadFault {
    Magic,        // the payload does not start with kPayloadMagic
    ReadShort,    // fewer than 2 bytes
    ReadInt,      // fewer than 4 bytes
    ReadLong,     // fewer than 8 bytes
    ReadString,   // a narrow text shorter than its length, or a negative length
    ReadWString,  // a wide text shorter than its length, or a negative length
};

class PayloadError : public std::exception {
public:
    PayloadError(PayloadFault fault, uint32_t systemError, uint32_t bytesRead)
        : fault_(fault), systemError_(systemError), bytesRead_(bytesRead) {}
    PayloadFault fault() const { return fault_; }
    uint32_t systemError() const { return systemError_; }
    uint32_t bytesRead() const { return bytesRead_; }
    // The text the launcher shows: "Internal Error: magic", "Internal Error: readInt", ...
    const char* what() const noexcept override;

private:
    PayloadFault fault_;
    uint32_t systemError_;
    uint32_t bytesRead_;
};

using ConfigTable = services::ConfigTable;
using MessageTable = services::MessageTable;

struct LanguageBlock {
    std::string code;
    std::vector<std::pair<int32_t, std::wstring>> entries;  // in file order
};

struct PayloadHeader {
    int64_t payloadStart = 0;
    int32_t checkFlag = 0;
    uint32_t expectedChecksum = 0;
    int64_t coveredLength = 0;
};

// Little-endian primitive reads with the payload's failure rules.
class PayloadReader {
public:
    explicit PayloadReader(ByteSource& source) : source_(source) {}

    int16_t readShort();
    int32_t readInt();
    int64_t readLong();
    std::string readString();
    // The stored length is a byte count of UTF-16LE text; an odd last byte is dropped.
    std::wstring readWString();

    ByteSource& source() { return source_; }

private:
    // Reads exactly `size` bytes or throws `fault`.
    void readExactly(void* buffer, uint32_t size, PayloadFault fault);
    // Reads a length-prefixed run of bytes, growing the buffer only as data actually arrives,
    // so that an absurd length in a damaged file costs no more memory than the file holds.
    std::string readCounted(PayloadFault fault);

    ByteSource& source_;
};

// Offset of the first byte after the raw data of the image's last section, taken from the PE
// headers exactly as the launcher does it (e_lfanew, section count, optional-header size).
int64_t findPayloadStart(ByteSource& source);

// True when the source starts with an MZ header whose e_lfanew points at a "PE\0\0" signature
// with at least one section. The launcher does not check this; the media builder does.
bool looksLikePeImage(ByteSource& source);

// Seeks to the payload start, checks the magic and reads the three header fields.
PayloadHeader readPayloadHeader(PayloadReader& reader);

ConfigTable readConfigEntries(PayloadReader& reader);
// Steps over the config entries without keeping them, as the launcher's second pass does.
void skipConfigEntries(PayloadReader& reader);
MessageTable readMessageEntries(PayloadReader& reader);
std::vector<LanguageBlock> readLanguageBlocks(PayloadReader& reader);

// Whether a block applies to a locale: its code is a prefix of the locale ("de" applies to
// "de_CH", "pt_BR" only to locales beginning with "pt_BR").
bool languageBlockApplies(std::string_view blockCode, std::string_view locale);
// Applies the blocks that match `locale` in file order, the later winning.
void applyLanguageBlocks(const std::vector<LanguageBlock>& blocks, std::string_view locale,
                         MessageTable& messages);

// The included file names of config id 2003, split at ';' the way strtok does (empty pieces
// are skipped).
std::vector<std::string> splitIncludedFileNames(std::string_view list);

}  // namespace media
