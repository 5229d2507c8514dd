#include "natives/pipe_block.h"

namespace natives {

std::array<unsigned char, kBlockHeaderSize> blockHeader(std::int32_t length) {
    const auto value = static_cast<std::uint32_t>(length);
    return {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
            static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
}

std::int32_t blockLength(const std::array<unsigned char, kBlockHeaderSize>& header) {
    const std::uint32_t value = std::uint32_t{header[0]} | std::uint32_t{header[1]} << 8 | std::uint32_t{header[2]} << 16 |
                                std::uint32_t{header[3]} << 24;
    return static_cast<std::int32_t>(value);
}

}  // namespace natives
