#include "files/temporary_directory.h"

#include <sddl.h>
#include <shlobj.h>

#include <cstdlib>
#include <ctime>
#include <mutex>
#include <optional>

#include "base/format.h"
#include "base/text.h"
#include "base/win/growing_buffer.h"
#include "files/executable_paths.h"
#include "files/extraction_directory.h"
#include "files/path_operations.h"
#include "files/run_reservation.h"
#include "files/temporary_choice.h"
#include "services/error_path.h"
#include "services/log.h"
#include "services/tables.h"

namespace files {

namespace {

constexpr size_t kPathLimit = 6000;
constexpr int kExtractionAttempts = 10;
// How long a run may spend on the leftovers of ended runs before its own start goes on.
constexpr DWORD kSweepBudgetMilliseconds = 2000;

// While the automatic base is chosen, log lines wait: the log itself may be what asked for
// the base, and it must not be asked again from inside its own start.
thread_local bool deferLogLines = false;
thread_local std::vector<std::wstring> deferredLines;

template <class... Args>
void note(std::wstring_view format, const Args&... args) {
    std::wstring line = base::formatWide(format, args...);
    if (deferLogLines) {
        deferredLines.push_back(std::move(line));
    } else {
        services::writeLogLine(false, line);
    }
}

struct BaseState {
    std::mutex lock;
    bool chosen = false;
    TemporaryBaseChoice automatic;
    std::optional<TemporaryBase> manual;
};

BaseState& baseState() {
    static BaseState* instance = new BaseState;
    return *instance;
}

void seedRandom() {
    const auto now = static_cast<unsigned long long>(std::time(nullptr));
    std::srand(static_cast<unsigned>(now * GetCurrentProcessId()));
}

template <class Char>
bool endsWithSeparator(const std::basic_string<Char>& path) {
    return !path.empty() && (path.back() == static_cast<Char>('\\') || path.back() == static_cast<Char>('/'));
}

// Creating and removing a directory of our own is the one sure test of a writable folder.
bool isWritable(const std::string& directory) {
    seedRandom();
    const std::string probe = base::formatNarrow(endsWithSeparator(directory) ? "%slmbtw%d%d" : "%s\\lmbtw%d%d",
                                                 directory, static_cast<int>(GetCurrentProcessId()), std::rand());
    RemoveDirectoryA(probe.c_str());
    const bool writable = CreateDirectoryA(probe.c_str(), nullptr) && pathExists(probe);
    RemoveDirectoryA(probe.c_str());
    return writable;
}

bool isWritable(const std::wstring& directory) {
    seedRandom();
    const std::wstring probe = base::formatWide(endsWithSeparator(directory) ? L"%slmbtw%d%d" : L"%s\\lmbtw%d%d",
                                                directory, static_cast<int>(GetCurrentProcessId()), std::rand());
    const std::wstring systemPath = extendedLengthPath(probe);
    RemoveDirectoryW(systemPath.c_str());
    const bool writable = CreateDirectoryW(systemPath.c_str(), nullptr) && pathExists(probe);
    RemoveDirectoryW(systemPath.c_str());
    return writable;
}

// The precomposed form of the text, or none when the system cannot say.
std::optional<std::wstring> precomposed(const std::wstring& text) {
    if (text.empty() || text.size() >= kPathLimit) return std::nullopt;
    std::wstring mapped(text.size() + 16, L'\0');
    const int length = FoldStringW(MAP_PRECOMPOSED, text.data(), static_cast<int>(text.size()), mapped.data(),
                                   static_cast<int>(mapped.size()));
    if (length <= 0) return std::nullopt;
    mapped.resize(static_cast<size_t>(length));
    return mapped;
}

std::string environmentNarrow(const char* name) {
    return base::win::growingBuffer<char>([&](char* buffer, DWORD size) { return GetEnvironmentVariableA(name, buffer, size); });
}

std::wstring environmentWide(const wchar_t* name) {
    return base::win::growingBuffer<wchar_t>(
        [&](wchar_t* buffer, DWORD size) { return GetEnvironmentVariableW(name, buffer, size); });
}

// A known folder in both forms; both empty unless both calls give a path.
FolderForms knownFolder(int folder) {
    const FolderPathFunctions& functions = loadFolderPathFunctions();
    if (!functions.narrow || !functions.wide) return {};
    char narrow[MAX_PATH + 1] = {};
    wchar_t wide[MAX_PATH + 1] = {};
    if (FAILED(functions.narrow(nullptr, folder, nullptr, 0, narrow)) || narrow[0] == 0) return {};
    if (FAILED(functions.wide(nullptr, folder, nullptr, 0, wide)) || wide[0] == 0) return {};
    return {narrow, wide};
}

FolderForms windowsDirectory() {
    char narrow[MAX_PATH + 1] = {};
    wchar_t wide[MAX_PATH + 1] = {};
    const UINT narrowLength = GetWindowsDirectoryA(narrow, MAX_PATH + 1);
    const UINT wideLength = GetWindowsDirectoryW(wide, MAX_PATH + 1);
    if (narrowLength == 0 || narrowLength > MAX_PATH || wideLength == 0 || wideLength > MAX_PATH) return {};
    return {narrow, wide};
}

SystemFolders systemFolders() {
    SystemFolders folders;
    folders.localAppData = knownFolder(CSIDL_LOCAL_APPDATA);
    folders.temporary = {
        base::win::growingBuffer<char>([](char* buffer, DWORD size) { return GetTempPathA(size, buffer); }),
        base::win::growingBuffer<wchar_t>([](wchar_t* buffer, DWORD size) { return GetTempPathW(size, buffer); })};
    folders.userProfile = {environmentNarrow("USERPROFILE"), environmentWide(L"USERPROFILE")};
    const std::string driveNarrow = environmentNarrow("HOMEDRIVE");
    const std::wstring driveWide = environmentWide(L"HOMEDRIVE");
    const std::string pathNarrow = environmentNarrow("HOMEPATH");
    const std::wstring pathWide = environmentWide(L"HOMEPATH");
    if (!driveNarrow.empty() && !pathNarrow.empty() && !driveWide.empty() && !pathWide.empty()) {
        folders.home = {driveNarrow + pathNarrow, driveWide + pathWide};
    }
    folders.commonAppData = knownFolder(CSIDL_COMMON_APPDATA);
    folders.windows = windowsDirectory();
    return folders;
}

CandidateVerdict testCandidate(const TemporaryCandidate& c, bool strict) {
    CandidateVerdict verdict;
    if (c.narrow.empty() || c.wide.empty()) return verdict;
    if (c.createParent) {
        CreateDirectoryA(directoryPart(c.narrow).c_str(), nullptr);
        CreateDirectoryW(directoryPart(c.wide).c_str(), nullptr);
    }
    verdict.narrow = c.narrow;
    bool narrowBang = false;
    bool wideBang = false;
    const bool narrowUsable = isUsableDirectoryNarrow(verdict.narrow, c.create, strict, c.preferLong, narrowBang);
    // The wide test runs even after a narrow failure, since a bang in either form rules the
    // folder out of the relaxed pass.
    const bool wideUsable = isUsableDirectoryWide(c.wide, c.create, strict, wideBang);
    verdict.usable = narrowUsable && wideUsable;
    verdict.bang = narrowBang || wideBang;
    return verdict;
}

const TemporaryBaseChoice& automaticBase() {
    BaseState& state = baseState();
    std::vector<std::wstring> lines;
    {
        std::lock_guard<std::mutex> guard(state.lock);
        if (state.chosen) return state.automatic;
        deferLogLines = true;
        state.automatic = chooseTemporaryBase(temporaryCandidates(systemFolders()), testCandidate);
        state.chosen = true;
        deferLogLines = false;
        lines.swap(deferredLines);
    }
    for (const std::wstring& line : lines) services::writeLogLine(false, line);
    return state.automatic;
}

std::optional<TemporaryBase> currentBase() {
    {
        BaseState& state = baseState();
        std::lock_guard<std::mutex> guard(state.lock);
        if (state.manual) return state.manual;
    }
    return automaticBase().base;
}

[[noreturn]] void failWithoutBase() { services::failWithMessage(1015, std::wstring_view()); }

}  // namespace

bool isUsableDirectoryNarrow(std::string& path, bool create, bool strict, bool preferLong, bool& bang) {
    bang = false;
    if (path.empty()) return false;
    if (create) CreateDirectoryA(path.c_str(), nullptr);
    if (hasBangSeparator(path)) {
        bang = true;
        return false;
    }
    if (strict || preferLong) {
        const std::string longForm = longPathName(path);
        if (!longForm.empty()) {
            if (hasBangSeparator(longForm)) bang = true;
            if (bang || longForm.find('?') != std::string::npos) {
                if (bang || strict) return false;
            } else if (preferLong && longForm.size() < kPathLimit && longForm != path) {
                note(L"using long path %S", longForm);
                path = longForm;
            }
        }
    }
    return isWritable(path);
}

bool isUsableDirectoryWide(const std::wstring& path, bool create, bool strict, bool& bang) {
    bang = false;
    if (path.empty()) return false;
    if (create) CreateDirectoryW(extendedLengthPath(path).c_str(), nullptr);
    if (hasBangSeparator(path)) {
        bang = true;
        return false;
    }
    const auto mapped = precomposed(path);
    if (!mapped || mapped->size() != path.size()) {
        const std::wstring shown = mapped ? *mapped : std::wstring();
        note(L"folding error %s %d %s %d", shown, static_cast<int>(shown.size()), path, static_cast<int>(path.size()));
        return false;
    }
    if (!strict) return isWritable(path);
    const std::wstring longForm = longPathName(path);
    if (hasBangSeparator(longForm)) bang = true;
    if (bang || longForm.find(L'?') != std::wstring::npos) return false;
    const auto mappedLong = precomposed(longForm);
    if (mappedLong && mappedLong->size() == longForm.size()) return isWritable(path);
    const std::wstring shown = mappedLong ? *mappedLong : std::wstring();
    note(L"folding error2 %s %d %s %d", shown, static_cast<int>(shown.size()), longForm,
         static_cast<int>(longForm.size()));
    return false;
}

std::string temporaryBaseNarrow() {
    const auto base = currentBase();
    if (!base) failWithoutBase();
    return base->narrow;
}

std::wstring temporaryBaseWide(bool required) {
    const auto base = currentBase();
    if (base) return base->wide;
    if (required) failWithoutBase();
    return std::wstring();
}

bool temporaryBaseFallbackUsed() { return automaticBase().fallbackUsed; }

bool hasManualTemporaryBase() {
    BaseState& state = baseState();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.manual.has_value();
}

void handleTempOption(std::vector<std::wstring>& arguments) {
    auto setManual = [](std::optional<TemporaryBase> base) {
        BaseState& state = baseState();
        std::lock_guard<std::mutex> guard(state.lock);
        state.manual = std::move(base);
    };
    applyTempOption(arguments, [&](const std::wstring& folder) {
        bool lossy = false;
        const std::string narrow = toFileApiNarrow(folder, &lossy);
        bool bang = false;
        if (isUsableDirectoryWide(folder, false, true, bang)) {
            bool narrowBang = false;
            std::string accepted = narrow;
            bool usable = !lossy && isUsableDirectoryNarrow(accepted, false, true, false, narrowBang);
            if (!usable && (lossy || !narrowBang)) {
                bool shortLossy = false;
                accepted = toFileApiNarrow(shortPathName(folder), &shortLossy);
                usable = !shortLossy && isUsableDirectoryNarrow(accepted, false, true, false, narrowBang);
            }
            if (usable) {
                setManual(TemporaryBase{accepted, folder});
                note(L"Using manual temp dir %s (%S)", folder, accepted);
                return true;
            }
        }
        note(L"Manual temp dir not usable %s (%S)", folder, narrow);
        setManual(std::nullopt);
        return false;
    });
}

std::string reserveTempFileName(bool* reserved) {
    const std::string base = temporaryBaseNarrow();
    note(L"tempPath is %S", base);
    // GetTempFileNameA writes up to MAX_PATH characters and fails for a longer result.
    char name[MAX_PATH + 1] = {};
    std::string result;
    if (GetTempFileNameA(base.c_str(), "lmb", 0, name) != 0) {
        result = name;
        if (reserved) *reserved = true;
    } else {
        note(L"GetTempFileName failed (last error %d)", static_cast<int>(GetLastError()));
        seedRandom();
        result = base::formatNarrow(endsWithSeparator(base) ? "%slmb%d" : "%s\\lmb%d", base, std::rand());
        if (reserved) *reserved = false;
    }
    note(L"tempFile is %S", result);
    return result;
}

ExtractionDirectorySecurity::ExtractionDirectorySecurity() {
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kExtractionDirectorySddl, SDDL_REVISION_1, &descriptor_,
                                                              nullptr)) {
        error_ = GetLastError();
        descriptor_ = nullptr;
    }
}

ExtractionDirectorySecurity::~ExtractionDirectorySecurity() {
    if (descriptor_) LocalFree(descriptor_);
}

void createExtractionDirectory() {
    // What runs that were ended from outside left behind goes first, within a bound: a killed
    // run's directory, with its runtime, would otherwise stay in the temporary folder for good.
    const ULONGLONG sweepStart = GetTickCount64();
    const SweepOutcome swept = sweepEndedRuns(temporaryBaseWide(false), kSweepBudgetMilliseconds);
    if (swept.removed > 0 || swept.kept > 0) {
        note(L"removed %d directories of ended runs, %d left for later (%d ms)", swept.removed, swept.kept,
             static_cast<int>(GetTickCount64() - sweepStart));
    }
    for (int attempt = 0; attempt < kExtractionAttempts; ++attempt) {
        bool reserved = false;
        const std::string name = reserveTempFileName(&reserved);
        const std::string directory =
            base::formatNarrow("%s_dir%lld", name, static_cast<long long>(std::time(nullptr)));
        note(L"Temp dir3: %S", directory);
        const ExtractionDirectorySecurity security;
        if (!security.descriptor()) note(L"Failed to create security descriptor %d", static_cast<int>(security.error()));
        SECURITY_ATTRIBUTES attributes = {sizeof attributes, security.descriptor(), FALSE};
        // The claim comes before the directory, so that no moment exists in which the
        // directory is there and a sweep could take it for an ended run's.
        const bool held = reserved && holdReservation(base::narrowToWide(name));
        if (CreateDirectoryA(directory.c_str(), security.descriptor() ? &attributes : nullptr)) {
            setExtractionDirectory(directory, reserved ? name : std::string(), ExtractionOwner::Run);
            return;
        }
        note(L"Could not create dir (%d)", static_cast<int>(GetLastError()));
        // Each attempt reserves a new name; the ones that led nowhere are not left behind.
        if (held) releaseReservation();
        if (reserved) DeleteFileA(name.c_str());
    }
    clearExtractionDirectory();
    services::failWithMessage(1009, std::wstring_view(L"7"));
}

}  // namespace files
