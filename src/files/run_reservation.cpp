#include "files/run_reservation.h"

#include <cstdint>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

#include "base/win/handles.h"
#include "files/directory_tree.h"
#include "files/path_text.h"
#include "services/log.h"

namespace files {

namespace {

// Written into the reservation once it is held: only a run that holds its reservation for its
// whole life marks it, so a marked one that nobody holds is proof that its run has ended.
constexpr std::string_view kMark = "held by its launcher run\r\n";
// A run nests its runtime and the installer's files; links are removed, never followed.
constexpr int kTreeDepth = 64;

struct Claim {
    std::mutex lock;
    base::win::FileHandle reservation;
};

Claim& claim() {
    static Claim* instance = new Claim;  // never destroyed: the clean-up runs while the process ends
    return *instance;
}

HANDLE openHeld(const std::wstring& path, DWORD access) {
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    return CreateFileW(extendedLengthPath(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool isMarked(HANDLE file) {
    char text[64] = {};
    DWORD got = 0;
    LARGE_INTEGER start = {};
    if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return false;
    if (!ReadFile(file, text, static_cast<DWORD>(kMark.size()), &got, nullptr)) return false;
    return std::string_view(text, got) == kMark;
}

std::wstring withSeparator(std::wstring path) {
    if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
    return path;
}

// The entries of the folder matching the pattern, by name; links are left out: a link named
// like a directory or reservation of ours leads elsewhere and is nobody's run.
std::vector<std::pair<std::wstring, bool>> entriesMatching(const std::wstring& base, const wchar_t* pattern) {
    std::vector<std::pair<std::wstring, bool>> found;
    for (const DirectoryEntry& entry : directoryEntries(base, pattern)) {
        if (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
        found.emplace_back(entry.path.substr(base.size()), (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    }
    return found;
}

// Removes the directories `reservation` made; true when none is left.
bool removeReservedDirectories(const std::wstring& base, const std::wstring& reservation) {
    bool complete = true;
    for (const auto& [name, isDirectory] : entriesMatching(base, (reservation + L"_dir*").c_str())) {
        if (!isDirectory || !isReservedDirectoryName(reservation, name)) continue;
        const std::wstring directory = base + name;
        services::logMessage(L"removing the leftover of an ended run %s", directory);
        std::vector<std::wstring> failedFiles;
        std::vector<std::wstring> failedDirectories;
        emptyDirectoryTree(directory, failedFiles, failedDirectories, kTreeDepth);
        if (!RemoveDirectoryW(extendedLengthPath(directory).c_str())) complete = false;
    }
    return complete;
}

}  // namespace

bool holdReservation(const std::wstring& reservation) {
    // A sweep that looks at the reservation in the moment before it is marked holds it for an
    // instant and lets go again.
    base::win::FileHandle file;
    for (int attempt = 0; attempt < 50 && !file; ++attempt) {
        file.reset(openHeld(reservation, GENERIC_READ | GENERIC_WRITE));
        if (!file && GetLastError() != ERROR_SHARING_VIOLATION) return false;
        if (!file) Sleep(2);
    }
    if (!file) return false;
    DWORD written = 0;
    if (!WriteFile(file.get(), kMark.data(), static_cast<DWORD>(kMark.size()), &written, nullptr) ||
        written != kMark.size()) {
        return false;
    }
    Claim& state = claim();
    std::lock_guard<std::mutex> guard(state.lock);
    state.reservation = std::move(file);
    return true;
}

void joinReservationOf(const std::wstring& extractionDirectory) {
    const size_t cut = extractionDirectory.rfind(L"_dir");
    if (cut == std::wstring::npos) return;
    const std::wstring reservation = extractionDirectory.substr(0, cut);
    const size_t name = reservation.find_last_of(L"\\/");
    if (name == std::wstring::npos || !isReservationName(std::wstring_view(reservation).substr(name + 1))) return;
    base::win::FileHandle file(openHeld(reservation, GENERIC_READ));
    if (!file || !isMarked(file.get())) return;
    Claim& state = claim();
    std::lock_guard<std::mutex> guard(state.lock);
    if (!state.reservation) state.reservation = std::move(file);
}

void releaseReservation() {
    Claim& state = claim();
    std::lock_guard<std::mutex> guard(state.lock);
    state.reservation.reset();
}

namespace {

// Inherited handles keep the values they had in the parent. The claim is taken early in the run,
// before the virtual machine opens its many handles, so its value is a small one.
constexpr uintptr_t kLargestInheritedHandle = 0x10000;

bool sameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

// Closes every handle of this process to the file. The child has no way to learn the values of
// the handles it inherited other than to look at each possible one.
void closeHandlesTo(const std::wstring& path) {
    BY_HANDLE_FILE_INFORMATION target = {};
    {
        base::win::FileHandle file(CreateFileW(extendedLengthPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file || !GetFileInformationByHandle(file.get(), &target)) return;
    }
    for (uintptr_t value = 4; value <= kLargestInheritedHandle; value += 4) {
        const HANDLE handle = reinterpret_cast<HANDLE>(value);
        if (GetFileType(handle) != FILE_TYPE_DISK) continue;
        BY_HANDLE_FILE_INFORMATION information = {};
        if (GetFileInformationByHandle(handle, &information) && sameFile(information, target)) CloseHandle(handle);
    }
}

}  // namespace

void deleteReservationsOfRemovedDirectories(const std::vector<std::wstring>& directories) {
    for (const std::wstring& directory : directories) {
        const size_t name = directory.find_last_of(L"\\/");
        const size_t cut = directory.rfind(L"_dir");
        if (name == std::wstring::npos || cut == std::wstring::npos || cut < name) continue;
        const std::wstring reservationName = directory.substr(name + 1, cut - name - 1);
        if (!isReservedDirectoryName(reservationName, std::wstring_view(directory).substr(name + 1))) continue;
        if (GetFileAttributesW(extendedLengthPath(directory).c_str()) != INVALID_FILE_ATTRIBUTES) continue;
        const std::wstring reservation = directory.substr(0, cut);
        if (GetFileAttributesW(extendedLengthPath(reservation).c_str()) == INVALID_FILE_ATTRIBUTES) continue;
        closeHandlesTo(reservation);
        base::win::FileHandle file(CreateFileW(extendedLengthPath(reservation).c_str(), GENERIC_READ | DELETE,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file || !isMarked(file.get())) continue;
        FILE_DISPOSITION_INFO disposition = {TRUE};
        SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof disposition);
    }
}

SweepOutcome sweepEndedRuns(const std::wstring& baseDirectory, DWORD budgetMilliseconds) {
    SweepOutcome outcome;
    if (baseDirectory.empty()) return outcome;
    const std::wstring base = withSeparator(baseDirectory);
    const ULONGLONG deadline = GetTickCount64() + budgetMilliseconds;
    for (const auto& [name, isDirectory] : entriesMatching(base, L"lmb*.tmp")) {
        if (isDirectory || !isReservationName(name)) continue;
        if (GetTickCount64() > deadline) break;
        // Delete access is refused while the run (or anything it started) holds the
        // reservation; once granted, no other sweep can have it either until this one is done.
        base::win::FileHandle reservation(CreateFileW(extendedLengthPath(base + name).c_str(),
                                                      GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!reservation || !isMarked(reservation.get())) continue;
        if (!removeReservedDirectories(base, name)) {
            // Something in it is still in use: the reservation stays for a later sweep.
            ++outcome.kept;
            continue;
        }
        FILE_DISPOSITION_INFO disposition = {TRUE};
        if (SetFileInformationByHandle(reservation.get(), FileDispositionInfo, &disposition, sizeof disposition)) {
            ++outcome.removed;
        }
    }
    return outcome;
}

}  // namespace files
