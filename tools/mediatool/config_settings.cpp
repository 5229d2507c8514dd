#include "mediatool/config_settings.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace media {

namespace {

// Integers are stored as decimal text; "non-zero" settings are on for any value but 0.
constexpr ConfigSetting kSettings[] = {
    {"productName", 101, "text", "product name; carried for the Java side"},
    {"passErrorLog", 102, "integer", "non-zero: hand the error log file name (`errorLogFile`) to the Java side"},
    {"errorLogFile", 103, "text", "error log file name"},
    {"passOutputLog", 104, "integer", "non-zero: hand the output log file name (`outputLogFile`) to the Java side"},
    {"outputLogFile", 105, "text", "output log file name"},
    {"launcherParameter", 106, "integer", "launcher parameter for the Java side"},
    {"launcherType", 107, "integer", "1: the GUI launcher (javaw.exe); any value other than 1 and 5 turns the GUI mode off"},
    {"initSplash", 108, "integer", "non-zero: initialise the splash configuration after the JVM is created"},
    {"classPath", 121, "text", "class path entry list"},
    {"mainClass", 122, "text", "main class of the installer"},
    {"vmOptions", 123, "text", "VM options"},
    {"programArguments", 124, "text", "arguments of the main class; scanned for \"-temp\""},
    {"acceptJArguments", 125, "integer", "non-zero: \"-J\" program arguments become VM options"},
    {"minJavaVersion", 126, "text", "minimum Java version (may be empty)"},
    {"maxJavaVersion", 127, "text", "maximum Java version (may be empty)"},
    {"jreSearchSequence", 128, "text", "where to look for a Java runtime, entries separated by \";\""},
    {"allowEarlyAccessJava", 130, "integer", "non-zero: early-access Java versions are accepted"},
    {"requireJdk", 131, "integer", "non-zero: a JDK is required"},
    {"modulePath", 132, "text", "module path entry list"},
    {"modular", 133, "integer", "non-zero: a modular application"},
    {"uncheckedSearchLocations", 134, "integer", "non-zero: some search locations are accepted without a version check"},
    {"workingDirectory", 146, "text", "working directory, with launcher variables"},
    {"jreUnpackedSize", 151, "integer", "unpacked size of the included runtime archive, for progress (set by `runtime`)"},
    {"jvmSubdirectory", 152, "text", "preferred subdirectory of bin holding jvm.dll"},
    {"jrePacked", 153, "integer", "non-zero: the included runtime has packed archives to expand"},
    {"noStartupDialog", 155, "integer", "non-zero: no startup dialog"},
    {"singleInstanceAllSessions", 158, "integer", "single instance across all logon sessions of the machine"},
    {"noJavaWindowTimeout", 159, "integer", "non-zero: no time-out while waiting for the Java side's window"},
    {"applicationId", 160, "text", "application id of previous installations"},
    {"splashFlag", 163, "integer", "splash configuration flag"},
    {"skipRegistrySearch", 165, "integer", "non-zero: the registry is not searched for a Java runtime"},
    {"readDefaultVmOptionsFile", 166, "integer", "non-zero: read the default VM options file"},
    {"singleInstancePerSession", 200, "integer", "single instance per logon session"},
    {"productKind", 2001, "text", "product kind; a first character \"e\" selects the short product name \"lumbra\", else \"corvane\""},
    {"includedFileCount", 2002, "integer", "number of included files (set from `files`)"},
    {"includedFileNames", 2003, "text", "included file names, separated by \";\" (set from `files`)"},
    {"runtimePreferenceDirectory", 10003, "text", "folder of the per-user runtime preference files"},
    {"nativeLibraryDirectories", 10004, "text", "native library folders, separated by \";\""},
    {"singleInstance", 10005, "integer", "non-zero: single-instance mode"},
    {"activateFirstInstance", 10008, "integer", "non-zero: a second instance brings the first one's windows to the front"},
    {"preferLongTempPaths", 10009, "integer", "non-zero: the temporary folder prefers long path names"},
    {"reducePath", 10010, "integer", "non-zero: reduce PATH to the Windows folder at start-up"},
    {"removeJavaOptionsVariables", 10012, "integer", "non-zero: remove the Java options environment variables"},
    {"darkMode", 10013, "integer", "dark mode of the launcher's dialogs: 0 follow the system, 2 always, other values never"},
    {"offerManualJreSelection", 10014, "integer", "non-zero: offer the manual choice of a Java runtime"},
    {"tempInLocalAppData", 10015, "integer", "non-zero: try the user's local application data folder first for temporary files"},
    {"splashTextX", 10109, "integer", "x position of the splash text"},
    {"splashTextY", 10110, "integer", "y position of the splash text"},
    {"splashText", 10111, "text", "splash text"},
    {"splashTextFont", 10112, "text", "font of the splash text; not read by the launcher"},
    {"splashTextFontSize", 10113, "integer", "first integer handed over with the splash text colour (usually 8)"},
    {"splashTextColor", 10114, "text", "splash text colour, \"r,g,b\""},
    {"splashTextFontWeight", 10115, "integer", "second integer handed over with the splash text colour (usually 500)"},
    {"splashVersionX", 10116, "integer", "x position of the splash version line"},
    {"splashVersionY", 10117, "integer", "y position of the splash version line"},
    {"splashVersionText", 10118, "text", "splash version line"},
    {"splashVersionFont", 10119, "text", "font of the splash version line; not read by the launcher"},
    {"splashVersionFontSize", 10120, "integer", "first integer handed over with the version line colour (usually 8)"},
    {"splashVersionColor", 10121, "text", "splash version line colour, \"r,g,b\""},
    {"splashVersionFontWeight", 10122, "integer", "second integer handed over with the version line colour (usually 500)"},
    {"versionOptionLineCount", 10200, "integer", "number N of version-specific VM option lines `versionCondition[i]` and `versionOptions[i]`, i from 0 to N - 1"},
};

constexpr std::string_view kConditionSeries = "versionCondition";
constexpr std::string_view kOptionsSeries = "versionOptions";

// "versionCondition[3]" and the like; nothing for any other text.
std::optional<int32_t> seriesId(std::string_view name) {
    int32_t offset = 0;
    if (name.starts_with(kConditionSeries)) {
        name.remove_prefix(kConditionSeries.size());
    } else if (name.starts_with(kOptionsSeries)) {
        name.remove_prefix(kOptionsSeries.size());
        offset = 1;
    } else {
        return std::nullopt;
    }
    if (name.size() < 3 || name.front() != '[' || name.back() != ']') return std::nullopt;
    const std::string_view digits = name.substr(1, name.size() - 2);
    if (digits.size() > 4 || (digits.size() > 1 && digits[0] == '0')) return std::nullopt;
    int32_t index = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        index = index * 10 + (c - '0');
    }
    if (index >= kVersionLineLimit) return std::nullopt;
    return kVersionLineFirstId + 2 * index + offset;
}

// Edit distance ignoring case, so "mainclass" and "MainClass" are next to "mainClass".
size_t distance(std::string_view a, std::string_view b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            const bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                              std::tolower(static_cast<unsigned char>(b[j - 1]));
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

std::span<const ConfigSetting> configSettings() { return kSettings; }

std::optional<int32_t> configIdOfName(std::string_view name) {
    for (const ConfigSetting& setting : kSettings) {
        if (name == setting.name) return setting.id;
    }
    return seriesId(name);
}

std::string configNameOfId(int32_t id) {
    for (const ConfigSetting& setting : kSettings) {
        if (id == setting.id) return setting.name;
    }
    if (id >= kVersionLineFirstId && id < kVersionLineFirstId + 2 * kVersionLineLimit) {
        const int32_t index = (id - kVersionLineFirstId) / 2;
        const std::string_view series = (id - kVersionLineFirstId) % 2 == 0 ? kConditionSeries : kOptionsSeries;
        return std::string(series) + "[" + std::to_string(index) + "]";
    }
    return {};
}

std::vector<std::string> closestConfigNames(std::string_view name, size_t count) {
    std::vector<std::pair<size_t, std::string>> ranked;
    for (const ConfigSetting& setting : kSettings) ranked.emplace_back(distance(name, setting.name), setting.name);
    for (const std::string_view series : {kConditionSeries, kOptionsSeries}) {
        // Compared without the index, so "versionOption[0]" finds its series.
        const std::string_view stem = name.substr(0, name.find('['));
        ranked.emplace_back(distance(stem, series), std::string(series) + "[0]");
    }
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> names;
    for (size_t i = 0; i < ranked.size() && i < count; ++i) names.push_back(ranked[i].second);
    return names;
}

std::string configSettingsMarkdown() {
    std::string table = "| name | id | kind | meaning |\n|---|---|---|---|\n";
    for (const ConfigSetting& setting : kSettings) {
        table += "| `" + std::string(setting.name) + "` | " + std::to_string(setting.id) + " | " + setting.kind +
                 " | " + setting.meaning + " |\n";
    }
    table += "| `versionCondition[i]` | 10201 + 2i | text | version condition of version-specific VM option line i |\n";
    table += "| `versionOptions[i]` | 10202 + 2i | text | VM options of version-specific VM option line i |\n";
    return table;
}

}  // namespace media
