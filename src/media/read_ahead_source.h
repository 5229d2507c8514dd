// Reading the media file ahead of its consumer. A thread of its own reads the next chunks
// while the caller checksums the previous one, so that a pass over the payload takes about as
// long as the slower of the two, not their sum. Until the thread runs, the consumer reads for
// itself, and while it waits for a chunk it stays awake a little first. Without the thread
// (the extraction, whose writes the thread slowed down) it hands out the media file's chunks
// from one buffer without copying them.
#pragma once

#include <windows.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "media/byte_source.h"

namespace media {

class ReadAheadSource final : public ByteSource {
public:
    // Bytes per read of the thread, and how many chunks it holds: one being read while the
    // consumer has the other. The checksum outruns the reads, so a third chunk only cost a
    // megabyte of fresh pages (measurably slower under Wine).
    static constexpr uint32_t kChunk = 1u << 20;
    static constexpr size_t kSlots = 2;

    // Reads `file` from `start` to its end, or to `start + length` when `length` is not
    // negative. The caller keeps the handle open for the life of the source and does not use it
    // meanwhile (the source moves its file pointer). Without `ahead`, or when no thread can be started, each chunk is read when the
    // consumer reaches it.
    ReadAheadSource(HANDLE file, int64_t start, int64_t length = -1, bool ahead = true);
    ~ReadAheadSource() override;
    ReadAheadSource(const ReadAheadSource&) = delete;
    ReadAheadSource& operator=(const ReadAheadSource&) = delete;

    // Ends the reading thread: needed before the handle is closed while the source lives on.
    // The chunks read so far are still handed out; further ones are read on demand.
    void stop();

    bool read(void* buffer, uint32_t size, uint32_t& bytesRead) override;
    bool borrow(uint32_t size, uint8_t*& data, uint32_t& bytesRead) override;
    // Forward only (the bytes in between are passed over); a seek backwards fails.
    bool seek(int64_t offset) override;
    int64_t position() const override { return position_; }
    uint32_t systemError() const override { return error_; }

private:
    struct Slot {
        // Not cleared when taken: the reads fill it, and clearing megabytes costs as much as
        // reading them.
        std::unique_ptr<uint8_t[]> bytes;
        uint32_t capacity = 0;
        uint32_t size = 0;     // 0: the end of the range or of the file
        // Written by the reader, not yet given back by the consumer; set and cleared under the
        // lock, and read without it while the consumer waits awake.
        std::atomic<bool> full{false};
        bool failed = false;   // the read failed; `error` says why
        uint32_t error = 0;
    };

    static DWORD WINAPI readerThread(void* self);
    void readAhead();
    // Reads the next chunk into `slot`; false once the range is done or a read failed.
    bool fill(Slot& slot);
    // The current slot with bytes left in it, or the one marking the end or a failure.
    Slot& current();
    // Waits awake for the reader to fill `slot`, for at most kSpinMilliseconds: a thread that
    // sleeps is woken late in a virtual machine (its processor has halted), often later than a
    // chunk from the cache takes to read. The caller still waits asleep if the slot is not full.
    void awaitAwake(const Slot& slot);
    static constexpr int kSpinMilliseconds = 2;

    HANDLE file_;
    int64_t next_;         // where the reader reads next
    int64_t end_;          // -1: the file's end
    std::array<Slot, kSlots> slots_;
    size_t reading_ = 0;   // the next slot to fill: the consumer's until the thread runs
    size_t consuming_ = 0; // the consumer's slot
    uint32_t offset_ = 0;  // bytes of the consumer's slot already handed out
    bool started_ = false; // whether the consumer's slot has been taken
    int64_t position_;
    uint32_t error_ = 0;

    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
    bool stopping_ = false;
    bool readerUp_ = false;   // the thread runs and does every read from now on
    bool readEnded_ = false;  // a read the consumer did found the end or failed
    HANDLE thread_ = nullptr;
    bool spin_ = false;    // whether the consumer waits awake first (see awaitAwake)
};

}  // namespace media
