#include "media/crc32.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#ifdef MEDIATOOL_TEST_WITH_ZLIB
#include <zlib.h>
#endif

namespace {

uint32_t crcOf(const std::string& text) { return media::crc32Update(0, text.data(), text.size()); }

TEST(Crc32, MatchesPublishedCheckValues) {
    EXPECT_EQ(crcOf(""), 0u);
    EXPECT_EQ(crcOf("123456789"), 0xCBF43926u);
    EXPECT_EQ(crcOf("a"), 0xE8B7BE43u);
    EXPECT_EQ(crcOf("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
    EXPECT_EQ(crcOf(std::string(32, '\0')), 0x190A55ADu);
    EXPECT_EQ(crcOf(std::string(32, '\xFF')), 0xFF6CAB0Bu);
}

// The writer feeds the CRC chunk by chunk; any split must give the one-piece result.
TEST(Crc32, ChainingOverAnySplitEqualsOnePass) {
    const std::string text = "Payload bytes \x01\x80\xFF and more payload bytes";
    const uint32_t whole = crcOf(text);
    for (size_t split = 0; split <= text.size(); ++split) {
        const uint32_t first = media::crc32Update(0, text.data(), split);
        EXPECT_EQ(media::crc32Update(first, text.data() + split, text.size() - split), whole) << split;
    }
}

// Parts checksummed apart and joined give the one-piece result at any split, and lengths far
// beyond any buffer (where each bit of the count has its own factor) join as zlib joins them.
TEST(Crc32, CombiningPartsEqualsOnePass) {
    const std::string text = "Payload bytes \x01\x80\xFF and more payload bytes";
    for (size_t split = 0; split <= text.size(); ++split) {
        const uint32_t first = media::crc32Update(0, text.data(), split);
        const uint32_t second = media::crc32Update(0, text.data() + split, text.size() - split);
        EXPECT_EQ(media::crc32Combine(first, second, text.size() - split), crcOf(text)) << split;
    }
#ifdef MEDIATOOL_TEST_WITH_ZLIB
    for (const uint64_t length : {uint64_t{1} << 20, (uint64_t{1} << 32) + 12345, uint64_t{1} << 62}) {
        EXPECT_EQ(media::crc32Combine(0x12345678u, 0x9ABCDEF0u, length),
                  crc32_combine64(0x12345678u, 0x9ABCDEF0u, static_cast<z_off64_t>(length)))
            << length;
    }
#endif
}

#ifdef MEDIATOOL_TEST_WITH_ZLIB
TEST(Crc32, AgreesWithZlibOnRandomBuffers) {
    std::mt19937 generator(20240229);
    std::vector<uint8_t> buffer(4096);
    for (auto& byte : buffer) byte = static_cast<uint8_t>(generator());
    uint32_t chained = 0;
    uLong zlibChained = crc32(0, nullptr, 0);
    for (size_t length = 0; length <= buffer.size(); ++length) {
        const uint8_t* start = buffer.data() + (length * 131) % (buffer.size() - length + 1);
        ASSERT_EQ(media::crc32Update(0, start, length), crc32(0, start, static_cast<uInt>(length))) << length;
        chained = media::crc32Update(chained, start, length % 97);
        zlibChained = crc32(zlibChained, start, static_cast<uInt>(length % 97));
    }
    EXPECT_EQ(chained, zlibChained);
}
#endif

}  // namespace

TEST(Crc32, EightBytesAtATimeEqualsTheByteTableAtEveryLengthAndAlignment) {
    std::vector<uint8_t> data(4200);
    uint32_t seed = 0x12345678u;
    for (uint8_t& byte : data) {
        seed = seed * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(seed >> 24);
    }
    for (size_t offset = 0; offset < 8; ++offset) {
        for (size_t length = 0; length + offset <= 300; ++length) {
            ASSERT_EQ(media::crc32Update(0x5A5A5A5Au, data.data() + offset, length),
                      media::crc32UpdateBytewise(0x5A5A5A5Au, data.data() + offset, length))
                << offset << " " << length;
        }
    }
    EXPECT_EQ(media::crc32Update(0, data.data(), data.size()), media::crc32UpdateBytewise(0, data.data(), data.size()));
}
