// The deletion file between its writers and the deletion child: exact bytes of the launcher's
// own file, files of other writers, and damaged files that must never widen what is deleted.
#include <gtest/gtest.h>

#include <algorithm>

#include "files/deletion_file.h"

using namespace files;

namespace {

std::string utf16(std::wstring_view text) {
    std::string bytes;
    for (wchar_t c : text) {
        bytes.push_back(static_cast<char>(static_cast<unsigned>(c) & 0xFF));
        bytes.push_back(static_cast<char>((static_cast<unsigned>(c) >> 8) & 0xFF));
    }
    return bytes;
}

std::optional<DeletionFile> parseBytes(const std::string& bytes) { return parseDeletionLines(decodeDeletionLines(bytes)); }

}  // namespace

TEST(DeletionFile, LauncherFileHasTheDocumentedBytes) {
    DeletionFile file;
    file.semaphoreName = L"Local\\sem";
    file.files = {L"C:\\T\\lmb1.tmp_dir5\\a.jar"};
    file.directories = {L"C:\\T\\lmb1.tmp_dir5\\sub", L"C:\\T\\lmb1.tmp_dir5"};
    EXPECT_EQ(encodeDeletionFile(file),
              utf16(L"Local\\sem\r\nno_reboot_deletion\r\n\r\nEOSMARKER\r\n\r\nEOSMARKER\r\n"
                    L"C:\\T\\lmb1.tmp_dir5\\a.jar\r\n\r\nC:\\T\\lmb1.tmp_dir5\\sub\r\nC:\\T\\lmb1.tmp_dir5\r\n"));
}

TEST(DeletionFile, RoundTripKeepsNonAnsiAndLongPathsAndNoEntryCanSplitALine) {
    DeletionFile file;
    file.semaphoreName = L"Global\\x";
    file.mode = L"reboot_deletion";
    file.messageText = L"Reboot now?\nEOSMARKER is not the end.";
    file.failureText = L"Could not reboot.";
    const std::wstring deep = L"C:\\" + std::wstring(9000, L'd') + L"\\\u4e2d\u6587!";
    file.files = {L"C:\\\u0444\u0430\u0439\u043b.txt", deep, L"", L"C:\\a\r\nC:\\b"};
    file.directories = {L"C:\\d\nx", L"\\\\server\\share\\dir"};
    const auto parsed = parseBytes(encodeDeletionFile(file));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->semaphoreName, file.semaphoreName);
    EXPECT_EQ(parsed->mode, file.mode);
    EXPECT_EQ(parsed->messageText, L"Reboot now?\n EOSMARKER is not the end.");
    EXPECT_EQ(parsed->failureText, file.failureText);
    EXPECT_EQ(parsed->files, (std::vector<std::wstring>{file.files[0], deep}));
    EXPECT_EQ(parsed->directories, std::vector<std::wstring>{L"\\\\server\\share\\dir"});
}

TEST(DeletionFile, FilesOfOtherWritersAreReadAsTheChildWalksThem) {
    // A byte-order mark, LF-only line ends, several text lines, empty lines among the
    // directories, an empty first line for "no semaphore".
    const auto parsed = parseBytes("\xFF\xFE" + utf16(L"\nforce_reboot\r\nline one\r\nline two\r\nEOSMARKER\r\n"
                                                      L"fail\r\nEOSMARKERS\r\nC:\\f1\r\n\r\nC:\\d1\r\n\r\nC:\\d2\r\n"));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->semaphoreName, L"");
    EXPECT_EQ(parsed->mode, L"force_reboot");
    EXPECT_EQ(parsed->messageText, L"line one\nline two");
    EXPECT_EQ(parsed->failureText, L"fail");
    EXPECT_EQ(parsed->files, std::vector<std::wstring>{L"C:\\f1"});
    EXPECT_EQ(parsed->directories, (std::vector<std::wstring>{L"C:\\d1", L"C:\\d2"}));
}

TEST(DeletionFile, FilesWithoutModeAndBothMarkersNameNothing) {
    for (const wchar_t* text : {
             L"", L"sem\r\n", L"sem\r\nno_reboot_deletion\r\n\r\nEOSMARKER\r\nC:\\f\r\n",
             L"sem\r\nno_reboot_deletion\r\nC:\\f\r\n\r\nC:\\d\r\n",
             // Two empty lines before any mode: a plain walk would take what follows as files.
             L"\r\n\r\nC:\\f\r\nEOSMARKER\r\nEOSMARKER\r\n",
         }) {
        EXPECT_FALSE(parseBytes(utf16(text))) << std::wstring_view(text).size();
    }
}

TEST(DeletionFile, CutOrOddFilesNeverNameMoreOrOtherEntries) {
    DeletionFile file;
    file.files = {L"C:\\dir\\file.txt", L"C:\\dir\\second.txt"};
    file.directories = {L"C:\\dir\\sub", L"C:\\dir"};
    const std::string bytes = encodeDeletionFile(file);
    auto within = [](const std::vector<std::wstring>& part, const std::vector<std::wstring>& whole) {
        return std::all_of(part.begin(), part.end(),
                           [&](const std::wstring& p) { return std::find(whole.begin(), whole.end(), p) != whole.end(); });
    };
    // "C:\dir\file.txt" cut to "C:\dir\fi" would name another file.
    for (size_t cut = 0; cut <= bytes.size(); ++cut) {
        const auto parsed = parseBytes(bytes.substr(0, cut));
        if (!parsed) continue;
        EXPECT_TRUE(within(parsed->files, file.files)) << "cut at " << cut;
        EXPECT_TRUE(within(parsed->directories, file.directories)) << "cut at " << cut;
    }
    EXPECT_EQ(parseBytes(bytes + "\x41")->directories, file.directories);
}
