#include "media/read_ahead_source.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace media {

namespace {

// One is all the extraction's single slot takes; more would stay allocated to the end.
constexpr size_t kSpareChunks = 1;

// Whole chunks of finished sources, kept for the next one: the media file is read twice (the
// check, then the extraction), and memory the process has touched costs nothing to use again,
// where each fresh page takes a fault (tens of microseconds under some hypervisors).
struct SpareChunks {
    SRWLOCK lock = SRWLOCK_INIT;
    std::vector<std::unique_ptr<uint8_t[]>> chunks;
};

SpareChunks& spareChunks() {
    static SpareChunks spare;
    return spare;
}

std::unique_ptr<uint8_t[]> takeChunk(uint32_t capacity) {
    if (capacity == ReadAheadSource::kChunk) {
        SpareChunks& spare = spareChunks();
        AcquireSRWLockExclusive(&spare.lock);
        std::unique_ptr<uint8_t[]> chunk;
        if (!spare.chunks.empty()) {
            chunk = std::move(spare.chunks.back());
            spare.chunks.pop_back();
        }
        ReleaseSRWLockExclusive(&spare.lock);
        if (chunk) return chunk;
    }
    return std::unique_ptr<uint8_t[]>(new uint8_t[capacity]);
}

void giveBackChunk(std::unique_ptr<uint8_t[]> chunk, uint32_t capacity) {
    if (!chunk || capacity != ReadAheadSource::kChunk) return;
    SpareChunks& spare = spareChunks();
    AcquireSRWLockExclusive(&spare.lock);
    if (spare.chunks.size() < kSpareChunks) spare.chunks.push_back(std::move(chunk));
    ReleaseSRWLockExclusive(&spare.lock);
}

}  // namespace

ReadAheadSource::ReadAheadSource(HANDLE file, int64_t start, int64_t length, bool ahead)
    : file_(file), next_(start), end_(-1), position_(start) {
    // A damaged header may claim any length: the end is where the file ends at the latest.
    if (length >= 0 && start >= 0) end_ = length > INT64_MAX - start ? INT64_MAX : start + length;
    const uint32_t size = length >= 0 ? static_cast<uint32_t>(std::min<int64_t>(kChunk, length)) : kChunk;
    // Each slot's memory is taken when it is first filled: without the thread one is enough.
    for (Slot& slot : slots_) slot.capacity = size;
    // Reads go on from the file pointer: under Wine a read at an explicit offset costs a good
    // deal more than a plain one, and only this source uses the handle while it lives.
    LARGE_INTEGER target;
    target.QuadPart = start;
    if (!SetFilePointerEx(file_, target, nullptr, FILE_BEGIN)) {
        slots_[0].failed = true;
        slots_[0].error = GetLastError();
        slots_[0].full = true;
        return;
    }
    if (ahead) {
        // With one processor the reader could not run while the consumer spun.
        SYSTEM_INFO system;
        GetSystemInfo(&system);
        spin_ = system.dwNumberOfProcessors > 1;
        thread_ = CreateThread(nullptr, 64 * 1024, readerThread, this, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    }
}

ReadAheadSource::~ReadAheadSource() {
    stop();
    for (Slot& slot : slots_) giveBackChunk(std::move(slot.bytes), slot.capacity);
}

void ReadAheadSource::stop() {
    if (!thread_) return;
    AcquireSRWLockExclusive(&lock_);
    stopping_ = true;
    WakeAllConditionVariable(&changed_);
    ReleaseSRWLockExclusive(&lock_);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
}

DWORD WINAPI ReadAheadSource::readerThread(void* self) {
    static_cast<ReadAheadSource*>(self)->readAhead();
    return 0;
}

void ReadAheadSource::readAhead() {
    AcquireSRWLockExclusive(&lock_);
    readerUp_ = true;  // from here on the consumer leaves every read to this thread
    const bool ended = readEnded_;
    ReleaseSRWLockExclusive(&lock_);
    if (ended) return;
    for (;;) {
        Slot& slot = slots_[reading_];
        AcquireSRWLockExclusive(&lock_);
        while (slot.full && !stopping_) SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
        const bool stop = stopping_;
        ReleaseSRWLockExclusive(&lock_);
        if (stop) return;
        // The slot is the reader's alone until it is marked full.
        const bool more = fill(slot);
        AcquireSRWLockExclusive(&lock_);
        slot.full = true;
        WakeAllConditionVariable(&changed_);
        ReleaseSRWLockExclusive(&lock_);
        if (!more) return;
        reading_ = (reading_ + 1) % kSlots;
    }
}

bool ReadAheadSource::fill(Slot& slot) {
    slot.size = 0;
    uint32_t wanted = slot.capacity;
    if (end_ >= 0) wanted = static_cast<uint32_t>(std::min<int64_t>(wanted, std::max<int64_t>(end_ - next_, 0)));
    if (wanted == 0) return false;
    if (!slot.bytes) slot.bytes = takeChunk(slot.capacity);
    DWORD got = 0;
    if (!ReadFile(file_, slot.bytes.get(), wanted, &got, nullptr)) {
        slot.failed = true;
        slot.error = GetLastError();
        return false;
    }
    slot.size = got;
    next_ += got;
    return got > 0;
}

ReadAheadSource::Slot& ReadAheadSource::current() {
    Slot* slot = &slots_[consuming_];
    if (started_ && !slot->failed && slot->size > 0 && offset_ >= slot->size) {
        // The chunk is used up: the reader may have its slot again.
        AcquireSRWLockExclusive(&lock_);
        slot->full = false;
        WakeAllConditionVariable(&changed_);
        ReleaseSRWLockExclusive(&lock_);
        // Without the thread the same slot is read into again, its memory still in the cache;
        // chunks the thread read before it was stopped come first.
        const size_t next = (consuming_ + 1) % kSlots;
        if (thread_ || slots_[next].full) consuming_ = next;
        slot = &slots_[consuming_];
        offset_ = 0;
        started_ = false;
    }
    if (!started_) {
        if (thread_) {
            AcquireSRWLockExclusive(&lock_);
            if (!readerUp_ && !slot->full) {
                // A thread takes milliseconds to start under Wine, as long as a good many
                // chunks take to read: until it runs, the consumer reads its chunks itself, in
                // the order the thread goes on from. Slots are filled in order, so this one is
                // the reader's next.
                if (!fill(*slot)) readEnded_ = true;
                slot->full = true;
                reading_ = (reading_ + 1) % kSlots;
            }
            ReleaseSRWLockExclusive(&lock_);
            awaitAwake(*slot);
            AcquireSRWLockExclusive(&lock_);
            while (!slot->full) SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
            ReleaseSRWLockExclusive(&lock_);
        } else if (!slot->full) {
            fill(*slot);
            slot->full = true;
        }
        started_ = true;
    }
    return *slot;
}

void ReadAheadSource::awaitAwake(const Slot& slot) {
    if (!spin_) return;
    LARGE_INTEGER frequency;
    LARGE_INTEGER start;
    LARGE_INTEGER now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const LONGLONG limit = frequency.QuadPart / 1000 * kSpinMilliseconds;
    for (;;) {
        for (int i = 0; i < 64; ++i) {
            if (slot.full.load(std::memory_order_acquire)) return;
            YieldProcessor();
        }
        QueryPerformanceCounter(&now);
        if (now.QuadPart - start.QuadPart > limit) break;
    }
    // Reads this slow come from a disk, not from the cache: the rest of them are waited for asleep.
    spin_ = false;
}

bool ReadAheadSource::borrow(uint32_t size, uint8_t*& data, uint32_t& bytesRead) {
    data = nullptr;
    bytesRead = 0;
    Slot& slot = current();
    if (slot.failed) {
        error_ = slot.error;
        return false;
    }
    bytesRead = std::min(size, slot.size - offset_);
    data = slot.bytes.get() + offset_;
    offset_ += bytesRead;
    position_ += bytesRead;
    return true;
}

bool ReadAheadSource::read(void* buffer, uint32_t size, uint32_t& bytesRead) {
    bytesRead = 0;
    while (bytesRead < size) {
        uint8_t* data = nullptr;
        uint32_t got = 0;
        if (!borrow(size - bytesRead, data, got)) return false;
        if (got == 0) break;
        std::memcpy(static_cast<uint8_t*>(buffer) + bytesRead, data, got);
        bytesRead += got;
    }
    return true;
}

bool ReadAheadSource::seek(int64_t offset) {
    if (offset < position_) {
        error_ = ERROR_NEGATIVE_SEEK;
        return false;
    }
    while (position_ < offset) {
        uint8_t* data = nullptr;
        uint32_t got = 0;
        if (!borrow(static_cast<uint32_t>(std::min<int64_t>(offset - position_, kChunk)), data, got)) return false;
        if (got == 0) break;
    }
    position_ = offset;  // past the end, as a file allows; the next read gives nothing
    return true;
}

}  // namespace media
