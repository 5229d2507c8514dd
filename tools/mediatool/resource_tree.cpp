#include "mediatool/resource_tree.h"

#include <set>

#include "mediatool/build_error.h"

namespace media {

namespace {

constexpr uint32_t kHighBit = 0x80000000u;
constexpr size_t kTableHeader = 16;
constexpr size_t kEntrySize = 8;
constexpr size_t kDataEntrySize = 16;

class ResourceReader {
public:
    ResourceReader(const PeImage& image, std::span<const uint8_t> area, const std::string& what)
        : image_(image), fields_(area, what + ": resource directory"), what_(what) {}

    ResourceTable read() {
        ResourceKey key;
        readTable(0, 0, key);
        return std::move(table_);
    }

private:
    [[noreturn]] void damaged(const std::string& why) const {
        throw MediaBuildError(what_ + ": its resource directory is damaged: " + why);
    }

    ResourceName nameOf(uint32_t field) const {
        ResourceName name;
        if (!(field & kHighBit)) {
            name.id = field;
            return name;
        }
        const size_t at = field & ~kHighBit;
        const uint16_t length = fields_.u16(at);
        if (length == 0) damaged("an empty resource name");
        const auto units = fields_.slice(at + 2, size_t{length} * 2);
        for (size_t i = 0; i < length; ++i) name.text += static_cast<char16_t>(units[2 * i] | (units[2 * i + 1] << 8));
        return name;
    }

    // Levels: 0 types, 1 names, 2 languages, whose entries lead to data.
    void readTable(size_t offset, int level, ResourceKey& key) {
        // A tree reaches each table once; a table reached again would repeat its entries (and
        // their data) as often as a crafted file likes.
        if (!visited_.insert(offset).second) damaged("a table is reached twice");
        const size_t count = size_t{fields_.u16(offset + 12)} + fields_.u16(offset + 14);
        fields_.slice(offset, kTableHeader + count * kEntrySize);
        for (size_t i = 0; i < count; ++i) {
            const size_t entry = offset + kTableHeader + i * kEntrySize;
            const ResourceName name = nameOf(fields_.u32(entry));
            const uint32_t target = fields_.u32(entry + 4);
            const bool subtable = (target & kHighBit) != 0;
            if (subtable != (level < 2)) damaged(subtable ? "a table below the language level" : "data above the language level");
            if (level == 0) key.type = name;
            if (level == 1) key.name = name;
            if (subtable) {
                readTable(target & ~kHighBit, level + 1, key);
                continue;
            }
            if (name.named() || name.id > 0xFFFF) damaged("a language that is not a 16-bit number");
            key.language = static_cast<uint16_t>(name.id);
            readData(target, key);
        }
    }

    void readData(size_t offset, const ResourceKey& key) {
        if (!visited_.insert(offset).second) damaged("a data entry is reached twice");
        const uint32_t rva = fields_.u32(offset);
        const uint32_t size = fields_.u32(offset + 4);
        const auto bytes = image_.dataAt(rva, size);
        if (!bytes) damaged("resource data outside the image (" + std::to_string(size) + " bytes at address " + std::to_string(rva) + ")");
        // Entries that share their data would still add up to more than the image holds.
        totalBytes_ += size;
        if (totalBytes_ > image_.bytes().size()) damaged("the resource data add up to more than the image holds");
        ResourceData& data = table_[key];
        data.bytes.assign(bytes->begin(), bytes->end());
        data.codePage = fields_.u32(offset + 8);
    }

    const PeImage& image_;
    ByteFields fields_;
    std::string what_;
    std::set<size_t> visited_;
    uint64_t totalBytes_ = 0;
    ResourceTable table_;
};

using LanguageLevel = std::map<uint16_t, const ResourceData*>;
using NameLevel = std::map<ResourceName, LanguageLevel>;
using TypeLevel = std::map<ResourceName, NameLevel>;

size_t tableSize(size_t entries) { return kTableHeader + entries * kEntrySize; }

void putTableHeader(std::vector<uint8_t>& out, size_t at, size_t named, size_t numbered) {
    putLittleEndian16(out, at + 12, static_cast<uint16_t>(named));
    putLittleEndian16(out, at + 14, static_cast<uint16_t>(numbered));
}

template <typename Level>
std::pair<size_t, size_t> countNames(const Level& level) {
    size_t named = 0;
    for (const auto& [name, below] : level) named += name.named() ? 1 : 0;
    return {named, level.size() - named};
}

size_t alignTo(size_t value, size_t alignment) { return (value + alignment - 1) / alignment * alignment; }

}  // namespace

ResourceTable readResources(const PeImage& image, const std::string& what) {
    const PeImage::Directory directory = image.directory(PeImage::kResourceDirectory);
    if (directory.rva == 0) return {};
    const PeSection* section = image.sectionAt(directory.rva);
    if (!section) throw MediaBuildError(what + ": its resource directory lies outside its sections");
    const auto area = image.dataAt(directory.rva, section->rawSize - (directory.rva - section->virtualAddress));
    if (!area) throw MediaBuildError(what + ": its resource section runs past the end of the file");
    return ResourceReader(image, *area, what).read();
}

std::vector<ResourceTable::const_iterator> findResources(const ResourceTable& table, uint32_t type, uint32_t name) {
    std::vector<ResourceTable::const_iterator> found;
    for (auto it = table.begin(); it != table.end(); ++it) {
        if (!it->first.type.named() && it->first.type.id == type && !it->first.name.named() && it->first.name.id == name) {
            found.push_back(it);
        }
    }
    return found;
}

// Layout as resource compilers make it: every directory table (root, then the types' tables,
// then the names' tables), the name strings, the data entries, then the data, each piece of
// data on an 8-byte boundary.
std::vector<uint8_t> writeResourceSection(const ResourceTable& table, uint32_t sectionRva) {
    TypeLevel types;
    for (const auto& [key, data] : table) types[key.type][key.name][key.language] = &data;

    size_t tablesEnd = tableSize(types.size());
    for (const auto& [type, names] : types) tablesEnd += tableSize(names.size());
    size_t leaves = 0;
    for (const auto& [type, names] : types) {
        for (const auto& [name, languages] : names) {
            tablesEnd += tableSize(languages.size());
            leaves += languages.size();
        }
    }
    std::map<std::u16string, size_t> strings;
    size_t stringsEnd = tablesEnd;
    const auto addString = [&](const ResourceName& name) {
        if (name.named() && strings.emplace(name.text, stringsEnd).second) stringsEnd += 2 + 2 * name.text.size();
    };
    for (const auto& [type, names] : types) {
        addString(type);
        for (const auto& [name, languages] : names) addString(name);
    }
    const size_t entriesStart = alignTo(stringsEnd, 4);
    const size_t dataStart = alignTo(entriesStart + leaves * kDataEntrySize, 8);

    std::vector<uint8_t> out(dataStart, 0);
    for (const auto& [text, at] : strings) {
        putLittleEndian16(out, at, static_cast<uint16_t>(text.size()));
        for (size_t i = 0; i < text.size(); ++i) putLittleEndian16(out, at + 2 + 2 * i, text[i]);
    }
    const auto nameField = [&](const ResourceName& name) {
        return name.named() ? kHighBit | static_cast<uint32_t>(strings.at(name.text)) : name.id;
    };

    size_t nextTable = tableSize(types.size());
    size_t nextEntry = entriesStart;
    // The names' tables follow all the types' tables.
    size_t nextNameTable = nextTable;
    for (const auto& [type, names] : types) nextNameTable += tableSize(names.size());

    putTableHeader(out, 0, countNames(types).first, countNames(types).second);
    size_t rootEntry = kTableHeader;
    for (const auto& [type, names] : types) {
        const size_t typeTable = nextTable;
        nextTable += tableSize(names.size());
        putLittleEndian32(out, rootEntry, nameField(type));
        putLittleEndian32(out, rootEntry + 4, kHighBit | static_cast<uint32_t>(typeTable));
        rootEntry += kEntrySize;
        putTableHeader(out, typeTable, countNames(names).first, countNames(names).second);
        size_t typeEntry = typeTable + kTableHeader;
        for (const auto& [name, languages] : names) {
            const size_t nameTable = nextNameTable;
            nextNameTable += tableSize(languages.size());
            putLittleEndian32(out, typeEntry, nameField(name));
            putLittleEndian32(out, typeEntry + 4, kHighBit | static_cast<uint32_t>(nameTable));
            typeEntry += kEntrySize;
            putTableHeader(out, nameTable, 0, languages.size());
            size_t languageEntry = nameTable + kTableHeader;
            for (const auto& [language, data] : languages) {
                putLittleEndian32(out, languageEntry, language);
                putLittleEndian32(out, languageEntry + 4, static_cast<uint32_t>(nextEntry));
                languageEntry += kEntrySize;
                putLittleEndian32(out, nextEntry, static_cast<uint32_t>(sectionRva + out.size()));
                putLittleEndian32(out, nextEntry + 4, static_cast<uint32_t>(data->bytes.size()));
                putLittleEndian32(out, nextEntry + 8, data->codePage);
                nextEntry += kDataEntrySize;
                out.insert(out.end(), data->bytes.begin(), data->bytes.end());
                out.resize(alignTo(out.size(), 8), 0);
            }
        }
    }
    return out;
}

}  // namespace media
