// The named settings of the config table: one table of (name, id, kind, meaning) from which the
// description parser takes the names it accepts, `mediatool inspect` the names it shows and
// docs/media-description.md its table of settings (`mediatool settings` prints it).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace media {

struct ConfigSetting {
    const char* name;
    int32_t id;
    const char* kind;  // "integer" or "text"
    const char* meaning;
};

// Every named setting, in id order.
std::span<const ConfigSetting> configSettings();

// The version-specific VM option lines are a series: line i is the pair of ids
// 10201 + 2i (its version condition) and 10202 + 2i (its options), named
// "versionCondition[i]" and "versionOptions[i]".
constexpr int32_t kVersionLineFirstId = 10201;
constexpr int32_t kVersionLineLimit = 1000;

// The id a setting name stands for, or nothing for an unknown name.
std::optional<int32_t> configIdOfName(std::string_view name);
// The name of an id, empty when the id has none.
std::string configNameOfId(int32_t id);
// Up to `count` known names closest to an unknown one, the closest first.
std::vector<std::string> closestConfigNames(std::string_view name, size_t count = 3);

// The settings as the Markdown table of docs/media-description.md.
std::string configSettingsMarkdown();

}  // namespace media
