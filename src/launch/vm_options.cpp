#include "launch/vm_options.h"

#include "base/text.h"
#include "files/path_text.h"
#include "jre/version_rules.h"
#include "services/command_line.h"
#include "services/log.h"
#include "services/tables.h"

namespace launch {

namespace {

using services::logError;
using services::logMessage;

constexpr std::wstring_view kInclude = L"-include-options ";
constexpr std::wstring_view kClasspath = L"-classpath ";
constexpr std::wstring_view kClasspathPrefix = L"-classpath/p ";
constexpr std::wstring_view kClasspathSuffix = L"-classpath/a ";
constexpr int32_t kConfiguredOptionsId = 123;
constexpr int32_t kVersionLineCountId = 10200;
constexpr int32_t kFirstVersionConditionId = 10201;

bool startsWith(std::wstring_view text, std::wstring_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// Absolute: a drive letter with ":\" (after one optional quotation mark), or a UNC "\\".
bool isAbsoluteIncludePath(std::wstring_view path) {
    if (startsWith(path, L"\\\\")) return true;
    std::wstring_view rest = path;
    if (!rest.empty() && rest.front() == L'"') rest.remove_prefix(1);
    return rest.size() >= 3 && ((rest[0] >= L'A' && rest[0] <= L'Z') || (rest[0] >= L'a' && rest[0] <= L'z')) &&
           rest[1] == L':' && rest[2] == L'\\';
}

std::wstring directoryOfFile(const std::wstring& path) {
    const size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

void include(const std::optional<std::wstring>& includeBase, const std::wstring& path, OptionSink& sink,
             OptionServices& services, int depth) {
    std::wstring expanded = path;
    services.expand(expanded, files::ExpansionMode::Unicode);
    logMessage(L"after exp from %s %s", expanded, path);
    std::wstring resolved = expanded;
    if (!isAbsoluteIncludePath(expanded)) {
        const std::wstring directory = includeBase ? directoryOfFile(services.fullPath(*includeBase))
                                                   : services.executableLongDirectory();
        resolved = directory + L"\\" + expanded;
    }
    files::foldSeparators(resolved);
    const std::optional<std::string> content = services.readFile(resolved);
    logMessage(L"adding vmoptions from (%d) <%s> (%s)", content ? 1 : 0, resolved, expanded);
    if (content) {
        if (depth >= sink.includeDepthLimit) {
            logError(L"vmoptions nested deeper than %d, not reading %s", sink.includeDepthLimit, resolved);
        } else if (sink.filesIncluded >= sink.includedFileLimit) {
            logError(L"more than %d vmoptions files included, not reading %s", sink.includedFileLimit, resolved);
        } else {
            ++sink.filesIncluded;
            readVmOptionsText(*content, resolved, sink, services, depth + 1);
        }
    }
    logMessage(L"adding vmoptions 2");
    logMessage(L"adding vmoptions 3");
}

bool isLineBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

}  // namespace

void processOptionLine(const std::optional<std::wstring>& includeBase, const std::wstring& line, OptionSink& sink,
                       OptionServices& services, int depth) {
    if (startsWith(line, kInclude)) {
        include(includeBase, line.substr(kInclude.size()), sink, services, depth);
    } else if (startsWith(line, kClasspath)) {
        sink.classpathOverride = services.toAnsi(std::wstring_view(line).substr(kClasspath.size()));
    } else if (startsWith(line, kClasspathPrefix)) {
        sink.classpathPrefix = services.toAnsi(std::wstring_view(line).substr(kClasspathPrefix.size()));
    } else if (startsWith(line, kClasspathSuffix)) {
        sink.classpathSuffix = services.toAnsi(std::wstring_view(line).substr(kClasspathSuffix.size()));
    } else {
        sink.options.push_back(services.toAnsi(line));
    }
}

void readVmOptionsText(std::string_view content, const std::optional<std::wstring>& includeBase, OptionSink& sink,
                       OptionServices& services, int depth) {
    // Read as a text file: an editor's end-of-file mark (Ctrl-Z) ends it, and nothing after it
    // is an option.
    content = content.substr(0, content.find('\x1a'));
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string_view::npos) end = content.size();
        std::string_view line = content.substr(start, end - start);
        start = end + 1;
        while (!line.empty() && isLineBlank(line.front())) line.remove_prefix(1);
        while (!line.empty() && isLineBlank(line.back())) line.remove_suffix(1);
        if (line.empty() || line.front() == '#') continue;
        std::wstring wide = files::widenBytes(line);
        services.expand(wide, files::ExpansionMode::AnsiSafe);
        processOptionLine(includeBase, wide, sink, services, depth);
    }
}

namespace {

void walkOptionString(std::wstring text, OptionSink& sink, OptionServices& services, bool announce) {
    services.expand(text, files::ExpansionMode::AnsiSafe);
    std::vector<std::wstring> tokens;
    services::splitCommandLine(text, tokens, false);
    if (announce) logMessage(L"adding options");
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i] == L"-include-options" && i + 1 < tokens.size()) {
            processOptionLine(std::nullopt, tokens[i] + L" " + tokens[i + 1], sink, services);
            ++i;
        } else {
            processOptionLine(std::nullopt, tokens[i], sink, services);
        }
    }
}

}  // namespace

void addOptionString(std::wstring text, OptionSink& sink, OptionServices& services) {
    walkOptionString(std::move(text), sink, services, false);
}

int versionMajor(std::string_view version) {
    const jre::VersionComponents components = jre::splitVersion(version);
    if (components.empty()) return -1;
    if (components[0] == 1 && components.size() > 1) return components[1];
    return components[0];
}

bool wildcardMatch(std::string_view pattern, std::string_view text) {
    size_t p = 0;
    size_t t = 0;
    size_t star = std::string_view::npos;
    size_t resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool matchesVersionCondition(std::string_view condition, std::string_view version) {
    bool matches = false;
    if (!condition.empty() && condition.front() == '*') {
        matches = wildcardMatch(condition.substr(1), version);
    } else {
        const size_t dash = condition.find('-');
        if (dash == std::string_view::npos) {
            logError(L"expected dash");
        } else {
            const int minimum = base::parseDecimalInt(condition.substr(0, dash));
            const int maximum = base::parseDecimalInt(condition.substr(dash + 1));
            const int major = versionMajor(version);
            logMessage(L"checking min %d max %d with %d", minimum, maximum, major);
            matches = minimum <= major && major <= maximum;
        }
    }
    logMessage(L"checking version %S %d", condition, matches ? 1 : 0);
    return matches;
}

void addConfiguredOptions(OptionSink& sink, OptionServices& services, const std::optional<std::string>& version) {
    walkOptionString(services::configWide(kConfiguredOptionsId, std::wstring::npos), sink, services, true);
    const int lines = services::configInteger(kVersionLineCountId);
    if (lines <= 0) return;
    logMessage(L"check %d version specific vm option lines for %S", lines, version ? *version : std::string("(null)"));
    if (!version) return;
    // A line whose condition is absent cannot match, so only the conditions the table holds are
    // looked at, in line order: a sparse table keeps its later lines, and an absurd count costs
    // no more than the table's size.
    const services::ConfigTable& table = services::configTable();
    const int64_t end = kFirstVersionConditionId + 2 * static_cast<int64_t>(lines);
    for (auto entry = table.lower_bound(kFirstVersionConditionId); entry != table.end() && entry->first < end;
         ++entry) {
        if ((entry->first - kFirstVersionConditionId) % 2 != 0) continue;  // a line's options
        if (!matchesVersionCondition(entry->second, *version)) continue;
        std::wstring options = services::configWide(entry->first + 1, std::wstring::npos);
        logMessage(L"adding specific %s", options);
        addOptionString(std::move(options), sink, services);
        return;
    }
}

void addJavaArguments(const std::vector<std::wstring>& arguments, OptionSink& sink, OptionServices& services) {
    for (const std::wstring& argument : arguments) {
        if (startsWith(argument, L"-J")) processOptionLine(std::nullopt, argument.substr(2), sink, services);
    }
}

}  // namespace launch
