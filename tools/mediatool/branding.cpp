#include "mediatool/branding.h"

#include <cctype>
#include <cerrno>
#include <memory>
#include <set>

#include "base/text.h"
#include "mediatool/build_error.h"
#include "mediatool/file_access.h"
#include "mediatool/pe_image.h"
#include "mediatool/resource_tree.h"

namespace media {

namespace {

std::u16string utf16(const std::string& utf8) {
    // base's wide strings hold UTF-16 code units on every platform.
    const std::wstring wide = base::utf8ToWide(utf8);
    return std::u16string(wide.begin(), wide.end());
}

std::vector<uint8_t> readIconFile(const std::string& path, const std::string& where) {
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> file(openForReading(nativePath(path)));
    if (!file) {
        const int error = errno;
        if (error == ENOENT) throw MediaBuildError(where + ": no such file: " + path);
        throw MediaBuildError(where + ": cannot open " + path + ": " + errnoText(error));
    }
    const int64_t size = fileSize(file.get());
    if (size < 0) throw MediaBuildError(where + ": " + path + " is not a regular file");
    if (size > kIconFileLimit) {
        throw MediaBuildError(where + ": " + path + " has " + std::to_string(size) + " bytes, more than any icon (at most " +
                              std::to_string(kIconFileLimit) + ")");
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    if (!bytes.empty() && std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
        throw MediaBuildError(where + ": cannot read " + path);
    }
    return bytes;
}

// The language of the entries being replaced, so that a lookup in the template's language
// finds the new ones; neutral when the template had none.
uint16_t languageOf(const std::vector<ResourceTable::const_iterator>& entries) {
    return entries.empty() ? 0 : entries.front()->first.language;
}

void replaceIcon(ResourceTable& table, const Branding& branding, const std::string& templateWhat) {
    const std::vector<IconImage> images = parseIconFile(readIconFile(branding.iconPath, branding.iconWhere), branding.iconWhere);
    const auto groups = findResources(table, kResourceGroupIcon, kLauncherIconGroup);
    const uint16_t language = languageOf(groups);
    // The old group's images go with it; other groups keep theirs.
    std::set<uint16_t> freed;
    for (const auto& group : groups) {
        for (const IconGroupEntry& entry : readIconGroup(group->second.bytes, templateWhat)) freed.insert(entry.id);
    }
    for (const auto& group : groups) table.erase(group);
    std::set<uint32_t> taken;
    for (auto it = table.begin(); it != table.end();) {
        const bool icon = !it->first.type.named() && it->first.type.id == kResourceIcon && !it->first.name.named();
        if (icon && it->first.name.id <= 0xFFFF && freed.count(static_cast<uint16_t>(it->first.name.id))) {
            it = table.erase(it);
            continue;
        }
        if (icon) taken.insert(it->first.name.id);
        ++it;
    }
    std::vector<uint16_t> ids;
    for (uint32_t id = 1; ids.size() < images.size(); ++id) {
        if (id > 0xFFFF) throw MediaBuildError(templateWhat + ": no icon ids are left for the icon's images");
        if (!taken.count(id)) ids.push_back(static_cast<uint16_t>(id));
    }
    for (size_t i = 0; i < images.size(); ++i) {
        table[{{kResourceIcon, {}}, {ids[i], {}}, language}] = {images[i].data, 0};
    }
    table[{{kResourceGroupIcon, {}}, {kLauncherIconGroup, {}}, language}] = {iconGroupResource(images, ids), 0};
}

void replaceVersion(ResourceTable& table, const Branding& branding) {
    const VersionBranding& version = *branding.version;
    VersionInfo info;
    info.fileVersion = version.fileVersion;
    info.productVersion = version.productVersion;
    size_t longest = 0;
    std::string longestKey;
    for (const auto& [key, text] : version.strings) {
        info.strings.emplace_back(utf16(key), utf16(text));
        if (info.strings.back().second.size() >= longest) {
            longest = info.strings.back().second.size();
            longestKey = key;
        }
    }
    const std::optional<std::vector<uint8_t>> block = versionResource(info);
    if (!block) {
        throw MediaBuildError(branding.versionWhere + ": the texts are too long for the version block (" +
                              std::to_string(kVersionBlockLimit) + " bytes in all); the longest is " + longestKey);
    }
    const auto old = findResources(table, kResourceVersion, 1);
    const uint16_t language = languageOf(old);
    for (const auto& entry : old) table.erase(entry);
    table[{{kResourceVersion, {}}, {1, {}}, language}] = {*block, 0};
}

void replaceExecutionLevel(ResourceTable& table, const Branding& branding, const std::string& templateWhat) {
    const auto manifests = findResources(table, kResourceManifest, 1);
    if (manifests.empty()) throw MediaBuildError(templateWhat + " has no manifest to set the execution level in");
    for (const auto& entry : manifests) {
        ResourceData& data = table[entry->first];
        const std::string text(data.bytes.begin(), data.bytes.end());
        const std::string changed = manifestWithExecutionLevel(text, branding.executionLevel, templateWhat);
        data.bytes.assign(changed.begin(), changed.end());
    }
}

// The value of the attribute `name` within the tag [tagStart, tagEnd), as the offsets of its
// first character and of its closing quote.
std::optional<std::pair<size_t, size_t>> attributeValue(const std::string& text, size_t tagStart, size_t tagEnd,
                                                        const std::string& name) {
    for (size_t at = text.find(name, tagStart); at != std::string::npos && at < tagEnd; at = text.find(name, at + 1)) {
        if (at == 0 || !std::isspace(static_cast<unsigned char>(text[at - 1]))) continue;
        size_t cursor = at + name.size();
        while (cursor < tagEnd && std::isspace(static_cast<unsigned char>(text[cursor]))) ++cursor;
        if (cursor >= tagEnd || text[cursor] != '=') continue;
        ++cursor;
        while (cursor < tagEnd && std::isspace(static_cast<unsigned char>(text[cursor]))) ++cursor;
        if (cursor >= tagEnd || (text[cursor] != '"' && text[cursor] != '\'')) return std::nullopt;
        const size_t close = text.find(text[cursor], cursor + 1);
        if (close == std::string::npos || close >= tagEnd) return std::nullopt;
        return std::make_pair(cursor + 1, close);
    }
    return std::nullopt;
}

constexpr const char* kLevelElement = "<requestedExecutionLevel";

}  // namespace

std::string brandingSettingsMarkdown() {
    return "| key | value | meaning |\n|---|---|---|\n"
           "| `icon` | file | an .ico file: replaces icon group 1001 and its images, every size the file holds |\n"
           "| `version.fileVersion` | a.b.c.d | file version, each number up to 65535 (required with `version`) |\n"
           "| `version.productVersion` | a.b.c.d | product version; the file version when absent |\n"
           "| `version.productName` | text | ProductName of the version block |\n"
           "| `version.companyName` | text | CompanyName |\n"
           "| `version.fileDescription` | text | FileDescription (Task Manager and the elevation prompt show it) |\n"
           "| `version.legalCopyright` | text | LegalCopyright |\n"
           "| `version.originalFilename` | text | OriginalFilename |\n"
           "| `version.comments` | text | Comments |\n"
           "| `executionLevel` | asInvoker, highestAvailable, requireAdministrator | the manifest's requested execution level |\n";
}

bool isExecutionLevel(const std::string& level) {
    return level == "asInvoker" || level == "highestAvailable" || level == "requireAdministrator";
}

std::string manifestWithExecutionLevel(const std::string& manifest, const std::string& level, const std::string& what) {
    std::string text = manifest;
    const size_t element = text.find(kLevelElement);
    if (element == std::string::npos) {
        const size_t end = text.rfind("</assembly>");
        if (end == std::string::npos) throw MediaBuildError(what + ": its manifest has no closing </assembly> tag");
        text.insert(end, "  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\"><security><requestedPrivileges>"
                         "<requestedExecutionLevel level=\"" + level + "\" uiAccess=\"false\"/>"
                         "</requestedPrivileges></security></trustInfo>\n");
        return text;
    }
    const size_t close = text.find('>', element);
    if (close == std::string::npos) throw MediaBuildError(what + ": its manifest is damaged (an unclosed tag)");
    if (const auto value = attributeValue(text, element, close, "level")) {
        text.replace(value->first, value->second - value->first, level);
    } else {
        text.insert(element + std::string(kLevelElement).size(), " level=\"" + level + "\"");
    }
    return text;
}

std::string executionLevelOf(const std::string& manifest) {
    const size_t element = manifest.find(kLevelElement);
    if (element == std::string::npos) return {};
    const size_t close = manifest.find('>', element);
    if (close == std::string::npos) return {};
    const auto value = attributeValue(manifest, element, close, "level");
    return value ? manifest.substr(value->first, value->second - value->first) : std::string();
}

std::vector<uint8_t> brandImage(std::vector<uint8_t> image, const Branding& branding, const std::string& templateWhat) {
    PeImage pe(std::move(image), templateWhat);
    ResourceTable table = readResources(pe, templateWhat);
    if (!branding.iconPath.empty()) replaceIcon(table, branding, templateWhat);
    if (branding.version) replaceVersion(table, branding);
    if (!branding.executionLevel.empty()) replaceExecutionLevel(table, branding, templateWhat);
    pe.setResourceSection(writeResourceSection(table, pe.resourceSectionRva()));
    return pe.bytes();
}

BrandingReport readBranding(const std::vector<uint8_t>& image, const std::string& what) {
    BrandingReport report;
    try {
        const PeImage pe(image, what);
        const ResourceTable table = readResources(pe, what);
        if (const auto version = findResources(table, kResourceVersion, 1); !version.empty()) {
            report.version = readVersionResource(version.front()->second.bytes);
        }
        if (const auto manifest = findResources(table, kResourceManifest, 1); !manifest.empty()) {
            const auto& bytes = manifest.front()->second.bytes;
            report.executionLevel = executionLevelOf(std::string(bytes.begin(), bytes.end()));
        }
        if (const auto group = findResources(table, kResourceGroupIcon, kLauncherIconGroup); !group.empty()) {
            report.icon = readIconGroup(group.front()->second.bytes, what);
        }
    } catch (const MediaBuildError& error) {
        report.problem = error.what();
    }
    return report;
}

}  // namespace media
