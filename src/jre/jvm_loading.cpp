#include "jre/jvm_loading.h"

#include <cstdlib>
#include <cwctype>
#include <vector>

#include "base/bitness.h"
#include "base/text.h"
#include "files/path_operations.h"
#include "jre/java_check.h"
#include "jre/jvm_search.h"
#include "jre/version_rules.h"
#include "files/process_variables.h"
#include "services/error_path.h"
#include "services/log.h"
#include "services/platform.h"
#include "services/tables.h"

namespace jre {

namespace {

using services::logError;
using services::logMessage;

constexpr int32_t kPreferredJvmSubdirectoryId = 152;
constexpr size_t kSubdirectoryLimit = 199;
constexpr int32_t kNativeLibraryDirectoriesId = 10004;
constexpr int32_t kReducePathId = 10010;
constexpr const char* kFixedJvmSubdirectories[] = {"client", "server", "j9vm", "hotspot", "jrockit"};

LoadedRuntime& published() {
    static LoadedRuntime runtime;
    return runtime;
}

// PATH is handled as wide text throughout: a narrow round trip would turn the characters of
// other code pages in the user's PATH into question marks.
std::optional<std::wstring> readPath() {
    const DWORD size = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    if (size == 0) return std::nullopt;
    std::wstring value(size, L'\0');
    const DWORD length = GetEnvironmentVariableW(L"PATH", value.data(), size);
    if (length >= size) return std::nullopt;
    value.resize(length);
    return value;
}

// Sets PATH for the system and for the C runtime's own copy of the environment, which the
// virtual machine's libraries read through getenv.
// No value removes the variable from both.
bool writePath(const std::optional<std::wstring>& value) {
    const bool set = SetEnvironmentVariableW(L"PATH", value ? value->c_str() : nullptr) != FALSE;
    const DWORD error = GetLastError();
    _wputenv((L"PATH=" + value.value_or(std::wstring())).c_str());
    SetLastError(error);
    return set;
}

std::wstring widenPath(const std::string& path) { return base::narrowToWide(path); }

// The bin folder of a Java executable: its path without "javaw.exe" or without as many
// characters as "java.exe" has, and without the separator before.
std::string binDirectoryOf(const std::string& javaExe) {
    static constexpr std::string_view windowed = "javaw.exe";
    size_t cut = std::string_view("java.exe").size();
    if (javaExe.size() >= windowed.size() && javaExe.compare(javaExe.size() - windowed.size(), windowed.size(), windowed) == 0)
        cut = windowed.size();
    if (javaExe.size() <= cut) return {};
    return javaExe.substr(0, javaExe.size() - cut - 1);
}

std::string directoryOf(const std::string& path) {
    const size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

bool isWindowsBefore64() {
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExW(&info)) return false;
#pragma GCC diagnostic pop
    return info.dwMajorVersion < 6 || (info.dwMajorVersion == 6 && info.dwMinorVersion < 4);
}

// Message 1016 names the bitness of runtime the launcher can load: its own.
void showNoSuitableRuntime() { services::showMessage(1016, base::narrowToWide(base::kOwnBitness)); }

void showLoadFailure(SourceKind kind, const std::string& locationText) {
    switch (kind) {
    case SourceKind::SearchPath: showNoSuitableRuntime(); break;
    case SourceKind::Location: services::showMessage(1019, widenPath(locationText)); break;
    case SourceKind::EnvironmentVariable: services::showMessage(1017, widenPath(locationText)); break;
    default: services::showError(services::messageText(1005)); break;
    }
}

}  // namespace

const LoadedRuntime& loadedRuntime() { return published(); }

bool LoadDLL(bool showErrors, const std::optional<std::string>& location, bool locationIsJavaExe) {
    services::logMessage(L"LoadDLL (%d, %S, %d)", showErrors ? 1 : 0, location ? *location : std::string("(null)"),
               locationIsJavaExe ? 1 : 0);
    SearchOutcome outcome;
    HMODULE library = nullptr;
    if (location) {
        services::logMessage(L"Got JRE location %S (java exe: %d)", *location, locationIsJavaExe ? 1 : 0);
        const VersionBounds bounds = configuredVersionBounds();
        if (locationIsJavaExe) {
            outcome.javaExe = *location;
            if (!checkJavaExe(outcome.javaExe, outcome.version, bounds.minimum, bounds.maximum, true, false, true)) {
                services::logError(L"Provided JVM unusable");
                if (showErrors) showNoSuitableRuntime();
                return false;
            }
            library = loadJvmFromJavaExe(outcome.javaExe);
        } else {
            // A folder is tested with force: taken whatever its java.exe answers, whose answer
            // gives only the version the launch reads. So its library is loaded while that
            // java.exe runs (its start alone takes tens of milliseconds under Wine), from the
            // same bin folder as ever, and the version is in before anything reads it.
            LocationTest test(outcome.javaExe, outcome.version, *location, bounds.minimum, bounds.maximum, true, true);
            library = loadJvmFromJavaExe(outcome.javaExe);
            test.answer();
        }
        outcome.kind = SourceKind::Location;
        outcome.locationText = *location;
    } else {
        library = searchJvm(outcome);
        if (outcome.kind == SourceKind::None) {
            services::logError(L"No JVM found");
            if (showErrors) showNoSuitableRuntime();
            return false;
        }
    }

    LoadedRuntime& runtime = published();
    runtime.home = directoryOf(outcome.javaExe) + "\\..";
    runtime.version = outcome.version;
    FARPROC createJavaVm = nullptr;
    if (!library) services::logError(L"Could not get DLL-Handle.");
    if (library) createJavaVm = GetProcAddress(library, "JNI_CreateJavaVM");
    if (!createJavaVm) services::logError(L"Could not load functions");
    if (library && createJavaVm) {
        runtime.createJavaVm = createJavaVm;
        services::logMessage(L"Loading of JVM-DLL successful");
        return true;
    }
    if (showErrors) showLoadFailure(outcome.kind, outcome.locationText);
    return false;
}

HMODULE loadJvmFromJavaExe(const std::string& javaExe) {
    services::logMessage(L"Trying to load JVM-DLL from %S", javaExe);
    if (HMODULE library = tryJvmDll(javaExe)) return library;
    const std::string bin = binDirectoryOf(javaExe);
    if (bin.empty()) return nullptr;
    return tryJvmDll(bin + "\\..\\jre\\bin\\java.exe");
}

HMODULE tryJvmDll(const std::string& javaExe) {
    const std::string bin = binDirectoryOf(javaExe);
    void* const cookie = services::addDllDirectory(bin);
    preloadUcrtbase(bin);

    const std::optional<std::wstring> oldPath = readPath();
    const std::wstring previous = oldPath.value_or(std::wstring());
    const std::wstring newPath = widenPath(bin) + L";" + previous;
    if (writePath(newPath))
        services::logMessage(L"Setting PATH %d %s", static_cast<int>(previous.size() + 1), newPath);
    else
        services::logMessage(L"Setting PATH %s failed with error %d", newPath, static_cast<int>(GetLastError()));

    HMODULE library = nullptr;
    std::string preferred = services::configString(kPreferredJvmSubdirectoryId);
    if (preferred.size() > kSubdirectoryLimit) preferred.resize(kSubdirectoryLimit);
    if (!preferred.empty()) library = tryJvmDllCandidate(bin, preferred);
    for (const char* subdirectory : kFixedJvmSubdirectories) {
        if (library) break;
        library = tryJvmDllCandidate(bin, subdirectory);
    }
    if (library) return library;

    services::removeDllDirectory(cookie);
    // Exactly as before: a PATH that was unset is unset again.
    if (writePath(oldPath))
        services::logMessage(L"Setting PATH %s", previous);
    else
        services::logMessage(L"Setting PATH %s failed with error %d", previous, static_cast<int>(GetLastError()));
    return nullptr;
}

HMODULE tryJvmDllCandidate(const std::string& bin, const std::string& subdirectory) {
    const std::string path = bin + "\\" + subdirectory + "\\jvm.dll";
    const bool exists = files::pathExists(path);
    services::logMessage(L"Trying %S (exists %d)", path, exists ? 1 : 0);
    HMODULE library = LoadLibraryW(widenPath(path).c_str());
    if (!library && exists) services::logMessage(L"Failed with error code %d", static_cast<int>(GetLastError()));
    if (library) published().binDirectory = bin;
    return library;
}

void preloadUcrtbase(const std::string& bin) {
    if (!isWindowsBefore64()) return;
    const std::string library = bin + "\\ucrtbase.dll";
    if (!files::pathExists(library)) return;
    services::logMessage(L"Preloading ucrtbase.dll 4");
    const std::wstring previous = files::currentDirectory();
    SetCurrentDirectoryW(widenPath(bin).c_str());
    if (!LoadLibraryW(L"ucrtbase.dll") && !LoadLibraryW(widenPath(library).c_str()))
        services::logMessage(L"Could not preload ucrtbase.dll");
    if (!previous.empty()) SetCurrentDirectoryW(previous.c_str());
}

void setNativeLibPath() {
    std::string configured = services::configString(kNativeLibraryDirectoriesId);
    services::logMessage(L"native lib dir is %S", configured);
    files::expandLauncherVariables(configured);

    std::string joined;
    size_t start = 0;
    while (start < configured.size()) {
        size_t end = configured.find(';', start);
        if (end == std::string::npos) end = configured.size();
        if (end == start) break;
        std::string directory;
        files::resolveAgainst(directory, std::string_view(configured).substr(start, end - start));
        if (!joined.empty()) joined += ';';
        joined += directory;
        services::addDllDirectory(directory);
        start = end + 1;
    }
    if (!joined.empty() && joined.back() != ';') joined += ';';
    std::wstring path = widenPath(joined);
    if (const std::optional<std::wstring> current = readPath()) path += *current;
    if (writePath(path))
        services::logMessage(L"Setting PATH (native libs) %s", path);
    else
        services::logMessage(L"Setting PATH (native libs) %s failed with error %d", path, static_cast<int>(GetLastError()));
}

void reducePath() {
    if (services::configInteger(kReducePathId) == 0) return;
    const std::optional<std::wstring> path = readPath();
    if (!path || path->empty()) return;
    wchar_t windowsBuffer[MAX_PATH + 1] = {};
    const UINT length = GetWindowsDirectoryW(windowsBuffer, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) return;
    const std::wstring windows(windowsBuffer, length);
    services::logMessage(L"reducing PATH %d %d %s", static_cast<int>(windows.size()), static_cast<int>(path->size() + 1), *path);

    std::wstring reduced;
    size_t start = 0;
    while (start < path->size()) {
        size_t end = path->find(L';', start);
        if (end == std::wstring::npos) end = path->size();
        if (end == start) break;
        const std::wstring_view piece = std::wstring_view(*path).substr(start, end - start);
        if (piece.size() >= windows.size() &&
            CompareStringOrdinal(piece.data(), static_cast<int>(windows.size()), windows.data(),
                                 static_cast<int>(windows.size()), TRUE) == CSTR_EQUAL) {
            if (!reduced.empty()) reduced += L';';
            reduced += piece;
        }
        start = end + 1;
    }
    services::logMessage(L"reduced PATH %d to %s", static_cast<int>(reduced.size()), reduced);
    if (!reduced.empty() && !writePath(reduced)) services::logMessage(L"ERROR setting path");
}

}  // namespace jre
