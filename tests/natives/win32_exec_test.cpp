// Win32Exec: a started program runs (the file it makes appears), a missing one gives its error.
#include <windows.h>

#include <string>

#include "harness/natives_test.h"
#include "peer_process.h"

namespace natives_test {
namespace {

class Win32ExecNatives : public NativesTest {};

TEST_F(Win32ExecNatives, LaunchStartsTheProgramOrGivesTheError) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring marker = std::wstring(temp) + L"win32exec launched.txt";
    DeleteFileW(marker.c_str());
    const std::wstring commandLine = L"\"" + peerPath() + L"\" touch \"" + marker + L"\"";
    EXPECT_EQ(callInt("Win32Exec.launch0", {nullptr, javaString(commandLine)}), 0);
    for (int i = 0; i < 400 && GetFileAttributesW(marker.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(25);
    EXPECT_NE(GetFileAttributesW(marker.c_str()), INVALID_FILE_ATTRIBUTES);
    DeleteFileW(marker.c_str());

    EXPECT_EQ(callInt("Win32Exec.launch0", {javaString(L"C:\\windows\\no_such_program.exe"), javaString(L"program")}),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(callInt("Win32Exec.launch0", {nullptr, javaString(L"no_such_program_anywhere.exe")}), ERROR_FILE_NOT_FOUND);
}

}  // namespace
}  // namespace natives_test
