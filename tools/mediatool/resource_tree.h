// The resources of a PE image as a flat table (type, name, language -> bytes), read from the
// image's resource directory and written back as a complete resource section.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "mediatool/pe_image.h"

namespace media {

constexpr uint32_t kResourceIcon = 3;
constexpr uint32_t kResourceGroupIcon = 14;
constexpr uint32_t kResourceVersion = 16;
constexpr uint32_t kResourceManifest = 24;

// A type or name: a number, or a text (then `id` is unused).
struct ResourceName {
    uint32_t id = 0;
    std::u16string text;

    bool named() const { return !text.empty(); }
    // The order of a directory table: named entries first, then numbers ascending.
    friend bool operator<(const ResourceName& a, const ResourceName& b) {
        if (a.named() != b.named()) return a.named();
        return a.named() ? a.text < b.text : a.id < b.id;
    }
    friend bool operator==(const ResourceName& a, const ResourceName& b) { return !(a < b) && !(b < a); }
};

struct ResourceKey {
    ResourceName type;
    ResourceName name;
    uint16_t language = 0;

    friend bool operator<(const ResourceKey& a, const ResourceKey& b) {
        if (!(a.type == b.type)) return a.type < b.type;
        if (!(a.name == b.name)) return a.name < b.name;
        return a.language < b.language;
    }
};

struct ResourceData {
    std::vector<uint8_t> bytes;
    uint32_t codePage = 0;
};

using ResourceTable = std::map<ResourceKey, ResourceData>;

// Throws MediaBuildError naming the image when its resource directory is damaged: a table
// outside the section, a level out of place, a table reached twice, data outside the image.
ResourceTable readResources(const PeImage& image, const std::string& what);

// A resource section whose data entries point into itself, placed at `sectionRva`.
std::vector<uint8_t> writeResourceSection(const ResourceTable& table, uint32_t sectionRva);

// The entries of one type and numbered name, any language.
std::vector<ResourceTable::const_iterator> findResources(const ResourceTable& table, uint32_t type, uint32_t name);

}  // namespace media
