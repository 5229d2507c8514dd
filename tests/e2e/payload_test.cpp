// The launcher reading its own payload: intact, missing, cut short, signed afterwards.
#include <gtest/gtest.h>

#include "base/text.h"
#include "harness.h"
#include "media/media_file.h"
#include "media/payload_format.h"
#include "services/tables.h"

using namespace e2e;

namespace {

media::MediaDescription sampleDescription() {
    media::MediaDescription description;
    description.config[101] = "Sample product";
    description.config[107] = "1";
    description.config[146] = std::string(7000, 'w');
    description.messages[20007] = L"Getting ready";
    description.languages.push_back({"de", {{20007, L"Wird vorbereitet"}, {1000, L"Fehler"}}});
    description.languages.push_back({"de_AT", {{20007, L"Gleich geht's los"}}});
    description.languages.push_back({"de", {{1000, L"Fehler!"}}});
    description.files.push_back({"cvnruntime.jar", {"", "jar bytes"}});
    description.files.push_back({"user\\data.txt", {"", "user data"}});
    description.trailing.content = "tail";
    return description;
}

// Payload start of a media file built from launcher.exe: where the template's image ends.
int64_t payloadStartOf(const std::wstring& path) {
    const std::string bytes = readFileBytes(path);
    media::MemoryByteSource source(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return media::findPayloadStart(source);
}

Finished runLauncher(const std::wstring& media, const RunOptions& options) {
    return runToEnd(media, options, IDOK, 15000);
}

}  // namespace

TEST(Payload, LauncherWithoutPayloadReportsTheMagicAndKeepsItsLog) {
    TempFolder folder;
    const std::wstring bare = folder.file(L"bare.exe");
    ASSERT_TRUE(CopyFileW(launcherTemplatePath().c_str(), bare.c_str(), FALSE));
    TempFolder temp;
    const Finished outcome = runLauncher(bare, {.temporaryFolder = temp.path()});

    ASSERT_TRUE(outcome.box.has_value());
    EXPECT_EQ(outcome.box->text.rfind(L"Internal Error: magic\n\nLog: ", 0), 0u) << outcome.box->text;
    EXPECT_NE(outcome.box->text.find(L"cvn_nlog_1.log"), std::wstring::npos);
    EXPECT_EQ(outcome.exitCode, 1u);
    const auto logs = launcherLogs(temp.path());
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(logs[0].find(L"\uFEFFStarted executable "), 0u);
    EXPECT_NE(logs[0].find(L"bare.exe"), std::wstring::npos);
}

TEST(Payload, PayloadCutInsideTheConfigTableIsAReadError) {
    TempFolder folder;
    const std::wstring media = buildMedia(folder, sampleDescription());
    const int64_t start = payloadStartOf(media);
    const std::string bytes = readFileBytes(media);

    struct Cut {
        int64_t length;
        const wchar_t* text;
    };
    // magic, flag, checksum, covered length (20 bytes), count (4), first id (4), then its text.
    const Cut cuts[] = {
        {start + 2, L"Internal Error: readInt"},
        {start + 26, L"Internal Error: readInt"},
        {start + 34, L"Internal Error: readString"},
    };
    for (const Cut& cut : cuts) {
        const std::wstring cutMedia = folder.file(L"cut.exe");
        writeFileBytes(cutMedia, bytes.substr(0, static_cast<size_t>(cut.length)));
        TempFolder temp;
        const Finished outcome = runLauncher(cutMedia, {.temporaryFolder = temp.path()});
        ASSERT_TRUE(outcome.box.has_value()) << "cut at " << cut.length;
        EXPECT_EQ(outcome.box->text.rfind(std::wstring(cut.text) + L"\n\n", 0), 0u) << outcome.box->text;
        EXPECT_EQ(outcome.exitCode, 1u);
    }
}

TEST(Payload, IntactMediaStartsAndRemovesItsTemporaryLog) {
    TempFolder folder;
    const std::wstring media = buildMedia(folder, sampleDescription());
    TempFolder temp;
    const Finished outcome = runLauncher(media, {.temporaryFolder = temp.path()});
    EXPECT_FALSE(outcome.box.has_value()) << base::wideToUtf8(outcome.box ? outcome.box->text : L"");
    EXPECT_EQ(outcome.exitCode, 0u);
    EXPECT_TRUE(launcherLogs(temp.path()).empty());
}

TEST(Payload, RequestedLogShowsBothPassesAndTheTruncatedValue) {
    TempFolder folder;
    const std::wstring media = buildMedia(folder, sampleDescription());
    TempFolder temp;
    const Finished outcome = runLauncher(media, {.environment = {{L"CORVANE_LOG", L"yes"}}, .temporaryFolder = temp.path()});
    EXPECT_EQ(outcome.exitCode, 0u);
    const auto logs = launcherLogs(temp.path());
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_NE(logs[0].find(L"] Init done\r\n"), std::wstring::npos) << base::wideToUtf8(logs[0]);

    // "Yes" is not "yes": no log is requested, so none survives.
    TempFolder other;
    runLauncher(media, {.environment = {{L"CORVANE_LOG", L"Yes"}}, .temporaryFolder = other.path()});
    EXPECT_TRUE(launcherLogs(other.path()).empty());
}

TEST(Payload, ASignatureAfterTheCoveredRangeChangesNothing) {
    TempFolder folder;
    const std::wstring media = buildMedia(folder, sampleDescription());
    std::string bytes = readFileBytes(media);
    bytes.append(8, '\0');
    for (int i = 0; i < 4096; ++i) bytes.push_back(static_cast<char>(i * 31));
    writeFileBytes(media, bytes);
    TempFolder temp;
    const Finished outcome = runLauncher(media, {.temporaryFolder = temp.path()});
    EXPECT_FALSE(outcome.box.has_value());
    EXPECT_EQ(outcome.exitCode, 0u);

    media::readConfigTable(media);
    EXPECT_EQ(services::configString(101), "Sample product");
}

TEST(Payload, BothPassesReadTheTablesAndApplyMatchingLanguageBlocks) {
    TempFolder folder;
    const media::MediaDescription description = sampleDescription();
    const std::wstring media = buildMedia(folder, description);

    media::readConfigTable(media);
    EXPECT_EQ(services::configString(101), "Sample product");
    EXPECT_EQ(services::configInteger(media::kConfigIncludedFileCount), 2);
    EXPECT_EQ(services::configString(media::kConfigIncludedFileNames), "cvnruntime.jar;user\\data.txt");
    EXPECT_EQ(services::configString(146).size(), 7000u);

    media::readMessageTables(media, "de_DE");
    EXPECT_EQ(services::messageText(20007), L"Wird vorbereitet");
    EXPECT_EQ(services::messageText(1000), L"Fehler!");  // two "de" blocks: the later wins
    EXPECT_EQ(services::messageText(1009), L"An internal error occurred (error code: {0})");

    media::readMessageTables(media, "de_AT");
    EXPECT_EQ(services::messageText(20007), L"Gleich geht's los");

    media::readMessageTables(media, "en");
    EXPECT_EQ(services::messageText(20007), L"Getting ready");
    EXPECT_EQ(services::messageText(1000), L"Error");

    // The included files start right after the language blocks: the first record's size.
    const std::string bytes = readFileBytes(media);
    const int64_t at = media::fileDataPosition();
    ASSERT_LT(at + 8, static_cast<int64_t>(bytes.size()));
    EXPECT_EQ(static_cast<uint8_t>(bytes[static_cast<size_t>(at)]), 9u);  // "jar bytes"
}
