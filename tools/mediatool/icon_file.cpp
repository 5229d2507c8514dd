#include "mediatool/icon_file.h"

#include <algorithm>
#include <cstring>

#include "mediatool/build_error.h"
#include "mediatool/pe_image.h"

namespace media {

namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr size_t kDirectoryEntry = 16;
constexpr size_t kGroupEntry = 14;

bool isPng(std::span<const uint8_t> bytes) {
    return bytes.size() >= 8 && std::memcmp(bytes.data(), kPngSignature, 8) == 0;
}

std::string sizeName(int width, int height) {
    return std::to_string(width == 0 ? 256 : width) + "x" + std::to_string(height == 0 ? 256 : height);
}

// Bits per pixel of a PNG from its header chunk: the bit depth times the channels its colour
// type has (a palette image counts its index bits).
uint16_t pngBitCount(const ByteFields& png) {
    const uint8_t depth = png.u8(24);
    switch (png.u8(25)) {
    case 2: return depth * 3;
    case 4: return depth * 2;
    case 6: return depth * 4;
    default: return depth;
    }
}

}  // namespace

std::vector<IconImage> parseIconFile(std::span<const uint8_t> bytes, const std::string& where) {
    const auto fail = [&](const std::string& why) -> void { throw MediaBuildError(where + ": " + why); };
    if (bytes.empty()) fail("the icon file is empty");
    if (isPng(bytes)) fail("is a PNG image, not an .ico file (an .ico file can hold PNG images; convert it into one)");
    const ByteFields file(bytes, where);
    if (bytes.size() < 6 || file.u16(0) != 0 || (file.u16(2) != 1 && file.u16(2) != 2)) {
        fail("is not an .ico file (no icon directory at its start)");
    }
    if (file.u16(2) == 2) fail("is a cursor (.cur), not an icon");
    const size_t count = file.u16(4);
    if (count == 0) fail("the icon file holds no images");
    if (6 + count * kDirectoryEntry > bytes.size()) {
        fail("damaged .ico file: its directory of " + std::to_string(count) + " images runs past the end of the file");
    }

    std::vector<IconImage> images;
    for (size_t i = 0; i < count; ++i) {
        const size_t entry = 6 + i * kDirectoryEntry;
        IconImage image;
        image.width = file.u8(entry);
        image.height = file.u8(entry + 1);
        image.colorCount = file.u8(entry + 2);
        image.planes = file.u16(entry + 4);
        image.bitCount = file.u16(entry + 6);
        const uint32_t size = file.u32(entry + 8);
        const uint32_t offset = file.u32(entry + 12);
        const std::string what = "damaged .ico file: image " + std::to_string(i + 1) + " (" +
                                 sizeName(image.width, image.height) + ")";
        if (size == 0) fail(what + " is empty");
        if (offset > bytes.size() || size > bytes.size() - offset) {
            fail(what + " runs past the end of the file (" + std::to_string(size) + " bytes at offset " +
                 std::to_string(offset) + ", file size " + std::to_string(bytes.size()) + ")");
        }
        const auto data = bytes.subspan(offset, size);
        const ByteFields fields(data, where);
        image.png = isPng(data);
        if (image.png) {
            if (size < 33 || std::memcmp(data.data() + 12, "IHDR", 4) != 0) fail(what + ": its PNG has no header chunk");
            if (image.bitCount == 0) image.bitCount = pngBitCount(fields);
        } else {
            // A BITMAPINFOHEADER (40 bytes) or one of its longer successors, then the bits.
            const uint32_t headerSize = size >= 4 ? fields.u32(0) : 0;
            if (headerSize < 40 || headerSize > size) fail(what + " is neither a bitmap nor a PNG");
            if (image.bitCount == 0) image.bitCount = fields.u16(14);
            if (image.planes == 0) image.planes = fields.u16(12);
        }
        if (image.planes == 0) image.planes = 1;
        image.data.assign(data.begin(), data.end());
        images.push_back(std::move(image));
    }
    return images;
}

std::vector<uint8_t> iconGroupResource(const std::vector<IconImage>& images, const std::vector<uint16_t>& ids) {
    std::vector<uint8_t> group;
    appendLittleEndian16(group, 0);
    appendLittleEndian16(group, 1);
    appendLittleEndian16(group, static_cast<uint16_t>(images.size()));
    for (size_t i = 0; i < images.size(); ++i) {
        const IconImage& image = images[i];
        group.push_back(image.width);
        group.push_back(image.height);
        group.push_back(image.colorCount);
        group.push_back(0);
        appendLittleEndian16(group, image.planes);
        appendLittleEndian16(group, image.bitCount);
        appendLittleEndian32(group, static_cast<uint32_t>(image.data.size()));
        appendLittleEndian16(group, ids.at(i));
    }
    return group;
}

std::vector<IconGroupEntry> readIconGroup(std::span<const uint8_t> group, const std::string& what) {
    const ByteFields fields(group, what + ": icon group");
    const size_t count = fields.u16(4);
    std::vector<IconGroupEntry> entries;
    for (size_t i = 0; i < count; ++i) {
        const size_t at = 6 + i * kGroupEntry;
        IconGroupEntry entry;
        entry.width = fields.u8(at) == 0 ? 256 : fields.u8(at);
        entry.height = fields.u8(at + 1) == 0 ? 256 : fields.u8(at + 1);
        entry.bitCount = fields.u16(at + 6);
        entry.bytes = fields.u32(at + 8);
        entry.id = fields.u16(at + 12);
        entries.push_back(entry);
    }
    return entries;
}

}  // namespace media
