#include "launch/option_assembly.h"

#include <algorithm>

#include "base/format.h"
#include "services/log.h"
#include "services/tables.h"

namespace launch {

namespace {

using services::logMessage;

constexpr int32_t kClasspathEntriesId = 121;
constexpr int32_t kMainClassId = 122;
constexpr int32_t kJavaArgumentsId = 125;
constexpr int32_t kModulePathEntriesId = 132;
constexpr int32_t kModularApplicationId = 133;
constexpr int32_t kDefaultVmOptionsId = 166;
constexpr int kMissingEntryMessage = 1006;
constexpr int kMissingVariableMessage = 1008;

constexpr std::wstring_view kFormatAsDefault = L"-Dsun.locale.formatasdefault=";

void dropOneTrailingSemicolon(std::string& text) {
    if (!text.empty() && text.back() == ';') text.pop_back();
}

std::vector<std::string> splitEntries(const std::string& list) {
    std::vector<std::string> entries;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(';', start);
        if (end == std::string::npos) end = list.size();
        if (end - start >= 2) entries.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return entries;
}

void appendEnvironmentEntry(std::string& out, const std::string& name, bool required, AssemblyServices& services) {
    const std::optional<std::string> value = services.environmentValue(name);
    if (!value) {
        if (required) services.fail(kMissingVariableMessage, name);
        return;
    }
    // Used whole, however long: a class path held in a variable is cut nowhere.
    std::string text = *value;
    if (text.empty()) {
        if (required) services.fail(kMissingEntryMessage, name);
        return;
    }
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
    out += text;
    if (text.empty() || text.back() != ';') out += ';';
}

// The default VM options file: "<exe without .exe>.vmoptions", then "<exe>.vmoptions", first
// for the long path, then for the module file name the system reports.
std::optional<std::string> readDefaultVmOptions(AssemblyServices& services) {
    for (const std::wstring& executable : {services.executableLongPath(), services.moduleFileName()}) {
        const std::wstring first =
            (executable.size() > 4 ? executable.substr(0, executable.size() - 4) : executable) + L".vmoptions";
        std::optional<std::string> content = services.readFile(first);
        logMessage(L"vmoptions2: exe %s file: %s, file: %d", executable, first, content ? 1 : 0);
        if (content) return content;
        const std::wstring second = executable + L".vmoptions";
        content = services.readFile(second);
        logMessage(L"vmoptions: opts2: %s, file: %d", second, content ? 1 : 0);
        if (content) return content;
    }
    return std::nullopt;
}

void addLocaleOptions(const AssemblyInputs& inputs, OptionSink& sink, AssemblyServices& services) {
    const std::wstring* last = nullptr;
    for (const std::wstring& argument : inputs.arguments) {
        if (argument.compare(0, kFormatAsDefault.size(), kFormatAsDefault) == 0) last = &argument;
    }
    if (!last) return;
    processOptionLine(std::nullopt, *last, sink, services);
    if (*last == L"-Dsun.locale.formatasdefault=true") return;
    if (inputs.language) sink.options.push_back("-Duser.language=" + *inputs.language);
    if (inputs.country) sink.options.push_back("-Duser.country=" + *inputs.country);
}

void addClassAndModulePath(const AssemblyInputs& inputs, OptionSink& sink, AssemblyServices& services) {
    logMessage(L"adding preconfigured modulepath");
    std::string modulePath = configuredPathEntries(services::configString(kModulePathEntriesId), true, services);
    std::string classpath = "-Djava.class.path=";
    const bool modular = services::configInteger(kModularApplicationId) != 0;
    std::string& target = !modulePath.empty() || modular ? modulePath : classpath;
    if (sink.classpathPrefix) classpath += *sink.classpathPrefix + ";";
    for (const char* pattern : {"*.jar", "*.zip"}) {
        for (const std::string& name : services.listFiles(inputs.extractionDirectory, pattern))
            target += inputs.extractionDirectory + "\\" + name + ";";
    }
    if (sink.classpathOverride) {
        classpath += *sink.classpathOverride;
    } else {
        logMessage(L"adding preconfigured classpath");
        classpath += configuredPathEntries(services::configString(kClasspathEntriesId), false, services);
    }
    if (sink.classpathSuffix) {
        if (classpath.back() != ';') classpath += ';';
        classpath += *sink.classpathSuffix;
    }
    dropOneTrailingSemicolon(classpath);
    sink.options.push_back(classpath);
    if (modulePath.empty()) return;

    dropOneTrailingSemicolon(modulePath);
    sink.options.push_back("--module-path=" + modulePath);
    const std::string runtimeModule = inputs.installerKind ? "com.corvane.runtime" : "com.lumbra.runtime";
    std::string modules = "--add-modules=";
    if (modular) {
        const std::string mainClass = services::configString(kMainClassId);
        const size_t slash = mainClass.find('/');
        const size_t dot = mainClass.rfind('.');
        if (slash != std::string::npos && dot != std::string::npos && dot > slash)
            sink.options.push_back("--add-opens=" + mainClass.substr(0, dot) + "=" + runtimeModule);
        modules += slash == std::string::npos ? mainClass : mainClass.substr(0, slash);
        modules += ",";
    }
    sink.options.push_back(modules + runtimeModule);
}

}  // namespace

std::vector<std::string> launcherSystemProperties(const PropertyInputs& inputs) {
    std::vector<std::string> properties;
    if (inputs.semaphoreName) properties.push_back("-Dlumbra.semaphoreName=" + *inputs.semaphoreName);
    if (inputs.manualJre) properties.push_back("-Dlumbra.manualJre=true");
    if (inputs.previousInstallationJre) properties.push_back("-Dcvn.previousJdk=true");
    if (inputs.installerKind) properties.push_back("-Dlumbra.isCorvane=true");
    properties.push_back("-Dlumbra.moduleName=" + inputs.executableNarrowPath);
    properties.push_back("-Dsun.java.command=" + inputs.executableNarrowPath);
    properties.push_back("-Dlumbra.tempDir=" + inputs.extractionDirectory);
    properties.push_back("-Dlumbra.unextractedPosition=" + std::to_string(inputs.unextractedPosition));
    if (inputs.path && !inputs.path->empty()) properties.push_back("-Djava.library.path=" + *inputs.path);
    if (!inputs.manpathSet) properties.push_back("-Dlumbra.consoleCodepage=cp" + std::to_string(inputs.consoleCodePage));
    return properties;
}

std::string configuredPathEntries(const std::string& list, bool modulePath, AssemblyServices& services) {
    std::string out;
    for (const std::string& entry : splitEntries(list)) {
        const char type = entry[0];
        const bool required = entry[1] == '1';
        std::string value = entry.substr(2);
        services.expandNarrow(value);
        if (type == 'E') {
            appendEnvironmentEntry(out, value, required, services);
            continue;
        }
        if (type != 'A' && type != 'D' && type != 'S') continue;
        const std::string resolved = services.resolveNarrow(value);
        if (required && !services.pathExists(resolved)) services.fail(kMissingEntryMessage, value);
        if (type == 'S' && !modulePath) {
            for (const char* pattern : {"*.jar", "*.zip"}) {
                for (const std::string& name : services.listFiles(resolved, pattern)) out += resolved + "\\" + name + ";";
            }
        } else {
            out += resolved + ";";
        }
    }
    return out;
}

void joinModuleOptions(std::vector<std::string>& options) {
    static const char* const names[] = {"--upgrade-module-path", "--add-modules", "--limit-modules", "--add-exports",
                                        "--add-opens", "--add-reads", "--patch-module"};
    for (size_t i = 0; i + 1 < options.size(); ++i) {
        if (std::find(std::begin(names), std::end(names), options[i]) == std::end(names)) continue;
        options[i] += "=" + options[i + 1];
        options.erase(options.begin() + static_cast<long>(i) + 1);
    }
}

std::optional<int64_t> parseStackSize(std::string_view text) {
    size_t digits = 0;
    int64_t value = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
        if (value > (INT64_MAX - 9) / 10) return std::nullopt;
        value = value * 10 + (text[digits] - '0');
        ++digits;
    }
    if (digits == 0) return std::nullopt;
    const std::string_view suffix = text.substr(digits);
    if (suffix.empty()) return value;
    if (suffix.size() != 1) return std::nullopt;
    int shift = 0;
    switch (suffix[0]) {
    case 'k': case 'K': shift = 10; break;
    case 'm': case 'M': shift = 20; break;
    case 'g': case 'G': shift = 30; break;
    case 't': case 'T': shift = 40; break;
    default: return std::nullopt;
    }
    if (value > (INT64_MAX >> shift)) return std::nullopt;
    return value << shift;
}

uint32_t stackReservation(const std::vector<std::string>& options) {
    uint32_t size = 0;
    for (const std::string& option : options) {
        if (option.compare(0, 4, "-Xss") != 0) continue;
        const std::optional<int64_t> parsed = parseStackSize(std::string_view(option).substr(4));
        if (parsed && *parsed > 0) size = static_cast<uint32_t>(static_cast<uint64_t>(*parsed) & 0xFFFFFFFFu);
    }
    if (size >= 1 && size <= 65535) size = 65536;
    return size;
}

std::vector<std::string> assembleJvmOptions(const AssemblyInputs& inputs, AssemblyServices& services) {
    OptionSink sink;
    sink.options = inputs.properties;
    addConfiguredOptions(sink, services, inputs.runtimeVersion);
    addLocaleOptions(inputs, sink, services);
    if (services::configInteger(kDefaultVmOptionsId) != 0) {
        const std::optional<std::string> content = readDefaultVmOptions(services);
        logMessage(L"default vmoptions file: %d", content ? 1 : 0);
        if (content) readVmOptionsText(*content, std::nullopt, sink, services);
    }
    if (services::configInteger(kJavaArgumentsId) != 0) addJavaArguments(inputs.arguments, sink, services);
    addClassAndModulePath(inputs, sink, services);

    std::vector<std::string> options = std::move(sink.options);
    joinModuleOptions(options);
    if (std::any_of(options.begin(), options.end(), [](const std::string& o) { return !o.empty() && o[0] == '@'; })) {
        services.expandArgumentFiles(options);
        joinModuleOptions(options);
    }
    options.erase(std::remove_if(options.begin(), options.end(), [](const std::string& o) { return o.empty(); }),
                  options.end());
    logMessage(L"vmoption count %d", static_cast<int>(options.size()));
    for (size_t i = 0; i < options.size(); ++i) logMessage(L"vmoption %d: %S", static_cast<int>(i), options[i]);
    return options;
}

}  // namespace launch
