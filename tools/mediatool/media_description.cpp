// The JSON description of a media file (docs/media-description.md). Strict on purpose: a key
// that is misspelt or given twice would otherwise build an installer that silently lacks a
// setting.
#include <nlohmann/json.hpp>

#include <cctype>
#include <climits>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "base/text.h"
#include "media/payload_format.h"
#include "mediatool/config_settings.h"
#include "mediatool/file_access.h"
#include "mediatool/included_name.h"
#include "mediatool/media_writer.h"
#include "mediatool/text_encoding.h"

namespace media {

namespace {

// Document order, so that an error names the later of two clashing keys.
using json = nlohmann::ordered_json;

constexpr int32_t kConfigRuntimeUnpackedSize = 151;

// nlohmann keeps the last of two equal keys without a word; this watches the parse events
// and remembers the first duplicate with where it was found.
class DuplicateKeyWatch {
public:
    bool operator()(int, json::parse_event_t event, json& parsed) {
        switch (event) {
        case json::parse_event_t::object_start:
        case json::parse_event_t::array_start: {
            Frame frame;
            frame.object = event == json::parse_event_t::object_start;
            frame.path = frames_.empty() ? "" : childPath();
            countArrayElement();
            frames_.push_back(std::move(frame));
            break;
        }
        case json::parse_event_t::object_end:
        case json::parse_event_t::array_end:
            if (!frames_.empty()) frames_.pop_back();
            break;
        case json::parse_event_t::key: {
            Frame& top = frames_.back();
            top.lastKey = parsed.get<std::string>();
            if (!top.keys.insert(top.lastKey).second && !duplicate_) {
                duplicate_ = "duplicate key \"" + top.lastKey + "\" " +
                             (top.path.empty() ? std::string("at the top level") : "in " + top.path);
            }
            break;
        }
        case json::parse_event_t::value:
            countArrayElement();
            break;
        }
        return true;
    }

    const std::optional<std::string>& duplicate() const { return duplicate_; }

private:
    struct Frame {
        bool object = true;
        std::set<std::string> keys;
        std::string lastKey;
        size_t nextIndex = 0;
        std::string path;
    };

    std::string childPath() const {
        const Frame& top = frames_.back();
        if (!top.object) return top.path + "[" + std::to_string(top.nextIndex) + "]";
        return top.path.empty() ? top.lastKey : top.path + "." + top.lastKey;
    }
    void countArrayElement() {
        if (!frames_.empty() && !frames_.back().object) ++frames_.back().nextIndex;
    }

    std::vector<Frame> frames_;
    std::optional<std::string> duplicate_;
};

[[noreturn]] void fail(const std::string& where, const std::string& what) {
    throw MediaBuildError((where.empty() ? std::string("description") : where) + ": " + what);
}

std::string member(const std::string& where, const std::string& key) {
    return where.empty() ? key : where + "." + key;
}

std::string element(const std::string& where, size_t index) {
    return where + "[" + std::to_string(index) + "]";
}

const char* typeName(json::value_t type) {
    switch (type) {
    case json::value_t::object: return "an object";
    case json::value_t::array: return "an array";
    case json::value_t::string: return "a string";
    case json::value_t::boolean: return "true or false";
    default: return "a number";
    }
}

void expectType(const json& value, json::value_t type, const std::string& where) {
    if (value.type() != type) fail(where, std::string("expected ") + typeName(type) + ", got " + value.type_name());
}

void expectKeys(const json& object, std::initializer_list<const char*> allowed, const std::string& where) {
    for (const auto& [key, value] : object.items()) {
        bool known = false;
        for (const char* name : allowed) known = known || key == name;
        if (!known) fail(member(where, key), "unknown key");
    }
}

std::string textValue(const json& value, const std::string& where) {
    expectType(value, json::value_t::string, where);
    const std::string& text = value.get_ref<const std::string&>();
    // The launcher handles these texts as C strings; a NUL would cut them short unnoticed.
    if (text.find('\0') != std::string::npos) fail(where, "contains a NUL character");
    return text;
}

// Ids are decimal text keys; "101" and "0101" would silently overwrite each other.
int32_t decimalId(const std::string& key, const std::string& keyWhere) {
    const size_t significant = key.find_first_not_of('0');
    const std::string digits = significant == std::string::npos ? "0" : key.substr(significant);
    if (key.empty() || key.find_first_not_of("0123456789") != std::string::npos) {
        fail(keyWhere, "not a decimal id");
    }
    if (digits.size() > 10 || std::stoll(digits) > INT32_MAX) fail(keyWhere, "id out of range");
    return static_cast<int32_t>(std::stoll(digits));
}

// Config keys are a setting's name or its decimal id; anything that starts like a name is
// taken for one.
int32_t configKeyId(const std::string& key, const std::string& keyWhere) {
    if (key.empty() || !std::isalpha(static_cast<unsigned char>(key[0]))) return decimalId(key, keyWhere);
    if (const std::optional<int32_t> id = configIdOfName(key)) return *id;
    std::string closest;
    for (const std::string& name : closestConfigNames(key)) closest += (closest.empty() ? "" : ", ") + name;
    fail(keyWhere, "unknown setting; the closest names are " + closest);
}

bool isName(const std::string& key) { return !key.empty() && std::isalpha(static_cast<unsigned char>(key[0])); }

template <typename Value>
std::map<int32_t, Value> idTable(const json& object, const std::string& where,
                                 const std::function<Value(const json&, const std::string&)>& convert,
                                 int32_t (*keyId)(const std::string&, const std::string&) = decimalId) {
    expectType(object, json::value_t::object, where);
    std::map<int32_t, Value> table;
    std::map<int32_t, std::string> keyOfId;
    for (const auto& [key, value] : object.items()) {
        const std::string keyWhere = where + " \"" + key + "\"";
        const int32_t id = keyId(key, keyWhere);
        const auto [previous, fresh] = keyOfId.emplace(id, key);
        if (!fresh) {
            const bool named = isName(key) || isName(previous->second);
            fail(keyWhere, std::string(named ? "same setting" : "same id") + " as \"" + previous->second + "\"" +
                               (named ? " (id " + std::to_string(id) + ")" : ""));
        }
        table.emplace(id, convert(value, keyWhere));
    }
    return table;
}

std::wstring messageText(const json& value, const std::string& where) {
    // The JSON parser has already refused malformed UTF-8.
    return base::utf8ToWide(textValue(value, where));
}

class DescriptionParser {
public:
    explicit DescriptionParser(std::string baseDirectory) : baseDirectory_(std::move(baseDirectory)) {}

    MediaDescription parse(const json& root) {
        expectType(root, json::value_t::object, "");
        expectKeys(root, {"checksum", "codePage", "defaultMessages", "config", "messages", "languages",
                          "files", "trailing", "runtime", "branding"},
                   "");
        if (root.contains("codePage")) {
            const std::string codePage = textValue(root["codePage"], "codePage");
            if (codePage == "utf-8") {
                utf8Config_ = true;
            } else if (codePage != "1252") {
                fail("codePage", "must be \"1252\" or \"utf-8\"");
            }
        }
        if (root.contains("checksum")) description_.checksum = flag(root["checksum"], "checksum");
        if (root.contains("defaultMessages")) {
            description_.defaultMessages = flag(root["defaultMessages"], "defaultMessages");
        }
        if (root.contains("config")) parseConfig(root["config"]);
        if (root.contains("messages")) {
            description_.messages = idTable<std::wstring>(root["messages"], "messages", messageText);
        }
        if (root.contains("languages")) parseLanguages(root["languages"]);
        if (root.contains("files")) parseFiles(root["files"]);
        if (root.contains("trailing")) description_.trailing = includedData(root["trailing"], "trailing");
        if (root.contains("runtime")) parseRuntime(root["runtime"]);
        if (root.contains("branding")) parseBranding(root["branding"]);
        description_.checkRuntimeMachine = true;
        return std::move(description_);
    }

private:
    static bool flag(const json& value, const std::string& where) {
        expectType(value, json::value_t::boolean, where);
        return value.get<bool>();
    }

    // Config texts reach the launcher's narrow (ANSI) calls, so they are stored in the code
    // page those calls will use.
    std::string narrowText(const std::string& utf8, const std::string& where) const {
        if (utf8Config_) return utf8;
        const Windows1252Result converted = utf8ToWindows1252(utf8);
        if (converted.malformed) fail(where, "is not valid UTF-8");
        if (converted.unmappable) {
            fail(where, "character " + codePointName(*converted.unmappable) + " is not in Windows-1252");
        }
        return converted.bytes;
    }

    void parseConfig(const json& object) {
        description_.config = idTable<std::string>(object, "config", [this](const json& value, const std::string& where) {
            if (value.is_number_integer()) return value.dump();
            if (!value.is_string()) fail(where, std::string("expected a string or an integer, got ") + value.type_name());
            return narrowText(textValue(value, where), where);
        }, configKeyId);
        for (const auto& [key, value] : object.items()) {
            const int32_t id = configKeyId(key, "");
            if (id == kConfigIncludedFileCount || id == kConfigIncludedFileNames) {
                fail("config \"" + key + "\"", "is set from \"files\" and cannot be given");
            }
            if (id == kConfigRuntimeUnpackedSize) unpackedSizeKey_ = key;
        }
    }

    // A runtime folder, packed by the build; its unpacked size is then known to the tool.
    void parseRuntime(const json& object) {
        expectType(object, json::value_t::object, "runtime");
        expectKeys(object, {"source"}, "runtime");
        if (!object.contains("source")) fail("runtime", "\"source\" is missing");
        if (!unpackedSizeKey_.empty()) {
            fail("config \"" + unpackedSizeKey_ + "\"", "is set from \"runtime\" and cannot be given");
        }
        for (size_t i = 0; i < description_.files.size(); ++i) {
            if (includedNameKey(description_.files[i].name) == includedNameKey("jre.tar.gz")) {
                fail(member(element("files", i), "name"), "jre.tar.gz is the archive \"runtime\" packs; give one of them");
            }
        }
        const std::string source = resolvedSource(object["source"], "runtime.source");
        description_.runtime = RuntimeFolder{source, "runtime.source"};
    }

    void parseBranding(const json& object) {
        expectType(object, json::value_t::object, "branding");
        expectKeys(object, {"icon", "version", "executionLevel"}, "branding");
        Branding branding;
        if (object.contains("icon")) branding.iconPath = resolvedSource(object["icon"], branding.iconWhere);
        if (object.contains("executionLevel")) {
            branding.executionLevel = textValue(object["executionLevel"], "branding.executionLevel");
            if (!isExecutionLevel(branding.executionLevel)) {
                fail("branding.executionLevel", "\"" + branding.executionLevel +
                                                    "\" is none of asInvoker, highestAvailable, requireAdministrator");
            }
        }
        if (object.contains("version")) branding.version = versionBranding(object["version"], branding.versionWhere);
        // An empty block changes nothing, and so leaves the template's bytes as they are.
        if (!branding.iconPath.empty() || branding.version || !branding.executionLevel.empty()) {
            description_.branding = std::move(branding);
        }
    }

    static VersionBranding versionBranding(const json& object, const std::string& where) {
        // Description keys and the version block's keys, in the order the block stores them.
        static const std::pair<const char*, const char*> kTexts[] = {
            {"comments", "Comments"},
            {"companyName", "CompanyName"},
            {"fileDescription", "FileDescription"},
            {"fileVersion", "FileVersion"},
            {"legalCopyright", "LegalCopyright"},
            {"originalFilename", "OriginalFilename"},
            {"productName", "ProductName"},
            {"productVersion", "ProductVersion"},
        };
        expectType(object, json::value_t::object, where);
        expectKeys(object, {"comments", "companyName", "fileDescription", "fileVersion", "legalCopyright",
                            "originalFilename", "productName", "productVersion"},
                   where);
        if (!object.contains("fileVersion")) fail(where, "\"fileVersion\" is missing");
        const auto number = [&](const char* key) {
            const std::string text = textValue(object[key], member(where, key));
            const std::optional<FourPartVersion> version = parseFourPartVersion(text);
            if (!version) fail(member(where, key), "\"" + text + "\" is not a version a.b.c.d of four numbers from 0 to 65535");
            return *version;
        };
        VersionBranding version;
        version.fileVersion = number("fileVersion");
        version.productVersion = object.contains("productVersion") ? number("productVersion") : version.fileVersion;
        for (const auto& [key, blockKey] : kTexts) {
            if (std::string(key) == "fileVersion") {
                version.strings.emplace_back(blockKey, fourPartVersionText(version.fileVersion));
            } else if (std::string(key) == "productVersion") {
                version.strings.emplace_back(blockKey, fourPartVersionText(version.productVersion));
            } else if (object.contains(key)) {
                version.strings.emplace_back(blockKey, textValue(object[key], member(where, key)));
            }
        }
        return version;
    }

    void parseLanguages(const json& array) {
        expectType(array, json::value_t::array, "languages");
        std::set<std::string> codes;
        for (size_t i = 0; i < array.size(); ++i) {
            const std::string where = element("languages", i);
            const json& entry = array[i];
            expectType(entry, json::value_t::object, where);
            expectKeys(entry, {"code", "messages"}, where);
            if (!entry.contains("code")) fail(where, "\"code\" is missing");
            LanguageBlock block;
            block.code = textValue(entry["code"], member(where, "code"));
            if (block.code.empty() ||
                block.code.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_") !=
                    std::string::npos) {
                fail(member(where, "code"), "must be letters, digits and '_' like \"de\" or \"pt_BR\"");
            }
            if (!codes.insert(block.code).second) fail(member(where, "code"), "\"" + block.code + "\" is given twice");
            if (entry.contains("messages")) {
                for (auto& [id, text] : idTable<std::wstring>(entry["messages"], member(where, "messages"), messageText)) {
                    block.entries.emplace_back(id, std::move(text));
                }
            }
            description_.languages.push_back(std::move(block));
        }
    }

    void parseFiles(const json& array) {
        expectType(array, json::value_t::array, "files");
        std::map<std::wstring, std::string> fileKeys;
        std::map<std::wstring, std::string> directoryKeys;
        for (size_t i = 0; i < array.size(); ++i) {
            const std::string where = element("files", i);
            const json& entry = array[i];
            expectType(entry, json::value_t::object, where);
            expectKeys(entry, {"name", "source", "text"}, where);
            if (!entry.contains("name")) fail(where, "\"name\" is missing");
            std::string name;
            try {
                name = storedIncludedName(textValue(entry["name"], member(where, "name")));
            } catch (const MediaBuildError& error) {
                fail(member(where, "name"), error.what());
            }
            const std::wstring key = includedNameKey(name);
            if (const auto clash = fileKeys.find(key); clash != fileKeys.end()) {
                fail(member(where, "name"), "\"" + name + "\" is the same file as \"" + clash->second + "\" on Windows");
            }
            if (const auto clash = directoryKeys.find(key); clash != directoryKeys.end()) {
                fail(member(where, "name"), "\"" + name + "\" is also the directory of \"" + clash->second + "\"");
            }
            if (const size_t separator = name.find('\\'); separator != std::string::npos) {
                const std::wstring directory = includedNameKey(name.substr(0, separator));
                if (const auto clash = fileKeys.find(directory); clash != fileKeys.end()) {
                    fail(member(where, "name"), "its directory is the included file \"" + clash->second + "\"");
                }
                directoryKeys.emplace(directory, name);
            }
            fileKeys.emplace(key, name);
            description_.files.push_back({narrowText(name, member(where, "name")), includedData(entry, where)});
        }
    }

    IncludedData includedData(const json& object, const std::string& where) const {
        expectType(object, json::value_t::object, where);
        if (where == "trailing") expectKeys(object, {"source", "text"}, where);
        const bool hasSource = object.contains("source");
        if (hasSource == object.contains("text")) fail(where, "needs exactly one of \"source\" and \"text\"");
        IncludedData data;
        if (!hasSource) {
            expectType(object["text"], json::value_t::string, member(where, "text"));
            data.content = object["text"].get<std::string>();
            return data;
        }
        data.where = member(where, "source");
        data.sourcePath = resolvedSource(object["source"], data.where);
        return data;
    }

    // Relative to the description's folder unless absolute.
    std::string resolvedSource(const json& value, const std::string& where) const {
        const std::string source = textValue(value, where);
        if (source.empty()) fail(where, "is empty");
        if (nativePath(source).has_root_path() || baseDirectory_.empty()) return source;
        const char last = baseDirectory_.back();
        return baseDirectory_ + (last == '/' || last == '\\' ? "" : "/") + source;
    }

    std::string baseDirectory_;
    std::string unpackedSizeKey_;  // the key that gave config 151, if any
    bool utf8Config_ = false;
    MediaDescription description_;
};

}  // namespace

MediaDescription parseMediaDescription(const std::string& jsonText, const std::string& baseDirectory) {
    DuplicateKeyWatch watch;
    json root;
    try {
        root = json::parse(jsonText, std::ref(watch), true, true);
    } catch (const json::parse_error& error) {
        throw MediaBuildError(std::string("description is not valid JSON: ") + error.what());
    }
    if (watch.duplicate()) throw MediaBuildError("description: " + *watch.duplicate());
    return DescriptionParser(baseDirectory).parse(root);
}

}  // namespace media
