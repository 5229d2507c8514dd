#include "launcher/single_instance.h"

#include <sddl.h>

#include <vector>

#include "base/text.h"
#include "base/win/registry_key.h"
#include "files/cleanup.h"
#include "files/executable_paths.h"
#include "files/path_operations.h"
#include "launch/jvm_launch.h"
#include "launcher/instance_name.h"
#include "launcher/java_window_watch.h"
#include "services/log.h"
#include "services/tables.h"

namespace launcher {

using services::logMessage;

namespace {

constexpr int32_t kSingleInstanceModeId = 10005;
constexpr int32_t kBringToFrontId = 10008;
constexpr char kPidsKey[] = "SOFTWARE\\halvern\\lumbra\\pids\\";
constexpr DWORD kTokenUserBufferSize = 1008;
constexpr int kPidPolls = 50;
constexpr DWORD kPidPollInterval = 100;
constexpr int kLastNumber = 100000;

std::optional<std::string> chosenName;

// Semaphores other users' instances must be able to open: a null DACL, not inherited.
class OpenSecurity {
public:
    OpenSecurity() {
        InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION);
        SetSecurityDescriptorDacl(&descriptor_, TRUE, nullptr, FALSE);
        attributes_.nLength = sizeof attributes_;
        attributes_.lpSecurityDescriptor = &descriptor_;
        attributes_.bInheritHandle = FALSE;
    }
    OpenSecurity(const OpenSecurity&) = delete;
    OpenSecurity& operator=(const OpenSecurity&) = delete;
    SECURITY_ATTRIBUTES* get() { return &attributes_; }

private:
    SECURITY_DESCRIPTOR descriptor_ = {};
    SECURITY_ATTRIBUTES attributes_ = {};
};

// The string form of the user's SID; empty (logged) when it cannot be had.
std::string userSidText() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        services::logMessage(L"could not open process token %d", static_cast<int>(GetLastError()));
        return std::string();
    }
    std::vector<BYTE> buffer(kTokenUserBufferSize);
    DWORD size = 0;
    const BOOL read = GetTokenInformation(token, TokenUser, buffer.data(), kTokenUserBufferSize, &size);
    CloseHandle(token);
    if (!read) {
        services::logMessage(L"could not get token information %d", static_cast<int>(GetLastError()));
        return std::string();
    }
    char* text = nullptr;
    if (!ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
        services::logMessage(L"could not get convert sid %d %d", static_cast<int>(GetLastError()), static_cast<int>(size));
        return std::string();
    }
    std::string sid = text;
    LocalFree(text);
    return sid;
}

HANDLE createSemaphore(const std::string& name, SECURITY_ATTRIBUTES* security, DWORD& lastError) {
    SetLastError(0);
    const HANDLE semaphore = CreateSemaphoreA(security, 1, 1, name.c_str());
    lastError = GetLastError();
    return semaphore;
}

void writeOwnProcessId(const std::string& valueName) {
    base::win::RegistryKey key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kPidsKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        key.receive(), nullptr) != ERROR_SUCCESS)
        return;
    const DWORD pid = GetCurrentProcessId();
    RegSetValueExA(key.get(), valueName.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&pid), sizeof pid);
}

// Another instance holds the semaphore: bring it forward (when configured) and end.
[[noreturn]] void giveWayToOtherInstance(const std::string& valueName) {
    DWORD other = readOtherProcessId(valueName);
    // The first instance writes its id right after creating the semaphore; it may not be there yet.
    for (int poll = 0; other == 0 && poll < kPidPolls; ++poll) {
        Sleep(kPidPollInterval);
        other = readOtherProcessId(valueName);
    }
    services::logMessage(L"other pid %d", static_cast<int>(other));
    if (other != 0 && services::configInteger(kBringToFrontId) != 0) bringProcessWindowsToFront(other, true);
    services::logMessage(L"exiting");
    files::cleanUpAndExit(0);
}

// Outside single-instance mode: the first free numbered name, kept open for the process.
std::string numberedSemaphore(const std::string& base, SECURITY_ATTRIBUTES* security, HANDLE& semaphore,
                              DWORD& lastError) {
    std::string name;
    for (int number = 0;; ++number) {
        name = base + std::to_string(number);
        semaphore = createSemaphore(name, security, lastError);
        if (lastError != ERROR_ALREADY_EXISTS || number >= kLastNumber) break;
        CloseHandle(semaphore);
    }
    return name;
}

}  // namespace

void checkSingleInstance() {
    OpenSecurity openSecurity;
    const std::string valueName = files::canonicalPath(files::executableNarrowPath(), false);
    const SemaphoreScope scope = semaphoreScope(userSidText);
    std::string name = semaphoreName(scope, valueName);
    SECURITY_ATTRIBUTES* const security = scope.openToEverybody ? openSecurity.get() : nullptr;

    HANDLE semaphore = nullptr;
    DWORD lastError = 0;
    if (services::configInteger(kSingleInstanceModeId) != 0) {
        services::logMessage(L"single instance mode");
        semaphore = createSemaphore(name, security, lastError);
        services::logMessage(L"semaphore name %S, code %d, value %p", name, static_cast<int>(lastError),
                   static_cast<void*>(semaphore));
        if (lastError == ERROR_ALREADY_EXISTS) {
            CloseHandle(semaphore);
            giveWayToOtherInstance(valueName);
        }
        writeOwnProcessId(valueName);
    } else {
        name = numberedSemaphore(name, security, semaphore, lastError);
        services::logMessage(L"semaphore name %S, code %d, value %p", name, static_cast<int>(lastError),
                   static_cast<void*>(semaphore));
    }
    // The handle stays open until the process ends: its existence marks this instance as running.
    chosenName = name;
    launch::setSemaphoreName(name);
    // Without a semaphore behind the name the deletion child would not wait for this process;
    // the clean-up then holds one of its own.
    if (semaphore) files::setDeletionSemaphoreName(base::narrowToWide(name));
}

const std::optional<std::string>& singleInstanceSemaphoreName() { return chosenName; }

DWORD readOtherProcessId(const std::string& valueName) {
    base::win::RegistryKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kPidsKey, 0, KEY_READ, key.receive()) != ERROR_SUCCESS) return 0;
    DWORD pid = 0;
    DWORD size = sizeof pid;
    if (RegQueryValueExA(key.get(), valueName.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&pid), &size) !=
            ERROR_SUCCESS ||
        size != sizeof pid)
        return 0;
    return pid;
}

}  // namespace launcher
