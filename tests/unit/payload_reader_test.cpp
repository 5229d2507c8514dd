#include <gtest/gtest.h>

#include <cstring>

#include "media/payload_format.h"
#include "media/payload_reader.h"
#include "mediatool/media_writer.h"
#include "mediatool/test_support.h"

using namespace media;
using media_test::PeTemplate;
using media_test::ScratchFolder;

namespace {

MediaDescription sampleDescription() {
    MediaDescription description;
    description.config[101] = "Sample";
    description.config[107] = "1";
    description.config[128] = std::string(300, 'x');
    description.messages[20007] = L"Preparing";
    description.languages.push_back({"de", {{20007, L"Vorbereitung"}, {1000, L"Fehler"}}});
    description.languages.push_back({"de_AT", {{20007, L"Servus"}}});
    description.languages.push_back({"fr", {{20007, L"Pr\u00e9paration"}}});
    description.files.push_back({"a.txt", {"", "alpha"}});
    description.files.push_back({"sub\\b.txt", {"", std::string(10000, 'b')}});
    description.trailing.content = "trailing data";
    return description;
}

std::vector<uint8_t> buildSample(const ScratchFolder& folder) {
    media_test::writeBytes(folder.file("template.exe"), PeTemplate::bytes());
    writeMediaFile(folder.file("template.exe"), sampleDescription(), folder.file("media.exe"));
    return media_test::readBytes(folder.file("media.exe"));
}

// Reads everything the launcher reads in its two passes; the result is what it would see.
struct Parsed {
    PayloadHeader header;
    ConfigTable config;
    MessageTable messages;
    std::vector<LanguageBlock> blocks;
    int64_t fileData = 0;
};

Parsed parseAll(ByteSource& source) {
    PayloadReader reader(source);
    Parsed parsed;
    parsed.header = readPayloadHeader(reader);
    parsed.config = readConfigEntries(reader);
    parsed.messages = readMessageEntries(reader);
    parsed.blocks = readLanguageBlocks(reader);
    parsed.fileData = source.position();
    return parsed;
}

}  // namespace

TEST(PayloadReader, ReadsBackWhatTheWriterWrote) {
    ScratchFolder folder;
    const std::vector<uint8_t> bytes = buildSample(folder);
    MemoryByteSource source(bytes);
    const Parsed parsed = parseAll(source);

    EXPECT_EQ(parsed.header.payloadStart, PeTemplate::imageEnd());
    EXPECT_EQ(parsed.header.checkFlag, 1);
    EXPECT_EQ(parsed.header.payloadStart + kCoveredRangeOffset + parsed.header.coveredLength,
              static_cast<int64_t>(bytes.size()));
    EXPECT_EQ(parsed.config.at(101), "Sample");
    EXPECT_EQ(parsed.config.at(128), std::string(300, 'x'));
    EXPECT_EQ(parsed.config.at(kConfigIncludedFileCount), "2");
    EXPECT_EQ(parsed.config.at(kConfigIncludedFileNames), "a.txt;sub\\b.txt");
    EXPECT_EQ(parsed.messages.at(20007), L"Preparing");
    EXPECT_EQ(parsed.messages.at(1000), L"Error");
    ASSERT_EQ(parsed.blocks.size(), 3u);
    EXPECT_EQ(parsed.blocks[2].entries.at(0).second, L"Pr\u00e9paration");

    // The first record follows the language blocks: its size, then the scrambled bytes.
    PayloadReader reader(source);
    source.seek(parsed.fileData);
    EXPECT_EQ(reader.readLong(), 5);
    uint8_t first = 0;
    uint32_t got = 0;
    source.read(&first, 1, got);
    EXPECT_EQ(first ^ kScrambleKey, 'a');
}

TEST(PayloadReader, LanguageBlocksApplyByPrefixInFileOrder) {
    ScratchFolder folder;
    const std::vector<uint8_t> bytes = buildSample(folder);
    MemoryByteSource source(bytes);
    const Parsed parsed = parseAll(source);

    MessageTable german = parsed.messages;
    applyLanguageBlocks(parsed.blocks, "de_DE", german);
    EXPECT_EQ(german.at(20007), L"Vorbereitung");  // "de" applies, "de_AT" does not
    EXPECT_EQ(german.at(1000), L"Fehler");

    MessageTable austrian = parsed.messages;
    applyLanguageBlocks(parsed.blocks, "de_AT", austrian);
    EXPECT_EQ(austrian.at(20007), L"Servus");  // both apply, the later wins
    EXPECT_EQ(austrian.at(1000), L"Fehler");

    MessageTable english = parsed.messages;
    applyLanguageBlocks(parsed.blocks, "en", english);
    EXPECT_EQ(english, parsed.messages);

    EXPECT_TRUE(languageBlockApplies("pt_BR", "pt_BR"));
    EXPECT_FALSE(languageBlockApplies("pt_BR", "pt"));
    EXPECT_TRUE(languageBlockApplies("", "xx"));
}

TEST(PayloadReader, EveryTruncationFailsCleanlyWithTheFaultOfTheCutField) {
    ScratchFolder folder;
    const std::vector<uint8_t> bytes = buildSample(folder);
    int64_t fileData = 0;
    {
        MemoryByteSource source(bytes);
        fileData = parseAll(source).fileData;
    }
    for (int64_t cut = 0; cut < fileData; ++cut) {
        MemoryByteSource source(bytes.data(), static_cast<size_t>(cut));
        try {
            parseAll(source);
            ADD_FAILURE() << "a payload cut at " << cut << " was read without error";
        } catch (const PayloadError& error) {
            // Inside the PE headers or the payload: a read fault, or the magic when the cut
            // lies before it... and nothing else.
            if (cut < PeTemplate::imageEnd() + 4) {
                EXPECT_TRUE(error.fault() == PayloadFault::ReadInt || error.fault() == PayloadFault::ReadShort)
                    << "cut at " << cut;
            } else {
                EXPECT_NE(error.fault(), PayloadFault::Magic) << "cut at " << cut;
            }
            EXPECT_EQ(std::strncmp(error.what(), "Internal Error: ", 16), 0);
        }
    }
}

TEST(PayloadReader, AnImageWithoutPayloadFailsOnTheMagic) {
    std::vector<uint8_t> bytes = PeTemplate::bytes();
    bytes.resize(bytes.size() + 64, 0);
    MemoryByteSource source(bytes);
    PayloadReader reader(source);
    try {
        readPayloadHeader(reader);
        FAIL();
    } catch (const PayloadError& error) {
        EXPECT_EQ(error.fault(), PayloadFault::Magic);
        EXPECT_STREQ(error.what(), "Internal Error: magic");
    }
}

TEST(PayloadReader, DamagedLengthsNeitherAllocateNorMisread) {
    // A config entry that claims 2 GB of text in a tiny file.
    std::vector<uint8_t> bytes = {1, 0, 0, 0, 65, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 'a', 'b'};
    {
        MemoryByteSource source(bytes);
        PayloadReader reader(source);
        try {
            readConfigEntries(reader);
            FAIL();
        } catch (const PayloadError& error) {
            EXPECT_EQ(error.fault(), PayloadFault::ReadString);
            EXPECT_EQ(error.bytesRead(), 2u);
        }
    }
    // A negative length is a damaged text, not an empty one.
    bytes = {1, 0, 0, 0, 65, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
    MemoryByteSource source(bytes);
    PayloadReader reader(source);
    EXPECT_THROW(readConfigEntries(reader), PayloadError);
    // A wide text of odd byte count keeps its whole characters.
    bytes = {3, 0, 0, 0, 'h', 0, 'i'};
    MemoryByteSource odd(bytes);
    PayloadReader oddReader(odd);
    EXPECT_EQ(oddReader.readWString(), L"h");
}

TEST(PayloadReader, HeadersThatPointNowhereAreReadErrors) {
    // e_lfanew far beyond the end of the file.
    std::vector<uint8_t> bytes(64, 0);
    bytes[0] = 'M';
    bytes[1] = 'Z';
    bytes[60] = 0xFF;
    bytes[61] = 0xFF;
    bytes[62] = 0xFF;
    bytes[63] = 0x7F;
    MemoryByteSource source(bytes);
    EXPECT_THROW(findPayloadStart(source), PayloadError);
    EXPECT_FALSE(looksLikePeImage(source));
    const std::vector<uint8_t> pe = PeTemplate::bytes();
    MemoryByteSource good(pe);
    EXPECT_TRUE(looksLikePeImage(good));
}

TEST(PayloadReader, FileNamesSplitLikeStrtok) {
    EXPECT_EQ(splitIncludedFileNames("a;b;;c;"), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(splitIncludedFileNames(";;"), std::vector<std::string>{});
    EXPECT_EQ(splitIncludedFileNames("user\\x.jar"), std::vector<std::string>{"user\\x.jar"});
}
