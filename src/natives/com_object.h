// Owners of what COM hands out: an interface pointer released once, and a task-allocator
// buffer (display names and the like) freed with CoTaskMemFree, on every path.
#pragma once

#include <objbase.h>

#include <utility>

namespace natives {

template <class Interface>
class ComObject {
public:
    ComObject() = default;
    ~ComObject() { reset(); }
    ComObject(ComObject&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    ComObject& operator=(ComObject&& other) noexcept {
        if (this != &other) {
            reset();
            object_ = std::exchange(other.object_, nullptr);
        }
        return *this;
    }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    Interface* get() const { return object_; }
    Interface* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    // For the out-parameter of a call that creates or queries; anything held is released first.
    Interface** put() {
        reset();
        return &object_;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }
    void reset() {
        if (object_) object_->Release();
        object_ = nullptr;
    }

    // Another interface of the same object; empty when the object does not have it.
    template <class Other>
    ComObject<Other> query() const {
        ComObject<Other> other;
        if (object_) object_->QueryInterface(__uuidof(Other), other.putVoid());
        return other;
    }

private:
    Interface* object_ = nullptr;
};

template <class Element>
class CoTaskMemory {
public:
    CoTaskMemory() = default;
    ~CoTaskMemory() { CoTaskMemFree(memory_); }
    CoTaskMemory(const CoTaskMemory&) = delete;
    CoTaskMemory& operator=(const CoTaskMemory&) = delete;

    Element* get() const { return memory_; }
    Element** put() {
        CoTaskMemFree(std::exchange(memory_, nullptr));
        return &memory_;
    }

private:
    Element* memory_ = nullptr;
};

}  // namespace natives
