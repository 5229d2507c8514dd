// A byte stream read as pipe blocks through a pipe that hands out pieces of the sizes the input
// chooses: no read beyond the stream, every block read whole or not at all, and the blocks
// written back give the bytes they were read from.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "natives/pipe_block.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::size_t piece = 1 + data[0] % 17;  // the pipe's largest piece
    const uint8_t* stream = data + 1;
    const std::size_t length = size - 1;
    std::size_t at = 0;
    auto pipe = [&](unsigned char* target, std::size_t wanted, std::size_t& moved) {
        moved = std::min({wanted, piece, length - at});
        std::copy_n(stream + at, moved, target);
        at += moved;
        return true;
    };
    std::vector<unsigned char> rewritten;
    for (;;) {
        std::array<unsigned char, natives::kBlockHeaderSize> header{};
        if (!natives::moveAll(pipe, header.data(), header.size())) break;
        const std::int32_t blockLength = natives::blockLength(header);
        // Never more than the stream holds, so a huge length cannot make the target allocate.
        if (blockLength < 0 || static_cast<std::size_t>(blockLength) > length - at) break;
        std::vector<unsigned char> payload(static_cast<std::size_t>(blockLength));
        if (!natives::moveAll(pipe, payload.data(), payload.size())) std::abort();
        const auto written = natives::blockHeader(blockLength);
        rewritten.insert(rewritten.end(), written.begin(), written.end());
        rewritten.insert(rewritten.end(), payload.begin(), payload.end());
    }
    if (at > length || !std::equal(rewritten.begin(), rewritten.end(), stream)) std::abort();
    return 0;
}

// Pieces of 3 bytes over an empty block, a 5-byte block and a length beyond the stream.
std::vector<std::vector<uint8_t>> fuzzSeeds() {
    return {
        {2, 0, 0, 0, 0, 5, 0, 0, 0, 'h', 'e', 'l', 'l', 'o', 0xFF, 0xFF, 0, 0, 1},
        {16, 1, 0, 0, 0, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF},
    };
}
