#include "media/integrity.h"

#include <algorithm>

#include "media/crc32.h"

namespace media {

CoveredRangeCheck checksumCoveredRange(ByteSource& source, int64_t coveredLength,
                                       const std::function<void(int percent)>& progress) {
    CoveredRangeCheck result;
    uint32_t crc = 0;
    int lastPercent = 0;
    while (result.bytesDone < coveredLength) {
        const uint32_t wanted = static_cast<uint32_t>(std::min<int64_t>(kCheckChunk, coveredLength - result.bytesDone));
        uint8_t* bytes = nullptr;
        uint32_t got = 0;
        const bool ok = source.borrow(wanted, bytes, got);
        if (!ok || got == 0) {
            result.readFailed = true;
            result.bytesRead = got;
            result.systemError = ok ? 0 : source.systemError();
            return result;
        }
        crc = crc32Update(crc, bytes, got);
        result.bytesDone += got;
        if (progress) {
            const int percent = static_cast<int>(result.bytesDone * 100 / coveredLength);
            if (percent > lastPercent) {
                lastPercent = percent;
                progress(percent);
            }
        }
    }
    result.checksum = crc;
    return result;
}

}  // namespace media
