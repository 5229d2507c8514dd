// Byte layout of the payload that follows the launcher's own image. The media builder writes
// it, the launcher and `mediatool inspect` read it; both sides take their constants from here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace media {

constexpr uint32_t kPayloadMagic = 0xE8E413D5u;

// Offsets from the payload start.
constexpr int64_t kCheckFlagOffset = 4;
constexpr int64_t kChecksumOffset = 8;
constexpr int64_t kCoveredLengthOffset = 12;
// The checksum covers everything from here up to here + covered length.
constexpr int64_t kCoveredRangeOffset = 20;

// Included files are stored with every byte XORed with this key.
constexpr uint8_t kScrambleKey = 0xA7;

// XORs every byte with the key: scrambles and descrambles alike. Works on eight bytes per step,
// which the compiler widens further. A plain byte loop is not vectorised when the length lives
// in memory the bytes might alias (a count passed by reference), and then took longer than
// reading and writing the bytes together.
inline void scrambleBytes(void* data, size_t size) {
    constexpr uint64_t kWideKey = 0x0101010101010101ull * kScrambleKey;
    auto* bytes = static_cast<unsigned char*>(data);
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t word;
        std::memcpy(&word, bytes + i, 8);
        word ^= kWideKey;
        std::memcpy(bytes + i, &word, 8);
    }
    for (; i < size; ++i) bytes[i] ^= kScrambleKey;
}

// Config ids the payload itself depends on.
constexpr int32_t kConfigLauncherType = 107;
constexpr int32_t kConfigProductKind = 2001;
constexpr int32_t kConfigIncludedFileCount = 2002;
constexpr int32_t kConfigIncludedFileNames = 2003;

// Included file names are separated by this character; a name holds at most one directory
// level, written with a backslash.
constexpr char kFileNameSeparator = ';';

}  // namespace media
