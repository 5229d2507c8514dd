// Grow-until-it-fits for the Windows functions that report a needed or truncated size
// (GetLongPathNameW, GetFullPathNameA, GetTempPathW, ...), instead of a fixed buffer.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>

namespace base::win {

// `call(buffer, size)` returns the length written (less than size), the size needed (at least
// size), or 0 on failure. Gives up with an empty text beyond the longest path Windows knows.
template <class Char, class Call>
std::basic_string<Char> growingBuffer(Call call) {
    constexpr size_t kLargest = 65536;
    std::basic_string<Char> buffer(MAX_PATH, Char());
    for (;;) {
        const DWORD length = call(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        if (buffer.size() >= kLargest) return {};
        buffer.resize(std::max<size_t>(buffer.size() * 2, static_cast<size_t>(length) + 1));
    }
}

}  // namespace base::win
