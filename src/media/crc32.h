// CRC-32 as zlib computes it (ISO-HDLC, reflected polynomial 0xEDB88320): the checksum of the
// payload's covered range, written by the media builder and checked by the launcher.
#pragma once

#include <cstddef>
#include <cstdint>

namespace media {

// `crc` is a finished value (0 to start), so calls chain the way zlib's crc32() does:
// crc32Update(crc32Update(0, a, n), b, m) equals the CRC of a followed by b.
uint32_t crc32Update(uint32_t crc, const void* data, size_t size);

// The CRC of a followed by b from the CRCs of each and the length of b, without their bytes:
// parts of a range checksummed apart (on different threads) are joined in order.
uint32_t crc32Combine(uint32_t crcA, uint32_t crcB, uint64_t lengthB);

// The byte-at-a-time form with one 256-entry table, kept as the reference the fast form is
// tested and measured against.
uint32_t crc32UpdateBytewise(uint32_t crc, const void* data, size_t size);

}  // namespace media
