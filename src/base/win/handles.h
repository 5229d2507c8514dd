// RAII owners for Windows handles. Files and find handles are empty at INVALID_HANDLE_VALUE,
// processes, threads, events and semaphores at null: two types, so the sentinels cannot be
// mixed up.
#pragma once

#include <windows.h>

#include <utility>

namespace base::win {

struct InvalidIsEmpty {
    static HANDLE empty() { return INVALID_HANDLE_VALUE; }
};
struct NullIsEmpty {
    static HANDLE empty() { return nullptr; }
};

template <class Policy>
class BasicHandle {
public:
    BasicHandle() = default;
    explicit BasicHandle(HANDLE handle) : handle_(handle) {}
    ~BasicHandle() { reset(); }
    BasicHandle(BasicHandle&& other) noexcept : handle_(std::exchange(other.handle_, Policy::empty())) {}
    BasicHandle& operator=(BasicHandle&& other) noexcept {
        if (this != &other) reset(std::exchange(other.handle_, Policy::empty()));
        return *this;
    }
    BasicHandle(const BasicHandle&) = delete;
    BasicHandle& operator=(const BasicHandle&) = delete;

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    explicit operator bool() const { return valid(); }
    HANDLE release() { return std::exchange(handle_, Policy::empty()); }
    void reset(HANDLE handle = Policy::empty()) {
        if (valid()) CloseHandle(handle_);
        handle_ = handle;
    }

private:
    HANDLE handle_ = Policy::empty();
};

using FileHandle = BasicHandle<InvalidIsEmpty>;
using KernelHandle = BasicHandle<NullIsEmpty>;

}  // namespace base::win
