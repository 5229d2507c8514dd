// RAII owner of an open registry key, so that every key a function opens is closed on every
// path out of it. The predefined roots (HKEY_CURRENT_USER, ...) are never held by it.
#pragma once

#include <windows.h>

#include <utility>

namespace base::win {

class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey() { reset(); }
    RegistryKey(RegistryKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
    RegistryKey& operator=(RegistryKey&& other) noexcept {
        if (this != &other) {
            reset();
            key_ = std::exchange(other.key_, nullptr);
        }
        return *this;
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    HKEY get() const { return key_; }
    explicit operator bool() const { return key_ != nullptr; }
    // Where RegOpenKeyEx and RegCreateKeyEx put the key they open; a key held before is closed.
    HKEY* receive() {
        reset();
        return &key_;
    }
    void reset() {
        if (key_) RegCloseKey(key_);
        key_ = nullptr;
    }

private:
    HKEY key_ = nullptr;
};

}  // namespace base::win
