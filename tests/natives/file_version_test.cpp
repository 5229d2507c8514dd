// FileVersion.compare0 against executables built with version resources of their own.
#include <windows.h>

#include <string>

#include "harness/natives_test.h"

namespace natives_test {
namespace {

std::wstring besideThisProgram(const wchar_t* name) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L'\\') + 1) + name;
}

class FileVersionNatives : public NativesTest {
protected:
    jint compare(const std::wstring& first, const std::wstring& second) {
        return callInt("FileVersion.compare0", {javaString(first), javaString(second)});
    }
};

// 1.2.3.4 twice, 1.2.3.10 (newer in the low half only), 40000.1.0.0 (its high half above
// 0x7FFFFFFF: compared unsigned) and a program without a resource.
TEST_F(FileVersionNatives, OlderSameNewerAndUnreadable) {
    const std::wstring base = besideThisProgram(L"version_1_2_3_4.exe");
    const std::wstring twin = besideThisProgram(L"version_1_2_3_4_twin.exe");
    const std::wstring newer = besideThisProgram(L"version_1_2_3_10.exe");
    const std::wstring highest = besideThisProgram(L"version_40000_1_0_0.exe");
    const std::wstring none = besideThisProgram(L"version_none.exe");

    EXPECT_EQ(compare(base, base), 0);
    EXPECT_EQ(compare(base, twin), 0);
    EXPECT_EQ(compare(base, newer), 2);
    EXPECT_EQ(compare(newer, base), 1);
    EXPECT_EQ(compare(highest, newer), 1);
    EXPECT_EQ(compare(newer, highest), 2);
    EXPECT_EQ(compare(none, base), 3);
    EXPECT_EQ(compare(base, none), 3);
    EXPECT_EQ(compare(base, besideThisProgram(L"missing.exe")), 3);
    EXPECT_EQ(callInt("FileVersion.compare0", {javaString(base), nullptr}), 3);
}

// A path of 32768 characters or more does not fit any path buffer of the system: refused,
// also where its prefix names a real file.
TEST_F(FileVersionNatives, OverlongPathsAreRefused) {
    const std::wstring base = besideThisProgram(L"version_1_2_3_4.exe");
    std::wstring overlong = L"\\\\?\\" + base;
    overlong.append(32768 - overlong.size(), L'\0');
    ASSERT_EQ(overlong.size(), 32768u);
    EXPECT_EQ(compare(overlong, base), 3);
    EXPECT_EQ(compare(base, std::wstring(40000, L'a')), 3);
}

}  // namespace
}  // namespace natives_test
