// Verification and extraction of the included files, seen from outside through the
// extract-and-exit mode: "<media>.test" receives the files and "unextracted.txt" the offset of
// the data behind them.
#include <gtest/gtest.h>

#include <cstdlib>

#include "base/text.h"
#include "harness.h"
#include "mediatool/media_report.h"

using namespace e2e;

namespace {

const std::wstring kExtractMode = L"__cvn_extract_and_exit";

media::MediaDescription sampleDescription() {
    media::MediaDescription description;
    description.config[107] = "1";
    description.files.push_back({"cvnruntime.jar", {"", std::string(30000, 'j')}});
    description.files.push_back({"empty.txt", {"", ""}});
    description.files.push_back({"user\\data.bin", {"", std::string("\x00\xA7\xFF\x01", 4) + std::string(7000, 'd')}});
    description.languages.push_back({"de", {{20016, L"Die Installationsdatei ist besch\u00e4digt."},
                                            {1009, L"Interner Fehler (Code: {0})"}}});
    description.trailing.content = std::string(5000, 't');
    return description;
}

Finished runMedia(const std::wstring& media, std::vector<std::wstring> arguments, const TempFolder& temp) {
    return runToEnd(media, {arguments, {}, temp.path()});
}

std::string unextractedText(const std::wstring& media) { return readFileBytes(media + L".test\\unextracted.txt"); }

}  // namespace

TEST(Extraction, IntactMediaIsExtractedByteExactWithTheUnextractedPosition) {
    TempFolder folder;
    TempFolder temp;
    const media::MediaDescription description = sampleDescription();
    const std::wstring media = buildMedia(folder, description);
    const Finished run = runMedia(media, {kExtractMode}, temp);
    ASSERT_FALSE(run.box.has_value()) << base::wideToUtf8(run.box->text);
    ASSERT_EQ(run.exitCode, 0u);

    const std::wstring out = media + L".test";
    EXPECT_EQ(readFileBytes(out + L"\\cvnruntime.jar"), description.files[0].data.content);
    EXPECT_EQ(readFileBytes(out + L"\\user\\data.bin"), description.files[2].data.content);
    // A record of size 0 creates nothing.
    EXPECT_EQ(GetFileAttributesW((out + L"\\empty.txt").c_str()), INVALID_FILE_ATTRIBUTES);

    const media::MediaInspection inspection = media::inspectMediaFile(base::wideToUtf8(media));
    EXPECT_EQ(unextractedText(media), std::to_string(inspection.unextractedPosition));
    EXPECT_EQ(inspection.unextractedPosition,
              inspection.fileDataPosition + 3 * 8 + 30000 + 0 + 7004);
}

// The position file cannot be written (a folder stands in its place): internal error 71, after
// the files were extracted. The folder beside the installer cannot be made (the installer's
// path leaves no room for ".test" within what the narrow file functions take): error 70.
TEST(Extraction, AnUnwritablePositionFileIs71AndAnUncreatableFolderIs70) {
    TempFolder folder;
    TempFolder temp;
    const media::MediaDescription description = sampleDescription();
    const std::wstring media = buildMedia(folder, description);
    CreateDirectoryW((media + L".test").c_str(), nullptr);
    CreateDirectoryW((media + L".test\\unextracted.txt").c_str(), nullptr);
    Finished run = runMedia(media, {kExtractMode}, temp);
    EXPECT_EQ(run.exitCode, 1u);
    ASSERT_TRUE(run.box.has_value());
    EXPECT_EQ(run.box->text.rfind(L"An internal error occurred (error code: 71)", 0), 0u) << base::wideToUtf8(run.box->text);
    EXPECT_EQ(readFileBytes(media + L".test\\cvnruntime.jar"), description.files[0].data.content);

    const size_t length = 257;  // ".test" makes it 262
    ASSERT_LT(folder.path().size() + 1 + 9, length);
    const std::wstring name = std::wstring(length - folder.path().size() - 1 - 9, L's') + L"setup.exe";
    const std::wstring deep = buildMedia(folder, description, name);
    ASSERT_EQ(deep.size(), length);
    run = runMedia(deep, {kExtractMode}, temp);
    EXPECT_EQ(run.exitCode, 1u);
    ASSERT_TRUE(run.box.has_value());
    EXPECT_EQ(run.box->text.rfind(L"An internal error occurred (error code: 70)", 0), 0u) << base::wideToUtf8(run.box->text);
}

TEST(Extraction, AnyFlippedByteInTheCoveredRangeIsRefused) {
    TempFolder folder;
    const std::wstring media = buildMedia(folder, sampleDescription());
    const std::string intact = readFileBytes(media);
    const media::MediaInspection inspection = media::inspectMediaFile(base::wideToUtf8(media));
    const int64_t start = inspection.header.payloadStart;
    const int64_t data = inspection.fileDataPosition;
    const int64_t end = inspection.coveredEnd;
    // The stored checksum, the tables, each record and the trailing data. The tables are read
    // before the check, so damage there may also surface as a read error of theirs.
    std::vector<int64_t> positions = {start + 8, start + 20, start + 30, (start + data) / 2};
    for (int i = 0; i <= 8; ++i) positions.push_back(data + (end - data) * i / 8);
    positions.back() = end - 1;
    for (int64_t at : positions) {
        std::string damaged = intact;
        damaged[static_cast<size_t>(at)] ^= 0x01;
        const std::wstring copy = folder.file(L"damaged.exe");
        writeFileBytes(copy, damaged);
        TempFolder temp;
        const Finished run = runMedia(copy, {kExtractMode}, temp);
        ASSERT_TRUE(run.box.has_value()) << "flip at " << at;
        if (at >= data || at == start + 8) {
            EXPECT_EQ(run.box->text, L"The installation file is corrupted. If it is a download please try it again.")
                << "flip at " << at;
        } else {
            EXPECT_TRUE(run.box->text.rfind(L"The installation file is corrupted.", 0) == 0 ||
                        run.box->text.rfind(L"Internal Error: ", 0) == 0)
                << "flip at " << at << ": " << base::wideToUtf8(run.box->text);
        }
        EXPECT_EQ(run.exitCode, 1u) << "flip at " << at;
        removeTree(copy + L".test");
    }
}

TEST(Extraction, BytesAfterTheCoveredRangeAreNotLookedAt) {
    TempFolder folder;
    TempFolder temp;
    const std::wstring media = buildMedia(folder, sampleDescription());
    std::string bytes = readFileBytes(media) + std::string(512, '\0') + "SIGNATURE";
    bytes[bytes.size() - 3] ^= 0x55;
    writeFileBytes(media, bytes);
    const Finished run = runMedia(media, {kExtractMode}, temp);
    EXPECT_FALSE(run.box.has_value());
    EXPECT_EQ(run.exitCode, 0u);
}

TEST(Extraction, NoCheckAndCheckFlagZeroSkipTheChecksum) {
    TempFolder folder;
    media::MediaDescription description = sampleDescription();
    const std::wstring media = buildMedia(folder, description);
    std::string bytes = readFileBytes(media);
    const media::MediaInspection inspection = media::inspectMediaFile(base::wideToUtf8(media));
    bytes[static_cast<size_t>(inspection.coveredEnd - 10)] ^= 0x20;  // in the trailing data
    writeFileBytes(media, bytes);
    TempFolder temp;
    const Finished skipped = runMedia(media, {kExtractMode, L"-nocheck"}, temp);
    EXPECT_FALSE(skipped.box.has_value());
    EXPECT_EQ(skipped.exitCode, 0u);

    description.checksum = false;
    const std::wstring unchecked = buildMedia(folder, description, L"unchecked.exe");
    std::string uncheckedBytes = readFileBytes(unchecked);
    uncheckedBytes[uncheckedBytes.size() - 10] ^= 0x20;
    writeFileBytes(unchecked, uncheckedBytes);
    const Finished flagZero = runMedia(unchecked, {kExtractMode}, temp);
    EXPECT_FALSE(flagZero.box.has_value());
    EXPECT_EQ(flagZero.exitCode, 0u);
}

TEST(Extraction, AReadErrorInsideTheCoveredRangeIsInternalError34) {
    TempFolder folder;
    TempFolder temp;
    const std::wstring media = buildMedia(folder, sampleDescription());
    const std::string bytes = readFileBytes(media);
    writeFileBytes(media, bytes.substr(0, bytes.size() - 100));  // cut inside the trailing data
    const Finished run = runMedia(media, {kExtractMode}, temp);
    ASSERT_TRUE(run.box.has_value());
    EXPECT_EQ(run.box->text.rfind(L"An internal error occurred (error code: 34)\n\nLog: ", 0), 0u)
        << base::wideToUtf8(run.box->text);
    EXPECT_EQ(run.exitCode, 1u);
}

TEST(Extraction, NamesThatWouldEscapeAreRefusedBeforeAnythingIsWritten) {
    for (const char* hostile : {"..\\evil.txt", "\\evil.txt", "C:\\evil.txt", "sub\\..\\..\\evil.txt", "a.txt:stream"}) {
        TempFolder folder;
        TempFolder temp;
        media::MediaDescription description;
        description.config[107] = "1";
        description.fillFileList = false;
        description.config[2002] = "2";
        description.config[2003] = std::string("first.txt;") + hostile;
        description.files.push_back({"first.txt", {"", "first"}});
        description.files.push_back({"second.txt", {"", "evil"}});
        const std::wstring media = buildMedia(folder, description, L"setup.exe");
        const Finished run = runMedia(media, {kExtractMode}, temp);
        ASSERT_TRUE(run.box.has_value()) << hostile;
        EXPECT_EQ(run.box->text, L"The installation file is corrupted. If it is a download please try it again.");
        EXPECT_EQ(run.exitCode, 1u);
        EXPECT_EQ(GetFileAttributesW(folder.file(L"evil.txt").c_str()), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(GetFileAttributesW((media + L".test\\first.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    }
}

TEST(Extraction, TheCountAndTheNameListDecideTogether) {
    TempFolder folder;
    TempFolder temp;
    media::MediaDescription description;
    description.config[107] = "1";
    description.fillFileList = false;
    description.files.push_back({"a.txt", {"", "A"}});
    description.files.push_back({"b.txt", {"", "B"}});
    description.files.push_back({"c.txt", {"", "C"}});
    // Fewer names than records and a count between: only the first two are extracted.
    description.config[2002] = "2";
    description.config[2003] = "a.txt;b.txt;c.txt";
    const std::wstring media = buildMedia(folder, description, L"two.exe");
    EXPECT_EQ(runMedia(media, {kExtractMode}, temp).exitCode, 0u);
    EXPECT_EQ(readFileBytes(media + L".test\\b.txt"), "B");
    EXPECT_EQ(GetFileAttributesW((media + L".test\\c.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    // The unextracted position lies behind the second record: 8 + 1 bytes each.
    const media::MediaInspection inspection = media::inspectMediaFile(base::wideToUtf8(media));
    EXPECT_EQ(unextractedText(media), std::to_string(inspection.fileDataPosition + 18));

    // A count larger than the list stops at the list's end.
    description.config[2002] = "9";
    description.config[2003] = "a.txt";
    const std::wstring more = buildMedia(folder, description, L"more.exe");
    EXPECT_EQ(runMedia(more, {kExtractMode}, temp).exitCode, 0u);
    EXPECT_EQ(readFileBytes(more + L".test\\a.txt"), "A");
    EXPECT_EQ(GetFileAttributesW((more + L".test\\b.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(Extraction, TwoDirectoryLevelsCreateOnlyTheFirstAndFailTheFile) {
    TempFolder folder;
    TempFolder temp;
    media::MediaDescription description;
    description.config[107] = "1";
    description.fillFileList = false;
    description.config[2002] = "1";
    description.config[2003] = "a\\b\\c.jar";
    description.files.push_back({"c.jar", {"", "C"}});
    const std::wstring media = buildMedia(folder, description);
    const Finished run = runMedia(media, {kExtractMode}, temp);
    ASSERT_TRUE(run.box.has_value());
    EXPECT_EQ(run.box->text.rfind(L"An internal error occurred (error code: 11)", 0), 0u);
    EXPECT_EQ(run.exitCode, 1u);
}

TEST(Extraction, ATruncatedRecordIsACorruptedPayload) {
    TempFolder folder;
    TempFolder temp;
    const std::wstring media = buildMedia(folder, sampleDescription());
    const std::string bytes = readFileBytes(media);
    const media::MediaInspection inspection = media::inspectMediaFile(base::wideToUtf8(media));
    // Cut inside the first record; "-nocheck" lets the run get that far.
    writeFileBytes(media, bytes.substr(0, static_cast<size_t>(inspection.fileDataPosition + 8 + 1000)));
    const Finished run = runMedia(media, {kExtractMode, L"-nocheck"}, temp);
    ASSERT_TRUE(run.box.has_value());
    EXPECT_EQ(run.box->text, L"The installation file is corrupted. If it is a download please try it again.");
    EXPECT_EQ(run.exitCode, 1u);
}

TEST(Extraction, AFullDiskShowsNotEnoughDiskSpace) {
    // ./check mounts a 64 KB file system and links "setup.exe.test" in this folder to it.
    const char* folder = std::getenv("E2E_FULL_DISK_FOLDER");
    if (!folder || !*folder) GTEST_SKIP() << "no small file system prepared (E2E_FULL_DISK_FOLDER)";
    const std::wstring directory = base::utf8ToWide(folder);
    media::MediaDescription description = sampleDescription();
    description.files[0].data.content = std::string(200000, 'x');
    TempFolder build;
    const std::wstring built = buildMedia(build, description);
    const std::wstring media = directory + L"\\setup.exe";
    ASSERT_TRUE(CopyFileW(built.c_str(), media.c_str(), FALSE));
    TempFolder temp;
    const Finished run = runMedia(media, {kExtractMode}, temp);
    DeleteFileW(media.c_str());
    // The run leaves what it extracted in the folder beside the installer, which is the small
    // file system itself: emptied for the other test that fills it.
    const std::wstring extracted = media + L".test";
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((extracted + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removeTree(extracted + L"\\" + name);
            else
                DeleteFileW((extracted + L"\\" + name).c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    ASSERT_TRUE(run.box.has_value());
    EXPECT_EQ(run.box->text, L"Not Enough Disk Space");
    EXPECT_EQ(run.exitCode, 1u);
}
