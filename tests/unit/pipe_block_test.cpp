// The pipe block's length bytes, and the transfer loop over short and stalled pipe calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "natives/pipe_block.h"

namespace {

using Header = std::array<unsigned char, natives::kBlockHeaderSize>;

TEST(PipeBlock, LengthIsLittleEndianSigned) {
    EXPECT_EQ(natives::blockHeader(0), (Header{0, 0, 0, 0}));
    EXPECT_EQ(natives::blockHeader(70000), (Header{0x70, 0x11, 0x01, 0x00}));
    EXPECT_EQ(natives::blockLength(Header{0xFF, 0xFF, 0xFF, 0xFF}), -1);
    EXPECT_EQ(natives::blockLength(Header{0xFF, 0xFF, 0xFF, 0x7F}), 0x7FFFFFFF);
}

TEST(PipeBlock, TransfersGoOnUntilAllBytesMovedAndStopOnAStall) {
    std::vector<unsigned char> source(70000);
    for (std::size_t i = 0; i < source.size(); ++i) source[i] = static_cast<unsigned char>(i * 7);
    std::size_t at = 0;
    auto pipe = [&](std::size_t piece) {
        return [&, piece](unsigned char* data, std::size_t size, std::size_t& moved) {
            moved = std::min({size, piece, source.size() - at});
            std::copy_n(source.begin() + static_cast<long>(at), moved, data);
            at += moved;
            return true;
        };
    };
    std::vector<unsigned char> target(source.size());
    EXPECT_TRUE(natives::moveAll(pipe(65536), target.data(), target.size()));
    EXPECT_EQ(target, source);
    // Nothing left: a call that moves nothing ends the transfer instead of repeating.
    EXPECT_FALSE(natives::moveAll(pipe(4), target.data(), 4));
    at = 0;
    EXPECT_FALSE(natives::moveAll([](unsigned char*, std::size_t, std::size_t&) { return false; }, target.data(), 1));
    EXPECT_TRUE(natives::moveAll([](unsigned char*, std::size_t, std::size_t&) { return false; }, target.data(), 0));
}

}  // namespace
