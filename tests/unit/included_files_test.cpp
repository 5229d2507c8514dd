#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "log_capture.h"
#include "media/included_files.h"
#include "media/integrity.h"
#include "media/crc32.h"
#include "media/payload_format.h"

using namespace media;

namespace {

class MemorySink final : public ByteSink {
public:
    explicit MemorySink(size_t capacity = SIZE_MAX, uint32_t perWrite = UINT32_MAX)
        : capacity_(capacity), perWrite_(perWrite) {}
    bool write(const void* data, uint32_t size, uint32_t& written) override {
        ++writes;
        written = std::min<uint32_t>(size, perWrite_);
        if (bytes.size() + written > capacity_) {
            written = 0;
            return false;
        }
        bytes.append(static_cast<const char*>(data), written);
        return true;
    }
    uint32_t systemError() const override { return 112; }  // ERROR_DISK_FULL
    std::string bytes;
    int writes = 0;

private:
    size_t capacity_;
    uint32_t perWrite_;
};

std::vector<uint8_t> scrambled(const std::string& text) {
    std::vector<uint8_t> out(text.begin(), text.end());
    for (uint8_t& byte : out) byte ^= kScrambleKey;
    return out;
}

bool logHas(const std::wstring& text) {
    const auto lines = capturedLogLines();
    return std::any_of(lines.begin(), lines.end(), [&](const std::wstring& l) { return l.find(text) != std::wstring::npos; });
}

}  // namespace

TEST(IncludedFiles, CopyUndoesTheScramblingAcrossChunksAndPartialWrites) {
    std::string content(2 * kCopyChunk + 20000, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
    const std::vector<uint8_t> stored = scrambled(content);
    MemoryByteSource source(stored);
    MemorySink sink(SIZE_MAX, 100000);  // the system takes 100000 bytes per call
    EXPECT_EQ(copyPayloadBytes(source, sink, static_cast<int64_t>(content.size()), true, nullptr), kCopyDone);
    EXPECT_EQ(sink.bytes, content);
    EXPECT_EQ(sink.writes, 2 * 11 + 1);  // two full chunks of 11 writes each, then the rest
    // The bytes are undone in a buffer of the copy's own, never in the source's memory.
    EXPECT_EQ(stored, scrambled(content));
}

TEST(IncludedFiles, ScramblingMatchesTheByteRuleAtEveryLengthAndAlignment) {
    std::vector<uint8_t> original(80);
    for (size_t i = 0; i < original.size(); ++i) original[i] = static_cast<uint8_t>(i * 31 + 7);
    for (size_t start = 0; start < 8; ++start) {
        for (size_t length = 0; start + length <= original.size(); ++length) {
            std::vector<uint8_t> bytes = original;
            scrambleBytes(bytes.data() + start, length);
            for (size_t i = 0; i < bytes.size(); ++i) {
                const bool inside = i >= start && i < start + length;
                ASSERT_EQ(bytes[i], inside ? original[i] ^ kScrambleKey : original[i]) << start << " " << length;
            }
        }
    }
}

TEST(IncludedFiles, ShortPayloadAndFullDiskHaveTheirOwnCodes) {
    const std::vector<uint8_t> stored = scrambled("only ten b");
    MemoryByteSource shortSource(stored);
    MemorySink sink;
    EXPECT_EQ(copyPayloadBytes(shortSource, sink, 11, true, nullptr), kCopyReadFailed);
    EXPECT_TRUE(logHas(L"ERROR: ReadFile failed 0 0 10"));

    const std::vector<uint8_t> big(10000, 1);
    MemoryByteSource bigSource(big);
    MemorySink smallDisk(7000, 3000);
    EXPECT_EQ(copyPayloadBytes(bigSource, smallDisk, 10000, false, nullptr), kCopyWriteFailed);
    EXPECT_TRUE(logHas(L"ERROR: WriteFile failed 4000 112"));  // 6000 of the chunk's 10000 got out
}

TEST(IncludedFiles, CancelStopsAfterTheCurrentChunk) {
    const std::vector<uint8_t> stored(5 * kCopyChunk, 0);
    MemoryByteSource source(stored);
    MemorySink sink;
    int checks = 0;
    EXPECT_EQ(copyPayloadBytes(source, sink, static_cast<int64_t>(stored.size()), false, [&] { return ++checks == 2; }),
              kCopyDone);
    EXPECT_EQ(sink.bytes.size(), 2 * kCopyChunk);
}

TEST(IncludedFiles, NamesThatWouldLeaveTheExtractionDirectoryAreRefused) {
    for (const char* good : {"cvnruntime.jar", "user\\readme.txt", "a..b.jar", ".hidden", "x.y", ".\\x.y"}) {
        EXPECT_TRUE(isSafeIncludedName(good)) << good;
    }
    for (const char* bad : {"..\\..\\x.dll", "\\x", "/x", "C:\\x", "C:x", "sub\\..\\..\\x", "..", "a\\..",
                            "file.txt:stream", "sub/../x", "...", "sub\\. .\\x", ""}) {
        EXPECT_FALSE(isSafeIncludedName(bad)) << bad;
    }
}

TEST(IncludedFiles, TheListIsCutToTheConfiguredCount) {
    EXPECT_EQ(includedFileNames("a;b;c", 2), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(includedFileNames("a;b", 5), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(includedFileNames("a;;b;", 2), (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(includedFileNames("a", -3).empty());
}

// Reads a shared copy of the bytes (a helping thread may outlive the check that started it);
// reads reaching `failAt` stop short of it, and a read at it fails with error 23.
class MemoryRangeReader final : public RangeReader {
public:
    MemoryRangeReader(std::shared_ptr<const std::vector<uint8_t>> bytes, int64_t failAt = INT64_MAX)
        : bytes_(std::move(bytes)), failAt_(failAt) {}
    bool readAt(int64_t offset, void* buffer, uint32_t size, uint32_t& bytesRead) override {
        bytesRead = 0;
        if (offset >= failAt_) return false;
        const int64_t end = std::min({offset + static_cast<int64_t>(size), failAt_, static_cast<int64_t>(bytes_->size())});
        if (end <= offset) return true;
        std::memcpy(buffer, bytes_->data() + offset, static_cast<size_t>(end - offset));
        bytesRead = static_cast<uint32_t>(end - offset);
        return true;
    }
    uint32_t systemError() const override { return 23; }

private:
    std::shared_ptr<const std::vector<uint8_t>> bytes_;
    int64_t failAt_;
};

TEST(Integrity, ChecksumProgressAndReadFailuresAreThoseOfOnePassWithOrWithoutTheHelper) {
    auto data = std::make_shared<std::vector<uint8_t>>(9 * kCheckChunk + 1000);
    for (size_t i = 0; i < data->size(); ++i) (*data)[i] = static_cast<uint8_t>(i * 13 + 5);
    const int64_t size = static_cast<int64_t>(data->size());
    // The covered range starts behind the image, as in a media file.
    const int64_t start = 4096;
    const uint32_t expected = crc32UpdateBytewise(0, data->data() + start, data->size() - start);
    for (const bool helped : {true, false}) {
        const auto helper = [data, helped]() -> std::unique_ptr<RangeReader> {
            return helped ? std::make_unique<MemoryRangeReader>(data) : nullptr;
        };
        MemoryRangeReader reader(data);
        std::vector<int> percents;
        const CoveredRangeCheck check =
            checksumCoveredRange(reader, start, size - start, helper, [&](int p) { percents.push_back(p); });
        EXPECT_FALSE(check.readFailed);
        EXPECT_EQ(check.checksum, expected);
        // Each whole percent at most once, growing, ending at 100.
        EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
        EXPECT_EQ(std::adjacent_find(percents.begin(), percents.end()), percents.end());
        ASSERT_FALSE(percents.empty());
        EXPECT_EQ(percents.back(), 100);

        // A file that ends inside the range, or a read that fails: the bytes before it count,
        // whichever thread read the chunks after it.
        for (const int64_t cut : {int64_t{30000}, 6 * int64_t{kCheckChunk} + 777}) {
            const auto shortData = std::make_shared<std::vector<uint8_t>>(data->begin(), data->begin() + cut);
            MemoryRangeReader shortReader(shortData);
            const CoveredRangeCheck ended = checksumCoveredRange(
                shortReader, start, size - start,
                [shortData, helped]() -> std::unique_ptr<RangeReader> {
                    return helped ? std::make_unique<MemoryRangeReader>(shortData) : nullptr;
                },
                nullptr);
            EXPECT_TRUE(ended.readFailed);
            EXPECT_EQ(ended.systemError, 0u);
            EXPECT_EQ(ended.bytesDone, cut - start);

            MemoryRangeReader failing(data, cut);
            const CoveredRangeCheck failed = checksumCoveredRange(
                failing, start, size - start,
                [data, cut, helped]() -> std::unique_ptr<RangeReader> {
                    return helped ? std::make_unique<MemoryRangeReader>(data, cut) : nullptr;
                },
                nullptr);
            EXPECT_TRUE(failed.readFailed);
            EXPECT_EQ(failed.systemError, 23u);
            EXPECT_EQ(failed.bytesRead, 0u);
            EXPECT_EQ(failed.bytesDone, cut - start);
        }
    }
    MemoryRangeReader reader(data);
    bool reported = false;
    EXPECT_EQ(checksumCoveredRange(reader, 0, 0, nullptr, [&](int) { reported = true; }).checksum, 0u);
    EXPECT_FALSE(reported);
}
