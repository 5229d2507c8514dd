// The startup dialog seen from outside: its texts, its progress bar, and Cancel in its three
// forms, each ending the launcher with exit code 5 and leaving no extracted files behind.
#include <gtest/gtest.h>

#include "harness.h"

#include <commctrl.h>

using namespace e2e;

namespace {

std::wstring controlText(HWND dialog, int id) {
    wchar_t text[512] = {};
    GetDlgItemTextW(dialog, id, text, 512);
    return text;
}

// Waits until the folder holds nothing but launcher logs.
bool emptied(const TempFolder& folder, DWORD milliseconds) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    for (;;) {
        std::vector<std::wstring> left = folder.names();
        std::erase_if(left, [](const std::wstring& name) { return name.rfind(L"cvn_nlog_", 0) == 0; });
        if (left.empty()) return true;
        if (GetTickCount64() > deadline) return false;
        Sleep(100);
    }
}

}  // namespace

TEST(StartupDialog, ShowsThePayloadsTextsAndCancelEndsWithFive) {
    TempFolder folder;
    media::MediaDescription description;
    description.config[107] = "1";
    description.messages[20007] = L"Getting the installer ready";
    description.messages[20012] = L"Stop";
    description.messages[20013] = L"Demo Setup";
    // Large enough that the work is still running when the test presses the button.
    description.files.push_back({"big.bin", {"", std::string(300u << 20, '\0')}});
    const std::wstring media = buildMedia(folder, description);

    // IDCANCEL is the button and Escape, IDOK is Enter, 0 stands for closing the window; all cancel.
    for (int command : {IDCANCEL, IDOK, 0}) {
        TempFolder temp;
        LauncherProcess process(media, {{}, {}, temp.path()});
        const HWND dialog = process.waitForWindow(L"MyDialogClass");
        ASSERT_NE(dialog, nullptr);
        wchar_t title[128] = {};
        GetWindowTextW(dialog, title, 128);
        EXPECT_STREQ(title, L"Demo Setup");
        EXPECT_EQ(controlText(dialog, 1003), L"Getting the installer ready");
        EXPECT_EQ(controlText(dialog, IDCANCEL), L"Stop");
        EXPECT_EQ(SendDlgItemMessageW(dialog, 1001, PBM_GETRANGE, FALSE, 0), 400);
        if (command == 0)
            PostMessageW(dialog, WM_CLOSE, 0, 0);
        else
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0);
        EXPECT_EQ(process.wait(30000), 5u) << command;
        // What was extracted goes, by the run itself or by the deletion child once it has ended.
        EXPECT_TRUE(emptied(temp, 20000)) << command;
    }
}
