// Verification of the payload's checksum before anything is extracted.
#pragma once

#include <cstdint>
#include <functional>

#include "media/byte_source.h"

namespace media {

struct CoveredRangeCheck {
    bool readFailed = false;
    uint32_t bytesRead = 0;     // of the failed read
    uint32_t systemError = 0;   // of the failed read
    int64_t bytesDone = 0;
    uint32_t checksum = 0;      // valid when the read did not fail
};

// Bytes per read of the check; large for the same reason as the extraction's chunks.
constexpr uint32_t kCheckChunk = 1u << 20;

// Reads `coveredLength` bytes from the current position in chunks of kCheckChunk, computing
// the CRC-32. `progress` receives the whole percent done each time it grows.
CoveredRangeCheck checksumCoveredRange(ByteSource& source, int64_t coveredLength,
                                       const std::function<void(int percent)>& progress);

}  // namespace media
