#include "media/integrity.h"

#include <algorithm>
#include <vector>

#include "media/crc32.h"

namespace media {

CoveredRangeCheck checksumCoveredRange(ByteSource& source, int64_t coveredLength,
                                       const std::function<void(int percent)>& progress) {
    CoveredRangeCheck result;
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<int64_t>(kCheckChunk, std::max<int64_t>(coveredLength, 0))));
    uint32_t crc = 0;
    int lastPercent = 0;
    while (result.bytesDone < coveredLength) {
        const uint32_t wanted = static_cast<uint32_t>(std::min<int64_t>(kCheckChunk, coveredLength - result.bytesDone));
        uint32_t got = 0;
        const bool ok = source.read(buffer.data(), wanted, got);
        if (!ok || got == 0) {
            result.readFailed = true;
            result.bytesRead = got;
            result.systemError = ok ? 0 : source.systemError();
            return result;
        }
        crc = crc32Update(crc, buffer.data(), got);
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
