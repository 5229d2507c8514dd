// Builds media files with the writer and reads them back with the launcher's own parser.
#include "mediatool/media_writer.h"

#include <gtest/gtest.h>

#include "media/byte_source.h"
#include "media/payload_format.h"
#include "mediatool/file_access.h"
#include "mediatool/media_report.h"
#include "test_support.h"

namespace {

using media::IncludedData;
using media::MediaBuildError;
using media::MediaDescription;
using media_test::PeTemplate;
using media_test::readBytes;

struct IncludedRecord {
    std::string name;
    std::string content;  // descrambled
};

// Everything a payload holds, read the way the launcher reads it.
struct ReadBack {
    std::vector<uint8_t> bytes;
    media::PayloadHeader header;
    services::ConfigTable config;
    services::MessageTable messages;
    std::vector<media::LanguageBlock> languages;
    std::vector<IncludedRecord> files;
    std::string trailing;
};

ReadBack readBack(const std::string& path) {
    ReadBack result;
    result.bytes = readBytes(path);
    media::MemoryByteSource source(result.bytes);
    media::PayloadReader reader(source);
    result.header = media::readPayloadHeader(reader);
    result.config = media::readConfigEntries(reader);
    result.messages = media::readMessageEntries(reader);
    result.languages = media::readLanguageBlocks(reader);
    const int count = std::atoi(result.config[media::kConfigIncludedFileCount].c_str());
    const auto names = media::splitIncludedFileNames(result.config[media::kConfigIncludedFileNames]);
    for (int i = 0; i < count && i < static_cast<int>(names.size()); ++i) {
        const int64_t size = reader.readLong();
        std::string content(static_cast<size_t>(std::max<int64_t>(size, 0)), '\0');
        uint32_t got = 0;
        source.read(content.data(), static_cast<uint32_t>(content.size()), got);
        EXPECT_EQ(got, content.size());
        for (char& c : content) c = static_cast<char>(c ^ media::kScrambleKey);
        result.files.push_back({names[i], content});
    }
    const int64_t coveredEnd = result.header.payloadStart + media::kCoveredRangeOffset + result.header.coveredLength;
    EXPECT_LE(source.position(), coveredEnd);
    result.trailing.assign(result.bytes.begin() + source.position(), result.bytes.begin() + coveredEnd);
    return result;
}

class MediaWriterTest : public ::testing::Test {
protected:
    void SetUp() override { media_test::writeBytes(templatePath, PeTemplate::bytes()); }

    MediaDescription fullDescription() {
        media_test::writeText(scratch.file("cvnruntime.jar"), std::string(70000, 'J') + "end");
        media_test::writeText(scratch.file("tail.bin"), std::string("\0\x01trailing\xA7", 12));
        MediaDescription description;
        description.config = {{101, "Demo \xE9"}, {107, "1"}, {122, "com.example.Main"}};
        description.messages = {{20007, L"Getting ready\u2026"}, {30000, L"extra"}};
        description.languages = {{"de", {{20012, L"Abbrechen"}, {20007, L"Vorbereitung \u00fc"}}},
                                 {"fr", {{20012, L"Annuler"}}}};
        description.files = {{"cvnruntime.jar", {scratch.file("cvnruntime.jar"), ""}},
                             {"cvnparams.conf", {"", "key=value\n"}},
                             {"user\\readme.txt", {"", std::string("bytes \xA7\x00\xFF", 9)}}};
        description.trailing = {scratch.file("tail.bin"), ""};
        return description;
    }

    media_test::ScratchFolder scratch;
    std::string templatePath = scratch.file("launcher.exe");
    std::string outputPath = scratch.file("setup.exe");
};

TEST_F(MediaWriterTest, EveryPartOfTheDescriptionReadsBackThroughTheLauncherParser) {
    media::writeMediaFile(templatePath, fullDescription(), outputPath);
    const ReadBack media = readBack(outputPath);

    const std::vector<uint8_t> image = PeTemplate::bytes();
    ASSERT_GE(media.bytes.size(), image.size());
    EXPECT_TRUE(std::equal(image.begin(), image.end(), media.bytes.begin()));
    EXPECT_EQ(media.header.payloadStart, PeTemplate::imageEnd());
    EXPECT_EQ(media.header.checkFlag, 1);
    const uint8_t* payload = media.bytes.data() + PeTemplate::imageEnd();
    EXPECT_EQ(std::vector<uint8_t>(payload, payload + 4), (std::vector<uint8_t>{0xD5, 0x13, 0xE4, 0xE8}));
    // Trailing data is stored as it is, the last record's content XOR 0xA7 just before it.
    EXPECT_EQ(media.bytes[media.bytes.size() - 12 - 1], 0xFF ^ 0xA7);
    EXPECT_EQ(media.header.coveredLength, static_cast<int64_t>(media.bytes.size()) - PeTemplate::imageEnd() - 20);
    EXPECT_EQ(media.header.expectedChecksum,
              media::crc32Update(0, media.bytes.data() + PeTemplate::imageEnd() + 20, media.header.coveredLength));

    const services::ConfigTable expectedConfig = {{101, "Demo \xE9"},
                                               {107, "1"},
                                               {122, "com.example.Main"},
                                               {2002, "3"},
                                               {2003, "cvnruntime.jar;cvnparams.conf;user\\readme.txt"}};
    EXPECT_EQ(media.config, expectedConfig);

    services::MessageTable expectedMessages = media::defaultMessageTable();
    expectedMessages[20007] = L"Getting ready\u2026";
    expectedMessages[30000] = L"extra";
    EXPECT_EQ(media.messages, expectedMessages);

    ASSERT_EQ(media.languages.size(), 2u);
    EXPECT_EQ(media.languages[0].code, "de");
    EXPECT_EQ(media.languages[0].entries,
              (std::vector<std::pair<int32_t, std::wstring>>{{20012, L"Abbrechen"}, {20007, L"Vorbereitung \u00fc"}}));
    EXPECT_EQ(media.languages[1].code, "fr");

    ASSERT_EQ(media.files.size(), 3u);
    EXPECT_EQ(media.files[0].content, std::string(70000, 'J') + "end");
    EXPECT_EQ(media.files[1].content, "key=value\n");
    EXPECT_EQ(media.files[2].name, "user\\readme.txt");
    EXPECT_EQ(media.files[2].content, std::string("bytes \xA7\x00\xFF", 9));
    EXPECT_EQ(media.trailing, std::string("\0\x01trailing\xA7", 12));
}

TEST_F(MediaWriterTest, InspectionAgreesWithTheBytesWritten) {
    media::writeMediaFile(templatePath, fullDescription(), outputPath);
    const media::MediaInspection inspection = media::inspectMediaFile(outputPath);
    EXPECT_TRUE(inspection.intact()) << inspection.problem;
    EXPECT_EQ(inspection.computedChecksum, inspection.header.expectedChecksum);
    ASSERT_EQ(inspection.files.size(), 3u);
    EXPECT_EQ(inspection.files[0].size, 70003);
    EXPECT_EQ(inspection.files[2].name, "user\\readme.txt");
    EXPECT_EQ(inspection.files[2].size, 9);
    // Each record is its 8-byte size followed by the content.
    EXPECT_EQ(inspection.unextractedPosition, inspection.fileDataPosition + 3 * 8 + 70003 + 10 + 9);
    EXPECT_EQ(inspection.trailingSize, 12);
    EXPECT_EQ(inspection.unextractedPosition + inspection.trailingSize, inspection.coveredEnd);
}

TEST_F(MediaWriterTest, OptionsForDeliberatelyUnusualPayloads) {
    MediaDescription description;
    description.checksum = false;
    description.defaultMessages = false;
    description.fillFileList = false;
    description.config = {{2002, "5"}, {2003, "a.txt;;b.txt;"}};
    description.files = {{"a.txt", {"", "A"}}, {"b.txt", {"", ""}}};
    description.messages = {{1000, L"Fehler \U0001F600"}};
    media::writeMediaFile(templatePath, description, outputPath);

    const ReadBack media = readBack(outputPath);
    EXPECT_EQ(media.header.checkFlag, 0);
    EXPECT_EQ(media.header.expectedChecksum, 0u);
    EXPECT_EQ(media.config, description.config);
    ASSERT_EQ(media.messages.size(), 1u);
    // Beyond the BMP the text is stored as a surrogate pair, also where wchar_t has 32 bits.
    EXPECT_EQ(media.messages.at(1000), (std::wstring{L'F', L'e', L'h', L'l', L'e', L'r', L' ',
                                                     static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)}));
    ASSERT_EQ(media.files.size(), 2u);
    EXPECT_EQ(media.files[1].content, "");
    EXPECT_TRUE(media::inspectMediaFile(outputPath).intact());
}

// A media file used as the template gives the same result as the launcher it was built from:
// the old payload, and a signature after it, are dropped.
TEST_F(MediaWriterTest, RebuildingFromAMediaFileDropsTheOldPayload) {
    media::writeMediaFile(templatePath, fullDescription(), outputPath);
    std::vector<uint8_t> signed_ = readBytes(outputPath);
    signed_.insert(signed_.end(), 300, 0x5A);
    media_test::writeBytes(scratch.file("signed.exe"), signed_);

    MediaDescription small;
    small.files = {{"only.txt", {"", "only"}}};
    media::writeMediaFile(scratch.file("signed.exe"), small, scratch.file("rebuilt.exe"));
    media::writeMediaFile(templatePath, small, scratch.file("fresh.exe"));
    EXPECT_EQ(readBytes(scratch.file("rebuilt.exe")), readBytes(scratch.file("fresh.exe")));

    // In place: the template is also the output.
    media::writeMediaFile(outputPath, small, outputPath);
    EXPECT_EQ(readBytes(outputPath), readBytes(scratch.file("fresh.exe")));
}

TEST_F(MediaWriterTest, DamageInsideTheCoveredRangeIsDetectedAndBytesAfterItAreNot) {
    media::writeMediaFile(templatePath, fullDescription(), outputPath);
    const std::vector<uint8_t> good = readBytes(outputPath);
    const int64_t coveredStart = PeTemplate::imageEnd() + 20;
    const int64_t coveredEnd = static_cast<int64_t>(good.size());

    for (const int64_t offset : {coveredStart, coveredStart + 30, coveredStart + 5000, coveredEnd - 12, coveredEnd - 1,
                                 PeTemplate::imageEnd() + media::kChecksumOffset}) {
        std::vector<uint8_t> bad = good;
        bad[static_cast<size_t>(offset)] ^= 0x01;
        media_test::writeBytes(outputPath, bad);
        EXPECT_FALSE(media::inspectMediaFile(outputPath).intact()) << "byte " << offset;
    }

    std::vector<uint8_t> withSignature = good;
    withSignature.insert(withSignature.end(), {0, 0, 0, 0, 0x30, 0x82, 0x01, 0x02});
    media_test::writeBytes(outputPath, withSignature);
    EXPECT_TRUE(media::inspectMediaFile(outputPath).intact());

    // Damaged covered lengths: huge (must not overflow) and negative.
    for (const uint8_t top : {0x7F, 0x80}) {
        std::vector<uint8_t> bad = good;
        std::fill_n(bad.begin() + PeTemplate::imageEnd() + media::kCoveredLengthOffset, 8, 0xFF);
        bad[PeTemplate::imageEnd() + media::kCoveredLengthOffset + 7] = top;
        media_test::writeBytes(outputPath, bad);
        EXPECT_FALSE(media::inspectMediaFile(outputPath).intact()) << int(top);
    }

    media_test::writeBytes(outputPath, std::vector<uint8_t>(good.begin(), good.end() - 1));
    const media::MediaInspection truncated = media::inspectMediaFile(outputPath);
    EXPECT_FALSE(truncated.intact());
    EXPECT_NE(truncated.problem.find("past the end of the file"), std::string::npos) << truncated.problem;
}

// With a wrong file count the records no longer line up with the covered range.
TEST_F(MediaWriterTest, RecordsThatOverrunTheCoveredRangeAreReported) {
    MediaDescription description;
    description.fillFileList = false;
    description.config = {{2002, "2"}, {2003, "a.txt;b.txt"}};
    description.files = {{"a.txt", {"", "A"}}};
    description.trailing.content = "tail";
    media::writeMediaFile(templatePath, description, outputPath);
    const media::MediaInspection inspection = media::inspectMediaFile(outputPath);
    EXPECT_TRUE(inspection.checksumOk());
    EXPECT_NE(inspection.problem.find("included files"), std::string::npos) << inspection.problem;
}

TEST_F(MediaWriterTest, TemplatesThatAreNoUsableImageAreRefused) {
    std::vector<uint8_t> notPe(2048, 'x');
    std::vector<uint8_t> truncated = PeTemplate::bytes();
    truncated.resize(PeTemplate::imageEnd() - 1);
    std::vector<uint8_t> noSignature = PeTemplate::bytes();
    noSignature[0x80] = 'X';

    for (const auto& [bytes, expected] : {std::pair{notPe, "not a PE image"}, std::pair{truncated, "truncated"},
                                         std::pair{noSignature, "not a PE image"}}) {
        media_test::writeBytes(templatePath, bytes);
        try {
            media::writeMediaFile(templatePath, MediaDescription{}, outputPath);
            ADD_FAILURE() << "accepted a template expected to be " << expected;
        } catch (const MediaBuildError& error) {
            EXPECT_NE(std::string(error.what()).find(expected), std::string::npos) << error.what();
        }
        EXPECT_EQ(scratch.listing(), std::vector<std::string>{"launcher.exe"});
    }
    EXPECT_THROW(media::writeMediaFile(scratch.file("missing.exe"), MediaDescription{}, outputPath), MediaBuildError);
}

// A failed build must neither leave a temporary file behind nor touch an existing output.
TEST_F(MediaWriterTest, AFailedBuildLeavesTheOldOutputAndNoTemporaryFile) {
    media_test::writeText(outputPath, "previous build");
    MediaDescription description;
    description.files = {{"present.txt", {"", "here"}}, {"missing.jar", {scratch.file("missing.jar"), ""}}};
    try {
        media::writeMediaFile(templatePath, description, outputPath);
        ADD_FAILURE() << "a missing source was accepted";
    } catch (const MediaBuildError& error) {
        EXPECT_NE(std::string(error.what()).find("missing.jar"), std::string::npos) << error.what();
    }
    EXPECT_EQ(scratch.listing(), (std::vector<std::string>{"launcher.exe", "setup.exe"}));
    const std::vector<uint8_t> kept = readBytes(outputPath);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "previous build");

    description.files = {{"a;b", {"", "x"}}};
    EXPECT_THROW(media::writeMediaFile(templatePath, description, outputPath), MediaBuildError);
    EXPECT_THROW(media::writeMediaFile(templatePath, MediaDescription{}, scratch.file("no-such-dir/out.exe")),
                 MediaBuildError);
    EXPECT_EQ(scratch.listing(), (std::vector<std::string>{"launcher.exe", "setup.exe"}));
}

TEST_F(MediaWriterTest, ExtractionWritesTheFilesAndRefusesEscapingNames) {
    media::writeMediaFile(templatePath, fullDescription(), outputPath);
    const std::string target = scratch.file("out");
    media::extractMediaFiles(outputPath, target);
    EXPECT_EQ(readBytes(scratch.file("out/cvnparams.conf")), std::vector<uint8_t>({'k', 'e', 'y', '=', 'v', 'a', 'l', 'u', 'e', '\n'}));
    EXPECT_EQ(readBytes(scratch.file("out/user/readme.txt")).size(), 9u);
    EXPECT_EQ(readBytes(scratch.file("out/cvnruntime.jar")).size(), 70003u);

    for (const std::string list : {"..\\evil.txt", "sub\\..\\..\\evil.txt", "C:\\evil.txt", "\\evil.txt", "a\\b\\c.txt"}) {
        MediaDescription hostile;
        hostile.fillFileList = false;
        hostile.config = {{2002, "2"}, {2003, "fine.txt;" + list}};
        hostile.files = {{"fine.txt", {"", "fine"}}, {list, {"", "evil"}}};
        media::writeMediaFile(templatePath, hostile, outputPath);
        const std::string into = scratch.file("hostile");
        EXPECT_THROW(media::extractMediaFiles(outputPath, into), MediaBuildError) << list;
        EXPECT_FALSE(std::filesystem::exists(media::nativePath(into) / "fine.txt")) << list;
        EXPECT_FALSE(std::filesystem::exists(scratch.path() / "evil.txt")) << list;
    }
}

}  // namespace
