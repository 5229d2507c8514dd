// The version block (RT_VERSION): the fixed file information Explorer and GetFileVersionInfo
// report as numbers, and the string table of the file's properties.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace media {

using FourPartVersion = std::array<uint16_t, 4>;

struct VersionInfo {
    FourPartVersion fileVersion{};
    FourPartVersion productVersion{};
    // Key and value ("CompanyName", "Halvern"), in the order stored.
    std::vector<std::pair<std::u16string, std::u16string>> strings;
};

// The size field of every block of a version resource is 16 bits.
constexpr size_t kVersionBlockLimit = 0xFFFF;

// The block in the layout of a resource compiler: fixed file information for an application,
// one string table for US English in Unicode (040904B0), and its translation entry. Empty when
// it would exceed kVersionBlockLimit.
std::optional<std::vector<uint8_t>> versionResource(const VersionInfo& info);

// Reads a block back (the first string table only); none when it is damaged.
std::optional<VersionInfo> readVersionResource(std::span<const uint8_t> block);

// "1.2.3.4"; none unless exactly four decimal numbers each up to 65535.
std::optional<FourPartVersion> parseFourPartVersion(const std::string& text);
std::string fourPartVersionText(const FourPartVersion& version);

}  // namespace media
