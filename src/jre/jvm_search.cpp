#include "jre/jvm_search.h"

#include <vector>

#include "base/text.h"
#include "files/extraction_directory.h"
#include "files/path_operations.h"
#include "jre/java_check.h"
#include "jre/non_working_list.h"
#include "jre/packed_archives.h"
#include "jre/registry_sources.h"
#include "jre/runtime_layout.h"
#include "files/process_variables.h"
#include "services/log.h"
#include "services/modes.h"
#include "services/tables.h"

namespace jre {

namespace {

using services::logMessage;

constexpr int32_t kApplicationDirectoryId = 10003;
constexpr int32_t kSearchSequenceId = 128;
constexpr int32_t kForceConfiguredLocationsId = 134;
constexpr size_t kTextLimit = services::kTextBufferSize - 1;

bool previousInstallationUsed = false;

std::string applicationDirectory() {
    std::string configured = services::configString(kApplicationDirectoryId);
    if (configured.size() > kTextLimit) configured.resize(kTextLimit);
    std::string directory;
    files::resolveAgainst(directory, configured);
    return directory;
}

std::vector<std::string> searchEntries(const std::string& sequence) {
    std::vector<std::string> entries;
    size_t start = 0;
    while (start < sequence.size()) {
        size_t end = sequence.find(';', start);
        if (end == std::string::npos) end = sequence.size();
        if (end == start) break;
        entries.push_back(sequence.substr(start, end - start));
        start = end + 1;
    }
    return entries;
}

// Configured locations that the relative pass leaves out: a drive ("C:...") or a UNC path.
bool isAbsoluteLocation(const std::string& location) {
    return location.size() > 1 && (location[1] == ':' || (location[0] == '\\' && location[1] == '\\'));
}

class Search {
public:
    explicit Search(SearchOutcome& outcome) : outcome_(outcome), bounds_(configuredVersionBounds()) {}

    HMODULE run() {
        outcome_.kind = SourceKind::None;
        services::logMessage(L"Searching for a JVM");
        services::logMessage(L"MinVersion: %S, MaxVersion: %S", bounds_.minimumText, bounds_.maximumText);
        std::string sequence = services::configString(kSearchSequenceId);
        if (sequence.size() > kTextLimit) sequence.resize(kTextLimit);
        const std::vector<std::string> entries = searchEntries(sequence);
        const std::string application = applicationDirectory();

        if (tryLocationFile(application + "\\.corvane\\pref_jre.cfg", L"Has preferred location %S",
                            L"Using preferred location", true))
            return library_;
        const std::string extraction = files::extractionDirectory();
        if (!extraction.empty() &&
            tryLocationFile(extraction + "\\inst_jre.cfg", L"Has installer location %S", L"Using installer location",
                            false))
            return library_;
        for (const std::string& entry : entries)
            if (tryEntry(entry)) return library_;
        if (tryLocationFile(application + "\\.corvane\\inst_jre.cfg", L"Has installer location %S",
                            L"Using installer location", false))
            return library_;
        for (const std::string& entry : entries)
            if (tryRelative(entry)) return library_;
        services::logMessage(L"Search sequence finished");
        for (const char* variable : {"LUMBRA_JAVA_HOME", "CORVANE_JAVA_HOME"}) {
            std::string javaExe;
            std::string version;
            if (findJreFromEnv(javaExe, version, variable, bounds_.minimum, bounds_.maximum) &&
                load(javaExe, version, SourceKind::EnvironmentVariable, variable))
                return library_;
        }
        return library_;
    }

private:
    // Takes the candidate as the outcome and loads it; true once a library is loaded.
    bool load(const std::string& javaExe, const std::string& version, SourceKind kind, const std::string& location) {
        outcome_.javaExe = javaExe;
        outcome_.version = version;
        outcome_.kind = kind;
        outcome_.locationText = location;
        library_ = loadJvmFromJavaExe(javaExe);
        return library_ != nullptr;
    }

    bool tryLocationFile(const std::string& file, const wchar_t* foundLine, const wchar_t* usingLine, bool allowBeta) {
        const std::string location = readFirstLine(file);
        if (location.empty()) return false;
        services::logMessage(foundLine, location);
        std::string javaExe;
        std::string version;
        if (!testLocation(javaExe, version, location, bounds_.minimum, bounds_.maximum, allowBeta, false)) return false;
        services::logMessage(usingLine);
        return load(javaExe, version, SourceKind::Location, location);
    }

    bool tryEntry(const std::string& entry) {
        const char type = entry[0];
        std::string location = entry.substr(1);
        outcome_.locationText.clear();
        files::expandLauncherVariables(location);
        services::logMessage(L"Testing location %S (type %c)", location, static_cast<wchar_t>(static_cast<unsigned char>(type)));
        std::string javaExe;
        std::string version;
        switch (type) {
        case 'A':
        case 'B':
        case 'R': {
            const bool force = services::configInteger(kForceConfiguredLocationsId) != 0;
            return testLocation(javaExe, version, location, bounds_.minimum, bounds_.maximum, false, force) &&
                   load(javaExe, version, SourceKind::Location, location);
        }
        case 'E':
            return findJreFromEnv(javaExe, version, location, bounds_.minimum, bounds_.maximum) &&
                   load(javaExe, version, SourceKind::EnvironmentVariable, location);
        case 'S':
            return findJavaOnPath(javaExe, version, bounds_.minimum, bounds_.maximum) &&
                   load(javaExe, version, SourceKind::SearchPath, location);
        case 'I':
            return retryRegistrySource(findPreviousInstallationJre, true);
        case 'Y':
            return retryRegistrySource(findRegistryOrLocatedJre, false);
        default:
            return false;
        }
    }

    // A registry source offers its best candidate; one whose library does not load goes on the
    // non-working list, so that the source offers the next, until the list is full.
    bool retryRegistrySource(bool (*source)(std::string&, std::string&, const VersionComponents&,
                                            const VersionComponents&),
                             bool previousInstallation) {
        while (true) {
            std::string javaExe;
            std::string version;
            if (!source(javaExe, version, bounds_.minimum, bounds_.maximum)) return false;
            if (load(javaExe, version, SourceKind::Registry, outcome_.locationText)) {
                if (previousInstallation) previousInstallationUsed = true;
                return true;
            }
            if (!addNonWorkingJava(javaExe)) return false;
        }
    }

    bool tryRelative(const std::string& entry) {
        const char type = entry[0];
        if (type != 'A' && type != 'B' && type != 'R') return false;
        const std::string location = entry.substr(1);
        if (type != 'B' && isAbsoluteLocation(location)) return false;
        services::logMessage(L"Testing relative location %S", location);
        // Resolved against the launcher's folder, as in the first pass: the current directory
        // is wherever the user happened to start the installer from.
        std::string javaExe;
        std::string version;
        testLocation(javaExe, version, location, bounds_.minimum, bounds_.maximum, true, true);
        if (!files::pathExists(javaExe)) return false;
        services::logMessage(L"%S exists", javaExe);
        return load(javaExe, version, SourceKind::Location, location);
    }

    SearchOutcome& outcome_;
    const VersionBounds bounds_;
    HMODULE library_ = nullptr;
};

}  // namespace

HMODULE searchJvm(SearchOutcome& outcome) { return Search(outcome).run(); }

LocationTest::LocationTest(std::string& javaExe, std::string& version, const std::string& directory,
                           const VersionComponents& minimum, const VersionComponents& maximum, bool allowBeta,
                           bool force, bool runOnThread)
    : force_(force) {
    const std::string canonical = files::canonicalPath(directory, false);
    expandPackedJars(canonical);
    const bool acceptable = findJavaExeInDir(javaExe, canonical);
    if (force && services::modes().languageRestart) {
        answer_ = true;
    } else if (!acceptable) {
        answer_ = force;
    } else {
        check_.emplace(javaExe, version, minimum, maximum, allowBeta, !force, !force, runOnThread);
    }
}

bool LocationTest::answer() {
    if (!answer_) {
        const bool passed = check_->answer();
        answer_ = force_ || passed;
    }
    return *answer_;
}

bool testLocation(std::string& javaExe, std::string& version, const std::string& directory,
                  const VersionComponents& minimum, const VersionComponents& maximum, bool allowBeta, bool force) {
    return LocationTest(javaExe, version, directory, minimum, maximum, allowBeta, force, false).answer();
}

bool findJreFromEnv(std::string& javaExe, std::string& version, const std::string& name,
                    const VersionComponents& minimum, const VersionComponents& maximum) {
    std::wstring wide(services::kTextBufferSize, L'\0');
    const DWORD length =
        GetEnvironmentVariableW(base::narrowToWide(name).c_str(), wide.data(), static_cast<DWORD>(wide.size()));
    // An unset variable, or one too long for a path the launcher could use.
    if (length == 0 || length >= wide.size()) return false;
    wide.resize(length);
    // The narrow form the rest of the launcher works with; where the code page cannot write
    // the folder's name, its short form, and never a name with "?" for the lost characters.
    bool lossy = false;
    std::string value = files::toFileApiNarrow(wide, &lossy);
    if (lossy) {
        const std::wstring shortForm = files::shortPathName(wide);
        value = shortForm.empty() ? std::string() : files::toFileApiNarrow(shortForm, &lossy);
        if (value.empty() || lossy) {
            services::logMessage(L"%S names a folder without a narrow form", name);
            return false;
        }
    }
    for (char& c : value)
        if (c == '/') c = '\\';
    return findJavaExeInDir(javaExe, value) && checkJavaExe(javaExe, version, minimum, maximum, false, true, true);
}

bool findJavaOnPath(std::string& javaExe, std::string& version, const VersionComponents& minimum,
                    const VersionComponents& maximum) {
    const DWORD size = SearchPathA(nullptr, "java.exe", nullptr, 0, nullptr, nullptr);
    if (size == 0) return false;
    std::string found(size, '\0');
    const DWORD length = SearchPathA(nullptr, "java.exe", nullptr, size, found.data(), nullptr);
    if (length == 0 || length >= size) return false;
    found.resize(length);
    javaExe = found;
    return checkJavaExe(javaExe, version, minimum, maximum, false, true, true);
}

bool usesPreviousInstallationJre() { return previousInstallationUsed; }

std::string readFirstLine(const std::string& path) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string line;
    char piece[512];
    DWORD got = 0;
    bool ended = false;
    while (!ended && line.size() < kTextLimit && ReadFile(file, piece, sizeof piece, &got, nullptr) && got > 0) {
        for (DWORD i = 0; i < got; ++i) {
            if (piece[i] == '\n') {
                ended = true;
                break;
            }
            line += piece[i];
        }
    }
    CloseHandle(file);
    if (line.size() > kTextLimit) line.resize(kTextLimit);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    return line;
}

}  // namespace jre
