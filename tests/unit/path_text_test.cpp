// Path rules that need no file system: the same answers on the host and under Windows.
#include <gtest/gtest.h>

#include "files/path_text.h"

using namespace files;

TEST(PathText, DriveRootsAndRelativePaths) {
    for (const char* root : {"C:\\", "c:\\.", "Z:\\.\\."}) EXPECT_TRUE(isDriveRoot(std::string_view(root))) << root;
    for (const char* other : {"", "C:", "C:\\x", "C:\\.\\", "C:\\..", "\\\\"}) EXPECT_FALSE(isDriveRoot(std::string_view(other))) << other;

    for (const wchar_t* relative : {L"", L"C:", L"lib\\a.jar", L"\\lib", L"C:lib", L"\"C:", L"..\\x"}) {
        EXPECT_TRUE(isRelativePath(std::wstring_view(relative))) << relative;
    }
    for (const wchar_t* absolute : {L"C:\\", L"\\\\server\\share", L"\"C:\\x\"", L"\\\\?\\C:\\x"}) {
        EXPECT_FALSE(isRelativePath(std::wstring_view(absolute))) << absolute;
    }
}

TEST(PathText, FoldingKeepsTheUncPrefixOnly) {
    std::wstring unc = L"\\\\server\\share\\\\x";
    foldSeparators(unc);
    EXPECT_EQ(unc, L"\\\\server\\share\\x");
    std::wstring longRun = L"\\\\\\\\server\\\\\\share";
    foldSeparators(longRun);
    EXPECT_EQ(longRun, L"\\\\server\\share");
    std::wstring untouched = L"\\\\server\\share\\x";
    foldSeparators(untouched);
    EXPECT_EQ(untouched, L"\\\\server\\share\\x");
    std::string partly = "C:\\\\keep\\\\fold";
    foldSeparators(partly, 8);
    EXPECT_EQ(partly, "C:\\\\keep\\fold");
}

TEST(PathText, ResolutionPrefixesRelativePathsAndFoldsOnlyWhatItAppends) {
    std::string out;
    appendResolved(out, "lib\\\\a.jar", "C:\\Program Files\\app\\");
    EXPECT_EQ(out, "C:\\Program Files\\app\\lib\\a.jar");
    std::wstring joint;
    appendResolved(joint, L"\\lib\\a.jar", L"C:\\app\\");
    EXPECT_EQ(joint, L"C:\\app\\lib\\a.jar");
    // An absolute path ignores the directory; its UNC prefix survives even after other text.
    std::wstring absolute = L"x=";
    appendResolved(absolute, L"\\\\srv\\share\\\\f", L"C:\\app\\");
    EXPECT_EQ(absolute, L"x=\\\\srv\\share\\f");
    std::wstring onShare;
    appendResolved(onShare, L"a\\\\b", L"\\\\srv\\share\\dir\\");
    EXPECT_EQ(onShare, L"\\\\srv\\share\\dir\\a\\b");
}

TEST(PathText, ExeSuffixAndBangs) {
    EXPECT_TRUE(endsWithExe("C:\\SETUP.EXE"));
    EXPECT_FALSE(endsWithExe(".exe"));
    EXPECT_FALSE(endsWithExe("setup.exe "));

    EXPECT_TRUE(hasBangSeparator(std::string_view("C:\\Users\\joe!\\Temp")));
    EXPECT_TRUE(hasBangSeparator(std::string_view("C:\\Users\\joe!")));
    EXPECT_TRUE(hasBangSeparator(std::wstring_view(L"C:\\USERS\\JOE!~1\\x!\\")));
    EXPECT_FALSE(hasBangSeparator(std::wstring_view(L"C:\\a!b\\c")));
    EXPECT_FALSE(hasBangSeparator(std::string_view("C:\\JOE!~1\\T")));
}

TEST(PathText, DeletionEntriesAndLauncherDirectories) {
    for (const wchar_t* full : {L"C:\\x", L"z:\\", L"\\\\server\\share\\x", L"\\\\?\\C:\\x"}) EXPECT_TRUE(isFullPath(full)) << full;
    for (const wchar_t* other : {L"", L"x", L"C:x", L"\\x", L"..\\..\\x", L"1:\\x", L"\\\\"}) EXPECT_FALSE(isFullPath(other)) << other;

    EXPECT_TRUE(isLauncherDirectoryPath(L"C:\\T\\lmbA1B2.tmp_dir1700000000\\jre\\x.dll"));
    EXPECT_FALSE(isLauncherDirectoryPath(L"C:\\T\\lmbA1B2.tmp"));
    EXPECT_FALSE(isLauncherDirectoryPath(L"C:\\T\\x.tmp_dir1"));
}

TEST(PathText, OnlyLongFullPathsGetTheExtendedPrefix) {
    const std::wstring deep = L"C:\\" + std::wstring(300, L'a');
    EXPECT_EQ(extendedLengthPath(deep), L"\\\\?\\" + deep);
    EXPECT_EQ(extendedLengthPath(L"\\\\srv\\s\\" + std::wstring(300, L'b')), L"\\\\?\\UNC\\srv\\s\\" + std::wstring(300, L'b'));
    EXPECT_EQ(extendedLengthPath(L"\\\\?\\" + deep), L"\\\\?\\" + deep);
    EXPECT_EQ(extendedLengthPath(L"C:\\short"), L"C:\\short");
    EXPECT_EQ(extendedLengthPath(std::wstring(300, L'r')), std::wstring(300, L'r'));
    // On request also a short one (a program's name), but never a relative one.
    EXPECT_EQ(extendedLengthPath(L"C:\\short", true), L"\\\\?\\C:\\short");
    EXPECT_EQ(extendedLengthPath(L"\\\\srv\\s\\a", true), L"\\\\?\\UNC\\srv\\s\\a");
    EXPECT_EQ(extendedLengthPath(L"bin\\java.exe", true), L"bin\\java.exe");
}

// Only GetTempFileName's names and the directories made from them are taken for a run's.
TEST(PathText, ReservationsAndTheirDirectories) {
    for (const wchar_t* name : {L"lmb1.tmp", L"LMBA1B2.TMP", L"lmbffff.tmp"}) EXPECT_TRUE(isReservationName(name)) << name;
    for (const wchar_t* name : {L"lmb.tmp", L"lmb12345.tmp", L"lmbxyz.tmp", L"lmb12.tmpx", L"xlmb12.tmp", L"lmbtw1234"})
        EXPECT_FALSE(isReservationName(name)) << name;
    EXPECT_TRUE(isReservedDirectoryName(L"lmbA1B2.tmp", L"lmbA1B2.tmp_dir1700000000"));
    EXPECT_TRUE(isReservedDirectoryName(L"lmba1b2.tmp", L"LMBA1B2.TMP_DIR1"));
    EXPECT_FALSE(isReservedDirectoryName(L"lmbA1B2.tmp", L"lmbA1B2.tmp_dir"));
    EXPECT_FALSE(isReservedDirectoryName(L"lmbA1B2.tmp", L"lmbA1B2.tmp_dir12x"));
    EXPECT_FALSE(isReservedDirectoryName(L"lmbA1B2.tmp", L"lmbA1B3.tmp_dir12"));
    EXPECT_FALSE(isReservedDirectoryName(L"other.tmp", L"other.tmp_dir12"));
}
