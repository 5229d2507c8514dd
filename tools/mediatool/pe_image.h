// A launcher image in memory (the template up to the end of its last section), read and changed
// through checked offsets only: every field read from a damaged or foreign file is a number to
// be checked, never a position to be trusted.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace media {

// Little-endian fields of a byte buffer; a read or write outside it throws MediaBuildError
// with `what` ("template launcher.exe", "icon file ...").
class ByteFields {
public:
    ByteFields(std::span<const uint8_t> bytes, std::string what) : bytes_(bytes), what_(std::move(what)) {}
    uint8_t u8(size_t offset) const { return at(offset, 1)[0]; }
    uint16_t u16(size_t offset) const;
    uint32_t u32(size_t offset) const;
    // The bytes [offset, offset + size), checked.
    std::span<const uint8_t> slice(size_t offset, size_t size) const { return {at(offset, size), size}; }
    size_t size() const { return bytes_.size(); }
    const std::string& what() const { return what_; }

private:
    const uint8_t* at(size_t offset, size_t size) const;
    std::span<const uint8_t> bytes_;
    std::string what_;
};

void putLittleEndian16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value);
void putLittleEndian32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value);
void appendLittleEndian16(std::vector<uint8_t>& bytes, uint16_t value);
void appendLittleEndian32(std::vector<uint8_t>& bytes, uint32_t value);

struct PeSection {
    std::string name;
    uint32_t virtualSize = 0;
    uint32_t virtualAddress = 0;
    uint32_t rawSize = 0;
    uint32_t rawPointer = 0;
    size_t headerOffset = 0;  // of its 40-byte entry in the section table
};

class PeImage {
public:
    static constexpr int kResourceDirectory = 2;
    static constexpr int kCertificateDirectory = 4;

    // `bytes` is the file from offset 0 up to the end of its last section.
    PeImage(std::vector<uint8_t> bytes, std::string what);

    const std::vector<uint8_t>& bytes() const { return bytes_; }
    const std::vector<PeSection>& sections() const { return sections_; }
    size_t checksumOffset() const { return optionalHeader_ + 64; }

    struct Directory {
        uint32_t rva = 0;
        uint32_t size = 0;
    };
    Directory directory(int index) const;

    // The `size` bytes at `rva`, when they lie within one section's raw data.
    std::optional<std::span<const uint8_t>> dataAt(uint32_t rva, uint32_t size) const;
    // The section whose raw data holds `rva`.
    const PeSection* sectionAt(uint32_t rva) const;

    // Where the resource section goes: the last section when it holds nothing but the resources
    // (an image branded before), else a new section after the last one. The resource data
    // entries hold addresses, so the writer needs this before it lays the section out.
    uint32_t resourceSectionRva() const;
    // Puts `content` there as the resource section and points the resource directory at it. The
    // certificate table goes (it signed other bytes), and so does a COFF symbol table that lay
    // after the last section (the payload takes that place).
    void setResourceSection(const std::vector<uint8_t>& content);
    void dropCertificateTable();

private:
    bool lastSectionIsResources() const;
    void readSections();

    std::vector<uint8_t> bytes_;
    std::string what_;
    size_t peOffset_ = 0;
    size_t optionalHeader_ = 0;
    size_t sectionTable_ = 0;
    bool pe32Plus_ = false;
    uint32_t sectionAlignment_ = 0;
    uint32_t fileAlignment_ = 0;
    uint32_t sizeOfHeaders_ = 0;
    uint32_t directoryCount_ = 0;
    size_t directories_ = 0;
    std::vector<PeSection> sections_;
};

// The PE checksum (the one CheckSumMappedFile computes) of a file written in pieces at any
// offsets: each byte adds its value, shifted by eight bits at an odd offset, to a plain sum, so
// pieces may come in any order and a placeholder of zeros may be filled in later. The four bytes
// of the checksum field itself are left out.
class PeChecksum {
public:
    explicit PeChecksum(uint64_t fieldOffset) : field_(fieldOffset) {}
    void add(uint64_t offset, const void* data, size_t size);
    // The checksum of a file of `length` bytes made of everything added.
    uint32_t value(uint64_t length) const;

private:
    uint64_t field_;
    uint64_t sum_ = 0;
};

}  // namespace media
