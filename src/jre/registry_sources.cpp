#include "jre/registry_sources.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "base/bitness.h"
#include "base/format.h"
#include "base/win/registry_key.h"
#include "jre/java_check.h"
#include "jre/runtime_layout.h"
#include "services/log.h"
#include "services/tables.h"

namespace jre {

namespace {

using base::win::RegistryKey;
using services::logMessage;

constexpr int32_t kJdkRequiredId = 131;
constexpr int32_t kApplicationId = 160;
constexpr int32_t kRegistrySearchOffId = 165;

constexpr char kInstallationsKey[] = "SOFTWARE\\halvern\\corvane\\installations";
// Subkeys are java.exe paths written with forward slashes.
constexpr char kLocatedJvmsKey[] = "SOFTWARE\\halvern\\lumbra\\locatedjvms";
// Paths that live in the launcher's own runtime folders are never offered as located JVMs.
constexpr char kLauncherRuntimesMark[] = "cvn_jres";
constexpr char kZuluPrefix[] = "zulu-";

struct VendorKey {
    const char* name;
    bool searchedForJdk;
    bool installerMode;
    bool zuluMode;
};

constexpr VendorKey kVendorKeys[] = {
    {"SOFTWARE\\JavaSoft\\JRE", false, false, false},
    {"SOFTWARE\\JavaSoft\\JDK", true, false, false},
    {"SOFTWARE\\JavaSoft\\Java Runtime Environment", false, false, false},
    {"SOFTWARE\\JavaSoft\\Java Development Kit", true, false, false},
    {"SOFTWARE\\Microsoft\\JDK", true, true, false},
    {"SOFTWARE\\Eclipse Adoptium\\JDK", true, true, false},
    {"SOFTWARE\\Eclipse Adoptium\\JRE", false, true, false},
    {"SOFTWARE\\Azul Systems\\Zulu", true, false, true},
};

// Names and values are read into buffers of this many characters, terminator included.
constexpr DWORD kRegistryTextSize = static_cast<DWORD>(services::kTextBufferSize);

LONG openForReading(HKEY root, const std::string& name, REGSAM view, RegistryKey& key) {
    return RegOpenKeyExA(root, name.c_str(), 0, KEY_READ | view, key.receive());
}

// A value of any type as text, cut at its first terminator. A value that does not fit the
// buffer together with a terminator is not read at all rather than cut.
bool readTextValue(HKEY key, const char* name, std::string& text) {
    std::string buffer(kRegistryTextSize, '\0');
    DWORD size = kRegistryTextSize;
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
        ERROR_SUCCESS) {
        return false;
    }
    buffer.resize(std::min<DWORD>(size, kRegistryTextSize));
    const size_t end = buffer.find('\0');
    if (end == std::string::npos && buffer.size() >= kRegistryTextSize) return false;
    text = buffer.substr(0, end);
    return true;
}

// The names of a key's subkeys in enumeration order. Taken in one go, so that what the checks
// of the candidates write to the registry cannot shift the enumeration.
std::vector<std::string> subkeyNames(HKEY key) {
    std::vector<std::string> names;
    std::string buffer(kRegistryTextSize, '\0');
    for (DWORD index = 0;; ++index) {
        DWORD length = kRegistryTextSize;
        const LONG status =
            RegEnumKeyExA(key, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS) break;
        names.emplace_back(buffer.data(), std::min<DWORD>(length, kRegistryTextSize - 1));
    }
    return names;
}

std::string withSeparator(std::string text, char from, char to) {
    std::replace(text.begin(), text.end(), from, to);
    return text;
}

// Newest first; candidates of equal version keep their order.
template <class T, class VersionOf>
void sortNewestFirst(std::vector<T>& items, VersionOf versionOf) {
    std::stable_sort(items.begin(), items.end(),
                     [&](const T& a, const T& b) { return isVersionGreater(versionOf(a), versionOf(b)); });
}

std::optional<RegistryCandidate> acceptedRuntimeIn(const std::string& directory, const VersionComponents& minimum,
                                                   const VersionComponents& maximum) {
    RegistryCandidate candidate;
    if (!findJavaExeInDir(candidate.javaExe, directory)) return std::nullopt;
    if (!checkJavaExe(candidate.javaExe, candidate.version, minimum, maximum, false, true, true)) {
        return std::nullopt;
    }
    return candidate;
}

// --- previous installations -------------------------------------------------------------------

std::string configuredApplicationId() {
    std::string id(services::kTextBufferSize, '\0');
    id.resize(services::configCopy(kApplicationId, id.data(), id.size()));
    return id;
}

std::optional<RegistryCandidate> findInInstallations(HKEY root, REGSAM view, const VersionComponents& minimum,
                                                     const VersionComponents& maximum) {
    const std::string applicationId = configuredApplicationId();
    services::logMessage(L"checking app id %S (%d, %p)", applicationId, static_cast<int>(view), static_cast<const void*>(root));
    if (applicationId.empty()) return std::nullopt;

    RegistryKey key;
    const LONG status = openForReading(root, kInstallationsKey, view, key);
    if (status != ERROR_SUCCESS) {
        services::logMessage(L"could not open installation node %d", static_cast<int>(status));
        return std::nullopt;
    }
    std::string installations;
    if (!readTextValue(key.get(), applicationId.c_str(), installations) || installations.empty()) {
        services::logMessage(L"could not query value node %d", 0);
        return std::nullopt;
    }
    services::logMessage(L"found installations: %S", installations);

    size_t start = 0;
    while (start < installations.size()) {
        const size_t end = std::min(installations.find(';', start), installations.size());
        if (end == start) break;
        const std::string directory = installations.substr(start, end - start) + "\\jre";
        RegistryCandidate candidate;
        if (!findJavaExeInDir(candidate.javaExe, directory)) {
            services::logMessage(L"did not find java in %S", directory);
        } else if (checkJavaExe(candidate.javaExe, candidate.version, minimum, maximum, false, true, true)) {
            return candidate;
        } else {
            services::logMessage(L"java version did not match in %S", directory);
        }
        start = end + 1;
    }
    return std::nullopt;
}

// --- located JVMs ----------------------------------------------------------------------------

std::optional<RegistryCandidate> bestLocatedJvmUnder(HKEY root, const VersionComponents& minimum,
                                                     const VersionComponents& maximum) {
    RegistryKey key;
    if (openForReading(root, kLocatedJvmsKey, 0, key) != ERROR_SUCCESS) return std::nullopt;
    std::optional<RegistryCandidate> best;
    for (const std::string& name : subkeyNames(key.get())) {
        if (name.find(kLauncherRuntimesMark) != std::string::npos) continue;
        RegistryCandidate candidate{withSeparator(name, '/', '\\'), {}};
        if (!checkJavaExe(candidate.javaExe, candidate.version, minimum, maximum, true, true, true)) continue;
        if (!best || isVersionGreater(candidate.version, best->version)) best = std::move(candidate);
    }
    return best;
}

bool deliver(const std::optional<RegistryCandidate>& candidate, std::string& javaExe, std::string& version) {
    if (!candidate) return false;
    javaExe = candidate->javaExe;
    version = candidate->version;
    return true;
}

}  // namespace

std::optional<RegistryCandidate> findInVendorKey(const std::string& keyName, bool installerMode, bool zuluMode,
                                                 const VersionComponents& minimum, const VersionComponents& maximum) {
    RegistryKey key;
    if (openForReading(HKEY_LOCAL_MACHINE, keyName, base::kRuntimeKeyView, key) != ERROR_SUCCESS) return std::nullopt;

    std::vector<std::string> kept;
    for (const std::string& name : subkeyNames(key.get())) {
        const bool prefixed = zuluMode && name.compare(0, sizeof kZuluPrefix - 1, kZuluPrefix) == 0;
        const std::string compared = prefixed ? name.substr(sizeof kZuluPrefix - 1) : name;
        services::logMessage(L"test key name %S %S", compared, name);
        if (isVersionStringInRange(compared, minimum, maximum)) kept.push_back(name);
    }
    sortNewestFirst(kept, [](const std::string& name) -> const std::string& { return name; });
    for (const std::string& name : kept) services::logMessage(L"found in %S: %S", keyName, name);

    for (const std::string& name : kept) {
        const std::string subkeyName = installerMode ? base::formatNarrow("%s\\hotspot\\MSI", name) : name;
        const char* valueName = installerMode ? "Path" : zuluMode ? "InstallationPath" : "JavaHome";
        RegistryKey subkey;
        std::string home;
        if (openForReading(key.get(), subkeyName, 0, subkey) != ERROR_SUCCESS ||
            !readTextValue(subkey.get(), valueName, home)) {
            continue;
        }
        if (auto candidate = acceptedRuntimeIn(home, minimum, maximum)) return candidate;
    }
    return std::nullopt;
}

bool findRegistryJre(std::string& javaExe, std::string& version, const VersionComponents& minimum,
                     const VersionComponents& maximum) {
    const bool jdkRequired = services::configInteger(kJdkRequiredId) != 0;
    std::vector<RegistryCandidate> candidates;
    for (const VendorKey& vendor : kVendorKeys) {
        if (jdkRequired && !vendor.searchedForJdk) continue;
        if (auto candidate = findInVendorKey(vendor.name, vendor.installerMode, vendor.zuluMode, minimum, maximum)) {
            candidates.push_back(std::move(*candidate));
        }
    }
    if (candidates.empty()) return false;
    sortNewestFirst(candidates, [](const RegistryCandidate& candidate) -> const std::string& {
        return candidate.version;
    });
    for (const RegistryCandidate& candidate : candidates) {
        services::logMessage(L"found registry jre %S %S", candidate.javaExe, candidate.version);
    }
    return deliver(candidates.front(), javaExe, version);
}

bool findLocatedJvm(std::string& javaExe, std::string& version, const VersionComponents& minimum,
                    const VersionComponents& maximum) {
    const auto user = bestLocatedJvmUnder(HKEY_CURRENT_USER, minimum, maximum);
    const auto machine = bestLocatedJvmUnder(HKEY_LOCAL_MACHINE, minimum, maximum);
    if (user && machine) return deliver(isVersionGreater(user->version, machine->version) ? user : machine, javaExe, version);
    return deliver(user ? user : machine, javaExe, version);
}

bool findPreviousInstallationJre(std::string& javaExe, std::string& version, const VersionComponents& minimum,
                                 const VersionComponents& maximum) {
    struct Attempt {
        HKEY root;
        REGSAM view;
        const wchar_t* foundLine;
    };
    const Attempt attempts[] = {
        {HKEY_CURRENT_USER, 0, L"found JRE from previous installation (user) %S"},
        {HKEY_CURRENT_USER, KEY_WOW64_32KEY, L"found JRE from previous installation (user) %S"},
        {HKEY_LOCAL_MACHINE, 0, L"found JRE from previous installation (machine) %S"},
        {HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, L"found JRE from previous installation (machine) %S"},
    };
    for (const Attempt& attempt : attempts) {
        if (const auto found = findInInstallations(attempt.root, attempt.view, minimum, maximum)) {
            services::logMessage(attempt.foundLine, found->javaExe);
            return deliver(found, javaExe, version);
        }
    }
    return false;
}

bool findRegistryOrLocatedJre(std::string& javaExe, std::string& version, const VersionComponents& minimum,
                              const VersionComponents& maximum) {
    if (services::configInteger(kRegistrySearchOffId) != 0) return false;

    RegistryCandidate registry;
    const bool fromRegistry = findRegistryJre(registry.javaExe, registry.version, minimum, maximum);
    if (fromRegistry) services::logMessage(L"found sun %S %S", registry.javaExe, registry.version);
    RegistryCandidate located;
    const bool fromLocated = findLocatedJvm(located.javaExe, located.version, minimum, maximum);
    if (fromLocated) services::logMessage(L"found located %S %S", located.javaExe, located.version);

    // A tie goes to the runtime the user once picked.
    if (fromRegistry && (!fromLocated || isVersionGreater(registry.version, located.version))) {
        return deliver(registry, javaExe, version);
    }
    if (fromLocated) return deliver(located, javaExe, version);
    return false;
}

void registerLocatedJvm(const std::string& javaExe) {
    const std::string name = std::string(kLocatedJvmsKey) + "\\" + withSeparator(javaExe, '\\', '/');
    // Recorded for every user when the rights allow it.
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        RegistryKey key;
        if (RegCreateKeyExA(root, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                            key.receive(), nullptr) == ERROR_SUCCESS) {
            return;
        }
    }
}

}  // namespace jre
