// Windows .ico files: the images an author's icon holds, and the icon group resource that lists
// them by resource id.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace media {

struct IconImage {
    uint8_t width = 0;   // 0 stands for 256
    uint8_t height = 0;
    uint8_t colorCount = 0;
    uint16_t planes = 0;
    uint16_t bitCount = 0;
    bool png = false;
    std::vector<uint8_t> data;  // a BITMAPINFOHEADER and its bits, or a whole PNG file
};

// Larger than any icon a resource compiler takes; refused before it is read.
constexpr int64_t kIconFileLimit = 16 * 1024 * 1024;

// Every image of the file, checked to lie within it and to be a bitmap or a PNG; throws
// MediaBuildError starting with `where`.
std::vector<IconImage> parseIconFile(std::span<const uint8_t> bytes, const std::string& where);

// The RT_GROUP_ICON data for `images`, the i-th stored as RT_ICON `ids[i]`.
std::vector<uint8_t> iconGroupResource(const std::vector<IconImage>& images, const std::vector<uint16_t>& ids);

struct IconGroupEntry {
    int width = 0;  // 256 for a stored 0
    int height = 0;
    int bitCount = 0;
    uint32_t bytes = 0;
    uint16_t id = 0;
};
// The entries of an RT_GROUP_ICON, for reports; throws MediaBuildError when it is truncated.
std::vector<IconGroupEntry> readIconGroup(std::span<const uint8_t> group, const std::string& what);

}  // namespace media
