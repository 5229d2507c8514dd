#include "jre/version_cache.h"

#include <cstring>

namespace jre {

namespace {

constexpr char kCacheRoot[] = "SOFTWARE\\halvern\\lumbra\\jvms2\\";
// The launcher reads the version into a buffer of this many bytes; longer data is no version.
constexpr DWORD kVersionBufferSize = 6000;

class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey() {
        if (key_) RegCloseKey(key_);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    HKEY* out() { return &key_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

}  // namespace

std::string versionCacheKey(const std::string& path) {
    std::string key = kCacheRoot;
    for (char c : path) key += c == '\\' ? '/' : c;
    return key;
}

bool readVersionCache(const std::string& path, const FILETIME& lastWriteTime, std::string& version,
                      uint32_t& machine) {
    RegistryKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, versionCacheKey(path).c_str(), 0, KEY_READ, key.out()) != ERROR_SUCCESS) {
        return false;
    }

    uint8_t time[sizeof(FILETIME)];
    DWORD size = sizeof time;
    if (RegQueryValueExA(key.get(), "LastWriteTime", nullptr, nullptr, time, &size) != ERROR_SUCCESS ||
        size != sizeof time || std::memcmp(time, &lastWriteTime, sizeof time) != 0) {
        return false;
    }

    std::string text(kVersionBufferSize, '\0');
    size = kVersionBufferSize;
    if (RegQueryValueExA(key.get(), "Version", nullptr, nullptr, reinterpret_cast<BYTE*>(text.data()), &size) !=
        ERROR_SUCCESS) {
        return false;
    }
    // Written without its terminator; a terminator in the data ends the text early.
    text.resize(size);
    text.resize(std::strlen(text.c_str()));

    DWORD value = 0;
    size = sizeof value;
    if (RegQueryValueExA(key.get(), "Machine", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        size != sizeof value) {
        return false;
    }
    version = std::move(text);
    machine = value;
    return true;
}

void writeVersionCache(const std::string& path, const FILETIME& lastWriteTime, const std::string& version,
                       uint32_t machine) {
    RegistryKey key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, versionCacheKey(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, key.out(), nullptr) != ERROR_SUCCESS) {
        return;
    }
    RegSetValueExA(key.get(), "LastWriteTime", 0, REG_BINARY, reinterpret_cast<const BYTE*>(&lastWriteTime),
                   sizeof lastWriteTime);
    RegSetValueExA(key.get(), "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.data()),
                   static_cast<DWORD>(version.size()));
    const DWORD value = machine;
    RegSetValueExA(key.get(), "Machine", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

}  // namespace jre
