#include "media/integrity.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <limits>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "media/crc32.h"

namespace media {

namespace {

// A count of chunks for any length, however absurd (a damaged header may claim one): the
// chunks are taken until the file ends.
size_t chunkCountOf(int64_t length) {
    if (length <= 0) return 0;
    const uint64_t count = (static_cast<uint64_t>(length) + kCheckChunk - 1) / kCheckChunk;
    return static_cast<size_t>(std::min<uint64_t>(count, std::numeric_limits<size_t>::max() - 1));
}

struct Chunk {
    uint32_t length = 0;    // bytes read
    uint32_t checksum = 0;  // of those bytes
    bool failed = false;    // a read failed (with `error`); a short chunk otherwise met the file's end
    uint32_t error = 0;
};

// The chunks of one range and who has taken which. Shared with the helping thread, which may
// start only after the check is over (a new thread is scheduled late on a busy machine) and
// then finds nothing left to take.
class RangeWork {
public:
    RangeWork(int64_t start, int64_t length)
        : start_(start), length_(length), chunkCount_(chunkCountOf(length)) {}

    bool hasWork() const { return !ended_.load() && next_.load() < chunkCount_; }

    // Takes and checksums chunks in order until none is left or one came back short; the
    // chunks taken meanwhile by the other thread get finished there. `afterChunk` runs after
    // each chunk with the bytes done by both threads so far.
    void work(RangeReader& reader, const std::function<void(int64_t bytesDone)>& afterChunk) {
        std::unique_ptr<uint8_t[]> buffer;
        for (;;) {
            // A chunk once taken is always finished, so that every chunk before the first short
            // one is complete; none taken after it counts.
            if (ended_.load()) return;
            const size_t index = next_.fetch_add(1);
            if (index >= chunkCount_) return;
            const int64_t offset = static_cast<int64_t>(index) * kCheckChunk;
            const uint32_t wanted = static_cast<uint32_t>(std::min<int64_t>(kCheckChunk, length_ - offset));
            if (!buffer) buffer.reset(new uint8_t[std::min<int64_t>(kCheckChunk, length_)]);
            Chunk chunk;
            while (chunk.length < wanted) {
                uint32_t got = 0;
                if (!reader.readAt(start_ + offset + chunk.length, buffer.get() + chunk.length, wanted - chunk.length,
                                   got)) {
                    chunk.failed = true;
                    chunk.error = reader.systemError();
                    break;
                }
                if (got == 0) break;
                chunk.length += got;
            }
            chunk.checksum = crc32Update(0, buffer.get(), chunk.length);
            if (chunk.length < wanted) ended_ = true;
            int64_t done = 0;
            {
                std::lock_guard<std::mutex> guard(lock_);
                if (chunks_.size() <= index) chunks_.resize(index + 1);
                chunks_[index] = chunk;
                ++finished_;
                bytesDone_ += chunk.length;
                done = bytesDone_;
            }
            finishedChanged_.notify_all();
            if (afterChunk) afterChunk(done);
        }
    }

    // Once every chunk taken is finished: the chunks' checksums joined in order, up to the
    // first short chunk.
    CoveredRangeCheck result() {
        std::unique_lock<std::mutex> guard(lock_);
        finishedChanged_.wait(guard, [this] { return finished_ == std::min(next_.load(), chunkCount_); });
        CoveredRangeCheck check;
        uint32_t crc = 0;
        for (size_t index = 0; index < chunks_.size(); ++index) {
            const Chunk& chunk = chunks_[index];
            const int64_t offset = static_cast<int64_t>(index) * kCheckChunk;
            crc = crc32Combine(crc, chunk.checksum, chunk.length);
            check.bytesDone += chunk.length;
            if (chunk.length < std::min<int64_t>(kCheckChunk, length_ - offset)) {
                check.readFailed = true;
                check.systemError = chunk.failed ? chunk.error : 0;
                return check;
            }
        }
        // Fewer bytes than the range holds: a range beyond what a count of chunks can address.
        if (check.bytesDone < length_) check.readFailed = true;
        check.checksum = crc;
        return check;
    }

private:
    const int64_t start_;
    const int64_t length_;
    const size_t chunkCount_;
    std::atomic<size_t> next_{0};
    std::atomic<bool> ended_{false};
    std::mutex lock_;
    std::condition_variable finishedChanged_;
    std::vector<Chunk> chunks_;  // by index, as far as taken
    size_t finished_ = 0;
    int64_t bytesDone_ = 0;
};

}  // namespace

CoveredRangeCheck checksumCoveredRange(RangeReader& reader, int64_t start, int64_t coveredLength,
                                       const RangeReaderFactory& openHelperReader,
                                       const std::function<void(int percent)>& progress) {
    const auto work = std::make_shared<RangeWork>(start, coveredLength);
    if (openHelperReader && coveredLength > kChunksWithoutHelper * kCheckChunk) {
        try {
            // Not joined: a helper that starts late must not hold the check up; it keeps the
            // work alive until it has looked for a chunk.
            std::thread([work, openHelperReader] {
                if (!work->hasWork()) return;
                if (const std::unique_ptr<RangeReader> helperReader = openHelperReader()) work->work(*helperReader, nullptr);
            }).detach();
        } catch (const std::system_error&) {
            // Without a thread the calling thread takes every chunk.
        }
    }
    int lastPercent = 0;
    const auto report = [&](int64_t bytesDone) {
        if (!progress || coveredLength <= 0) return;
        const int percent = static_cast<int>(bytesDone * 100 / coveredLength);
        if (percent > lastPercent) {
            lastPercent = percent;
            progress(percent);
        }
    };
    work->work(reader, report);
    const CoveredRangeCheck check = work->result();
    // The helper's last chunks are reported here.
    if (!check.readFailed) report(check.bytesDone);
    return check;
}

}  // namespace media
