// Verification of the payload's checksum before anything is extracted.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace media {

struct CoveredRangeCheck {
    bool readFailed = false;
    uint32_t bytesRead = 0;     // of the failed read
    uint32_t systemError = 0;   // of the failed read
    int64_t bytesDone = 0;
    uint32_t checksum = 0;      // valid when the read did not fail
};

// Reads the media file at offsets of the caller's choice. Each reader keeps a file position of
// its own, so that two of them can read different parts of the range at the same time.
class RangeReader {
public:
    virtual ~RangeReader() = default;
    // Reads up to `size` bytes at `offset`; false on an error (systemError() says which). A
    // short count is the end of the file.
    virtual bool readAt(int64_t offset, void* buffer, uint32_t size, uint32_t& bytesRead) = 0;
    virtual uint32_t systemError() const = 0;
};

// Opens a second reader of the same file for a helping thread; none leaves the work to the
// calling thread. It runs on that thread, possibly after the check has returned (a thread that
// starts late finds nothing left to do), so it holds nothing of the caller's.
using RangeReaderFactory = std::function<std::unique_ptr<RangeReader>()>;

// Bytes per read of the check; large for the same reason as the extraction's chunks.
constexpr uint32_t kCheckChunk = 1u << 20;

// Ranges of more chunks than this get a helping thread: its start (milliseconds under Wine)
// would cost a smaller one more than it saves.
constexpr int64_t kChunksWithoutHelper = 4;

// The CRC-32 of `coveredLength` bytes from `start`, read in chunks of kCheckChunk. The calling
// thread checksums chunks with `reader`; for a range larger than kChunksWithoutHelper chunks a
// thread of its own takes the next chunks as well, with a reader from `openHelperReader`, and
// the chunks' checksums are joined in order. Reading and checksumming each take about as long
// as the other, so two threads doing both finish a range in about half the time of one, and
// sooner than a thread that only reads ahead of the other (which mostly waits). The result is
// the one a single pass would give: the first read that fails or meets the end of the file ends
// the check with the bytes before it. `progress` (called on this thread) receives the whole
// percent done each time it grows.
CoveredRangeCheck checksumCoveredRange(RangeReader& reader, int64_t start, int64_t coveredLength,
                                       const RangeReaderFactory& openHelperReader,
                                       const std::function<void(int percent)>& progress);

}  // namespace media
