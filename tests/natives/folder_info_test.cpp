// FolderInfo natives against what the system itself answers in this process.
#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <limits>
#include <string>

#include "harness/natives_test.h"

namespace natives_test {
namespace {

std::wstring folderPath(int csidl) {
    wchar_t path[MAX_PATH] = {};
    return SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, 0, path) == S_OK ? path : L"(none)";
}

std::wstring knownFolderPath(const KNOWNFOLDERID& id) {
    PWSTR path = nullptr;
    std::wstring result = SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path)) ? path : L"(none)";
    CoTaskMemFree(path);
    return result;
}

class FolderInfoNatives : public NativesTest {
protected:
    std::optional<std::wstring> special(jint id, bool allUsers) {
        return textOf(callObject("FolderInfo.getSpecialFolder0", {id, allUsers}));
    }
};

TEST_F(FolderInfoNatives, SpecialFoldersByIdentifierAndAllUsersFlag) {
    struct Row {
        jint id;
        int user;
        int common;
    };
    const Row rows[] = {
        {1, CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY}, {2, CSIDL_STARTMENU, CSIDL_COMMON_STARTMENU},
        {3, CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS},     {4, CSIDL_STARTUP, CSIDL_COMMON_STARTUP},
        {5, CSIDL_SENDTO, CSIDL_SENDTO},                {6, CSIDL_FONTS, CSIDL_FONTS},
        {7, CSIDL_APPDATA, CSIDL_COMMON_APPDATA},       {8, CSIDL_PERSONAL, CSIDL_COMMON_DOCUMENTS},
        {9, CSIDL_TEMPLATES, CSIDL_COMMON_TEMPLATES},   {10, CSIDL_FAVORITES, CSIDL_COMMON_FAVORITES},
        {11, CSIDL_LOCAL_APPDATA, CSIDL_LOCAL_APPDATA}, {12, CSIDL_DESKTOP, CSIDL_DESKTOP},
        {0, CSIDL_DESKTOP, CSIDL_DESKTOP},              {1000, CSIDL_DESKTOP, CSIDL_DESKTOP},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(special(row.id, false), folderPath(row.user)) << row.id;
        EXPECT_EQ(special(row.id, true), folderPath(row.common)) << row.id;
    }
    EXPECT_NE(special(1, true), special(1, false));  // the all-users desktop is another folder

    EXPECT_EQ(special(1001, false), knownFolderPath(FOLDERID_Downloads));
    EXPECT_EQ(special(1004, true), knownFolderPath(FOLDERID_LocalAppDataLow));
    EXPECT_EQ(special(1005, false), knownFolderPath(FOLDERID_Profile));
    EXPECT_EQ(special(std::numeric_limits<jint>::min(), false), folderPath(CSIDL_DESKTOP));
}

TEST_F(FolderInfoNatives, PathsFromTheCurrentVersionKey) {
    const wchar_t* const key = L"Software\\Microsoft\\Windows\\CurrentVersion";
    const std::wstring name = L"natives-tests-" + std::to_wstring(GetCurrentProcessId()) + L"-\u041F\u0443\u0442\u044C";
    const std::wstring path = L"C:\\\u041F\u0440\u043E\u0433\u0440\u0430\u043C\u043C\u044B\\\u7A0B\u5E8F";
    // Stored without its terminator: the native must not read past the data.
    ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, key, name.c_str(), REG_SZ, path.c_str(),
                              static_cast<DWORD>(path.size() * sizeof(wchar_t))), 0);
    EXPECT_EQ(textOf(callObject("FolderInfo.getPathFromRegistry0", {javaString(name)})), path);
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, key, name.c_str());
    EXPECT_EQ(callObject("FolderInfo.getPathFromRegistry0", {javaString(name)}), nullptr);

    wchar_t programFiles[MAX_PATH] = {};
    DWORD size = sizeof programFiles;
    ASSERT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, key, L"ProgramFilesDir", RRF_RT_REG_SZ, nullptr, programFiles, &size), 0);
    EXPECT_EQ(textOf(callObject("FolderInfo.getPathFromRegistry0", {javaString(L"ProgramFilesDir")})), programFiles);
}

TEST_F(FolderInfoNatives, WindowsAndSystemDirectoriesAndDriveTypes) {
    wchar_t windows[MAX_PATH] = {};
    GetSystemWindowsDirectoryW(windows, MAX_PATH);
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    EXPECT_EQ(textOf(callObject("FolderInfo.getWindowsDirectory0", {})), windows);
    EXPECT_EQ(textOf(callObject("FolderInfo.getSystemDirectory0", {})), system);

    EXPECT_EQ(callInt("FolderInfo.getDriveType0", {javaString(L"C:\\")}), DRIVE_FIXED);
    EXPECT_EQ(callInt("FolderInfo.getDriveType0", {javaString(L"C:\\no-such-folder\\")}), DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(callInt("FolderInfo.getDriveType0", {nullptr}), static_cast<jint>(GetDriveTypeW(nullptr)));
}

TEST_F(FolderInfoNatives, ShortAndUniversalPathNames) {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    const std::wstring folder = std::wstring(temp) + L"natives tests long folder name " +
                                std::to_wstring(GetCurrentProcessId()) + L" \u0416\u4E2D";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    wchar_t expected[MAX_PATH] = {};
    ASSERT_NE(GetShortPathNameW(folder.c_str(), expected, MAX_PATH), 0u);
    EXPECT_EQ(textOf(callObject("FolderInfo.getShortPathName0", {javaString(folder)})), expected);
    EXPECT_NE(std::wstring(expected), folder);
    RemoveDirectoryW(folder.c_str());

    // A path that does not exist comes back as the very string passed.
    const jstring missing = javaString(folder + L"\\missing");
    const jobject same = callObject("FolderInfo.getShortPathName0", {missing});
    EXPECT_TRUE(env()->IsSameObject(same, missing));

    // A local path has no universal name: ";" and the error of WNetGetUniversalNameW.
    using GetUniversalName = DWORD(WINAPI*)(LPCWSTR, DWORD, LPVOID, LPDWORD);
    const auto getUniversalName = reinterpret_cast<GetUniversalName>(
        reinterpret_cast<void*>(GetProcAddress(LoadLibraryW(L"mpr.dll"), "WNetGetUniversalNameW")));
    ASSERT_NE(getUniversalName, nullptr);
    unsigned char buffer[1024];
    DWORD size = sizeof buffer;
    const DWORD error = getUniversalName(L"C:\\windows", 1, buffer, &size);
    ASSERT_NE(error, 0u);
    EXPECT_EQ(textOf(callObject("FolderInfo.getUniversalPathName0", {javaString(L"C:\\windows")})),
              L";" + std::to_wstring(error));
}

}  // namespace
}  // namespace natives_test
