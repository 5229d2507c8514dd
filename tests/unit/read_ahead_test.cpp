#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/win/handles.h"
#include "media/read_ahead_source.h"

using media::ReadAheadSource;

namespace {

constexpr uint32_t kChunk = ReadAheadSource::kChunk;

class TestFile {
public:
    explicit TestFile(size_t size) : bytes(size) {
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
        wchar_t folder[MAX_PATH];
        wchar_t name[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        GetTempFileNameW(folder, L"rah", 0, name);
        path = name;
        base::win::FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
    ~TestFile() { DeleteFileW(path.c_str()); }
    base::win::FileHandle open(DWORD access = GENERIC_READ) const {
        return base::win::FileHandle(
            CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    }
    std::vector<uint8_t> bytes;
    std::wstring path;
};

// Reads everything the source gives, alternating copies and loans of uneven sizes that cross
// the chunk boundaries, and changes every loan as the extraction does. At step `pauseAt` it
// gives the reading thread time to start: until then the consumer reads for itself.
std::vector<uint8_t> drain(ReadAheadSource& source, size_t pauseAt = SIZE_MAX) {
    std::vector<uint8_t> out;
    const uint32_t sizes[] = {8, kChunk, 100000, 1, kChunk + 5000, 3 * kChunk};
    for (size_t step = 0;; ++step) {
        if (step == pauseAt) Sleep(50);
        const uint32_t size = sizes[step % std::size(sizes)];
        const int64_t before = source.position();
        uint32_t got = 0;
        if (step % 2 == 0) {
            std::vector<uint8_t> buffer(size);
            EXPECT_TRUE(source.read(buffer.data(), size, got));
            out.insert(out.end(), buffer.begin(), buffer.begin() + got);
        } else {
            uint8_t* data = nullptr;
            EXPECT_TRUE(source.borrow(size, data, got));
            out.insert(out.end(), data, data + got);
            for (uint32_t i = 0; i < got; ++i) data[i] ^= 0xFF;
        }
        EXPECT_EQ(source.position(), before + got);
        if (got == 0) return out;
    }
}

}  // namespace

TEST(ReadAhead, GivesTheRangeInOrderWithOrWithoutItsThread) {
    const TestFile file(5 * kChunk + 12345);
    for (const bool ahead : {true, false}) {
        base::win::FileHandle handle = file.open();
        {
            ReadAheadSource whole(handle.get(), 0, -1, ahead);
            EXPECT_EQ(drain(whole), file.bytes) << ahead;
        }
        // The thread reads from the first chunk on, or goes on from where the consumer got to.
        for (const size_t pauseAt : {0, 3}) {
            ReadAheadSource whole(handle.get(), 0, -1, ahead);
            EXPECT_EQ(drain(whole, pauseAt), file.bytes) << ahead << pauseAt;
        }
        {
            const int64_t start = kChunk - 3;
            const int64_t length = 2 * kChunk + 7;
            ReadAheadSource part(handle.get(), start, length, ahead);
            EXPECT_EQ(drain(part), std::vector<uint8_t>(file.bytes.begin() + start, file.bytes.begin() + start + length));
            EXPECT_EQ(part.position(), start + length);
        }
        {
            // A range that claims more than the file holds ends with the file, however much.
            ReadAheadSource beyond(handle.get(), 4 * kChunk, 10 * kChunk, ahead);
            EXPECT_EQ(drain(beyond).size(), kChunk + 12345u);
            ReadAheadSource absurd(handle.get(), 4 * kChunk, INT64_MAX, ahead);
            EXPECT_EQ(drain(absurd).size(), kChunk + 12345u);
        }
    }
}

TEST(ReadAhead, SeeksForwardOnlyAndStopsWithoutLosingItsPlace) {
    const TestFile file(4 * kChunk);
    base::win::FileHandle handle = file.open();
    ReadAheadSource source(handle.get(), 0);
    uint8_t byte = 0;
    uint32_t got = 0;
    ASSERT_TRUE(source.seek(kChunk + 10));
    ASSERT_TRUE(source.read(&byte, 1, got));
    EXPECT_EQ(byte, file.bytes[kChunk + 10]);
    EXPECT_FALSE(source.seek(5));
    EXPECT_EQ(source.systemError(), static_cast<uint32_t>(ERROR_NEGATIVE_SEEK));

    // Once the thread is ended, the chunks it read and those after them follow in order.
    Sleep(50);
    source.stop();
    const std::vector<uint8_t> rest = drain(source);
    EXPECT_EQ(rest, std::vector<uint8_t>(file.bytes.begin() + kChunk + 11, file.bytes.end()));

    ASSERT_TRUE(source.seek(100 * kChunk));  // past the end, as a file allows
    EXPECT_TRUE(source.read(&byte, 1, got));
    EXPECT_EQ(got, 0u);
}

TEST(ReadAhead, AConsumerThatLeavesEarlyEndsTheThread) {
    const TestFile file(8 * kChunk);
    base::win::FileHandle handle = file.open();
    for (int round = 0; round < 20; ++round) {
        ReadAheadSource source(handle.get(), 0);
        uint8_t* data = nullptr;
        uint32_t got = 0;
        ASSERT_TRUE(source.borrow(10, data, got));
        EXPECT_EQ(got, 10u);
    }  // each destruction waits for a thread that may be reading or waiting for a free slot
}

TEST(ReadAhead, AFailedReadIsReportedWithItsErrorAndStaysFailed) {
    const TestFile file(3 * kChunk);
    for (const bool ahead : {true, false}) {
        base::win::FileHandle writeOnly = file.open(GENERIC_WRITE);
        ASSERT_TRUE(writeOnly.valid());
        ReadAheadSource source(writeOnly.get(), 0, -1, ahead);
        uint8_t* data = nullptr;
        uint32_t got = 1;
        EXPECT_FALSE(source.borrow(100, data, got));
        EXPECT_EQ(got, 0u);
        EXPECT_EQ(source.systemError(), static_cast<uint32_t>(ERROR_ACCESS_DENIED));
        uint8_t byte = 0;
        EXPECT_FALSE(source.read(&byte, 1, got));  // and it stays failed
    }
}
