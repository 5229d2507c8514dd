#include "mediatool/pe_image.h"

#include <algorithm>

#include "mediatool/build_error.h"

namespace media {

namespace {

constexpr uint32_t kSectionHeaderSize = 40;
// Initialised data, readable: what a resource compiler's section carries.
constexpr uint32_t kResourceCharacteristics = 0x40000040;

uint32_t alignUp(uint64_t value, uint32_t alignment) {
    const uint64_t aligned = (value + alignment - 1) / alignment * alignment;
    return static_cast<uint32_t>(aligned);
}

}  // namespace

const uint8_t* ByteFields::at(size_t offset, size_t size) const {
    if (offset > bytes_.size() || size > bytes_.size() - offset) {
        throw MediaBuildError(what_ + ": truncated (" + std::to_string(size) + " bytes at offset " +
                              std::to_string(offset) + " of " + std::to_string(bytes_.size()) + ")");
    }
    return bytes_.data() + offset;
}

uint16_t ByteFields::u16(size_t offset) const {
    const uint8_t* p = at(offset, 2);
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t ByteFields::u32(size_t offset) const {
    const uint8_t* p = at(offset, 4);
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

void putLittleEndian16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value) {
    bytes.at(offset + 1);
    bytes[offset] = static_cast<uint8_t>(value);
    bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void putLittleEndian32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
    bytes.at(offset + 3);
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

void appendLittleEndian16(std::vector<uint8_t>& bytes, uint16_t value) {
    bytes.push_back(static_cast<uint8_t>(value));
    bytes.push_back(static_cast<uint8_t>(value >> 8));
}

void appendLittleEndian32(std::vector<uint8_t>& bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

PeImage::PeImage(std::vector<uint8_t> bytes, std::string what) : bytes_(std::move(bytes)), what_(std::move(what)) {
    const ByteFields fields(bytes_, what_);
    if (fields.size() < 64 || fields.u16(0) != 0x5A4D) throw MediaBuildError(what_ + " is not a PE image");
    peOffset_ = fields.u32(60);
    if (fields.u32(peOffset_) != 0x4550) throw MediaBuildError(what_ + " is not a PE image");
    const uint16_t optionalSize = fields.u16(peOffset_ + 20);
    optionalHeader_ = peOffset_ + 24;
    sectionTable_ = optionalHeader_ + optionalSize;
    const uint16_t magic = fields.u16(optionalHeader_);
    if (magic != 0x10B && magic != 0x20B) throw MediaBuildError(what_ + ": unknown optional header (magic " + std::to_string(magic) + ")");
    pe32Plus_ = magic == 0x20B;
    sectionAlignment_ = fields.u32(optionalHeader_ + 32);
    fileAlignment_ = fields.u32(optionalHeader_ + 36);
    sizeOfHeaders_ = fields.u32(optionalHeader_ + 60);
    directories_ = optionalHeader_ + (pe32Plus_ ? 112 : 96);
    directoryCount_ = std::min<uint32_t>(fields.u32(directories_ - 4), 16);
    if (directories_ + 8 * static_cast<size_t>(directoryCount_) > sectionTable_) {
        throw MediaBuildError(what_ + ": its data directories run past the optional header");
    }
    const auto powerOfTwo = [](uint32_t value) { return value != 0 && (value & (value - 1)) == 0; };
    if (!powerOfTwo(sectionAlignment_) || !powerOfTwo(fileAlignment_)) {
        throw MediaBuildError(what_ + ": section or file alignment is not a power of two");
    }
    readSections();
}

void PeImage::readSections() {
    const ByteFields fields(bytes_, what_);
    sections_.clear();
    const uint16_t count = fields.u16(peOffset_ + 6);
    for (uint16_t i = 0; i < count; ++i) {
        const size_t at = sectionTable_ + size_t{i} * kSectionHeaderSize;
        PeSection section;
        const auto name = fields.slice(at, 8);
        section.name.assign(name.begin(), std::find(name.begin(), name.end(), 0));
        section.virtualSize = fields.u32(at + 8);
        section.virtualAddress = fields.u32(at + 12);
        section.rawSize = fields.u32(at + 16);
        section.rawPointer = fields.u32(at + 20);
        section.headerOffset = at;
        sections_.push_back(std::move(section));
    }
    if (sections_.empty()) throw MediaBuildError(what_ + " has no sections");
}

PeImage::Directory PeImage::directory(int index) const {
    if (index < 0 || static_cast<uint32_t>(index) >= directoryCount_) return {};
    const ByteFields fields(bytes_, what_);
    return {fields.u32(directories_ + 8 * index), fields.u32(directories_ + 8 * index + 4)};
}

const PeSection* PeImage::sectionAt(uint32_t rva) const {
    for (const PeSection& section : sections_) {
        if (rva >= section.virtualAddress && rva - section.virtualAddress < section.rawSize) return &section;
    }
    return nullptr;
}

std::optional<std::span<const uint8_t>> PeImage::dataAt(uint32_t rva, uint32_t size) const {
    const PeSection* section = sectionAt(rva);
    if (!section) return std::nullopt;
    const uint64_t inSection = rva - section->virtualAddress;
    if (size > section->rawSize - inSection) return std::nullopt;
    const uint64_t offset = section->rawPointer + inSection;
    if (offset > bytes_.size() || size > bytes_.size() - offset) return std::nullopt;
    return std::span<const uint8_t>(bytes_.data() + offset, size);
}

bool PeImage::lastSectionIsResources() const {
    const Directory resources = directory(kResourceDirectory);
    return resources.rva != 0 && resources.rva == sections_.back().virtualAddress;
}

uint32_t PeImage::resourceSectionRva() const {
    if (lastSectionIsResources()) return sections_.back().virtualAddress;
    const PeSection& last = sections_.back();
    const uint64_t end = uint64_t{last.virtualAddress} + std::max(last.virtualSize, last.rawSize);
    if (end > UINT32_MAX - sectionAlignment_) throw MediaBuildError(what_ + ": no address is left for another section");
    return alignUp(end, sectionAlignment_);
}

void PeImage::setResourceSection(const std::vector<uint8_t>& content) {
    const uint32_t rva = resourceSectionRva();
    const bool reuse = lastSectionIsResources();
    size_t header = 0;
    uint32_t rawPointer = 0;
    uint32_t oldRawSize = 0;
    if (reuse) {
        header = sections_.back().headerOffset;
        rawPointer = sections_.back().rawPointer;
        oldRawSize = sections_.back().rawSize;
    } else {
        header = sections_.back().headerOffset + kSectionHeaderSize;
        // The loader reads the section table only within the headers; the first section's raw
        // data must not be overwritten either.
        uint64_t headerRoom = sizeOfHeaders_;
        for (const PeSection& section : sections_) {
            if (section.rawSize != 0) headerRoom = std::min<uint64_t>(headerRoom, section.rawPointer);
        }
        if (header + kSectionHeaderSize > headerRoom) {
            throw MediaBuildError(what_ + ": its headers have no room for another section");
        }
        if (sections_.size() >= 96) throw MediaBuildError(what_ + " already has the most sections an image may have");
        rawPointer = alignUp(bytes_.size(), fileAlignment_);
    }
    const uint32_t rawSize = alignUp(content.size(), fileAlignment_);
    const uint32_t virtualSize = static_cast<uint32_t>(content.size());
    if (uint64_t{rawPointer} + rawSize > UINT32_MAX || uint64_t{rva} + virtualSize > UINT32_MAX - sectionAlignment_) {
        throw MediaBuildError(what_ + ": the resources do not fit into an image");
    }

    bytes_.resize(rawPointer, 0);
    bytes_.insert(bytes_.end(), content.begin(), content.end());
    bytes_.resize(uint64_t{rawPointer} + rawSize, 0);

    if (!reuse) {
        const char name[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
        std::copy(name, name + 8, bytes_.begin() + static_cast<ptrdiff_t>(header));
        putLittleEndian32(bytes_, header + 12, rva);
        putLittleEndian32(bytes_, header + 24, 0);  // relocations and line numbers: none
        putLittleEndian32(bytes_, header + 28, 0);
        putLittleEndian32(bytes_, header + 32, 0);
        putLittleEndian32(bytes_, header + 36, kResourceCharacteristics);
        putLittleEndian16(bytes_, peOffset_ + 6, static_cast<uint16_t>(sections_.size() + 1));
    }
    putLittleEndian32(bytes_, header + 8, virtualSize);
    putLittleEndian32(bytes_, header + 16, rawSize);
    putLittleEndian32(bytes_, header + 20, rawPointer);

    // Informational for the loader, but tools report it.
    const ByteFields fields(bytes_, what_);
    const uint32_t initialised = fields.u32(optionalHeader_ + 8);
    putLittleEndian32(bytes_, optionalHeader_ + 8, initialised - oldRawSize + rawSize);
    putLittleEndian32(bytes_, optionalHeader_ + 56, alignUp(uint64_t{rva} + virtualSize, sectionAlignment_));
    putLittleEndian32(bytes_, directories_ + 8 * kResourceDirectory, rva);
    putLittleEndian32(bytes_, directories_ + 8 * kResourceDirectory + 4, virtualSize);
    readSections();
    // A symbol table is addressed by file offset; one that lay after the last section is gone,
    // its place taken by the payload.
    if (fields.u32(peOffset_ + 12) >= bytes_.size()) {
        putLittleEndian32(bytes_, peOffset_ + 12, 0);
        putLittleEndian32(bytes_, peOffset_ + 16, 0);
    }
    dropCertificateTable();
}

void PeImage::dropCertificateTable() {
    if (directoryCount_ <= kCertificateDirectory) return;
    putLittleEndian32(bytes_, directories_ + 8 * kCertificateDirectory, 0);
    putLittleEndian32(bytes_, directories_ + 8 * kCertificateDirectory + 4, 0);
}

void PeChecksum::add(uint64_t offset, const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    size_t i = 0;
    // Whole 16-bit words at even offsets; the field's bytes, and an odd start, go one by one.
    const auto single = [&](size_t index) {
        const uint64_t at = offset + index;
        if (at >= field_ && at < field_ + 4) return;
        sum_ += (at & 1) ? uint64_t{bytes[index]} << 8 : bytes[index];
    };
    if (offset & 1) single(i++);
    const uint64_t fieldEnd = field_ + 4;
    while (i + 2 <= size) {
        const uint64_t at = offset + i;
        if (at + 2 > field_ && at < fieldEnd) {
            single(i);
            single(i + 1);
        } else {
            sum_ += bytes[i] | (uint64_t{bytes[i + 1]} << 8);
        }
        i += 2;
    }
    if (i < size) single(i);
}

uint32_t PeChecksum::value(uint64_t length) const {
    // Folding each 16-bit carry back in, as the algorithm does word by word, leaves the sum's
    // remainder modulo 0xFFFF, written as 0xFFFF when it is 0 and the sum is not.
    uint32_t folded = 0;
    if (sum_ != 0) {
        folded = static_cast<uint32_t>(sum_ % 0xFFFF);
        if (folded == 0) folded = 0xFFFF;
    }
    return static_cast<uint32_t>(folded + length);
}

}  // namespace media
