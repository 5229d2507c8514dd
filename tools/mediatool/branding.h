// An installer author's branding of the launcher image: icon group 1001 from an .ico file, the
// version block, and the execution level of the manifest. Applied to the template's copy before
// the payload follows it; read back for `mediatool inspect`.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "mediatool/icon_file.h"
#include "mediatool/version_resource.h"

namespace media {

constexpr uint32_t kLauncherIconGroup = 1001;

struct VersionBranding {
    FourPartVersion fileVersion{};
    FourPartVersion productVersion{};
    // Version block keys ("ProductName") and their texts (UTF-8), in the order given.
    std::vector<std::pair<std::string, std::string>> strings;
};

struct Branding {
    std::string iconPath;  // an .ico file; empty keeps the template's icon
    std::string iconWhere = "branding.icon";
    std::optional<VersionBranding> version;
    std::string versionWhere = "branding.version";
    std::string executionLevel;  // empty keeps the template's
};

// The keys of a description's "branding" block, as the table `mediatool settings` prints.
std::string brandingSettingsMarkdown();

// The execution levels a manifest may ask for.
bool isExecutionLevel(const std::string& level);

// The template image (up to the end of its last section) with its resources rewritten; the
// result still ends with its last section, where the payload will start. Throws MediaBuildError
// naming the description's place or the template.
std::vector<uint8_t> brandImage(std::vector<uint8_t> image, const Branding& branding, const std::string& templateWhat);

// What a file's resources say, for `inspect`.
struct BrandingReport {
    std::optional<VersionInfo> version;
    std::string executionLevel;           // empty without a manifest that names one
    std::vector<IconGroupEntry> icon;     // the images of icon group 1001
    std::string problem;                  // why the resources could not be read, if so
};
BrandingReport readBranding(const std::vector<uint8_t>& image, const std::string& what);

// The manifest with its requestedExecutionLevel set to `level`, the rest unchanged; one
// without a trustInfo block gets one before its closing tag.
std::string manifestWithExecutionLevel(const std::string& manifest, const std::string& level, const std::string& what);
std::string executionLevelOf(const std::string& manifest);

}  // namespace media
