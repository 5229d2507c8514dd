// The block format two installer processes share on a named pipe: a 32-bit signed
// little-endian length N, then N payload bytes; blocks follow each other with nothing between
// them. Portable, so that the host build tests and fuzzes it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace natives {

inline constexpr std::size_t kBlockHeaderSize = 4;

std::array<unsigned char, kBlockHeaderSize> blockHeader(std::int32_t length);
std::int32_t blockLength(const std::array<unsigned char, kBlockHeaderSize>& header);

// Moves `size` bytes at `data` through `move(data, size, moved)`, one pipe call that moves at
// most `size` bytes, sets `moved` and returns false on failure. A call that moves nothing
// makes no progress and would repeat for ever: it ends the transfer as a failure, as the
// peer having closed its end does.
template <class Move>
bool moveAll(Move&& move, unsigned char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        std::size_t moved = 0;
        if (!move(data + done, size - done, moved) || moved == 0 || moved > size - done) return false;
        done += moved;
    }
    return true;
}

}  // namespace natives
