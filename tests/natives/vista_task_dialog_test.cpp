// VistaTaskDialog.show0: the task dialog shown by the native and worked by a second program,
// which reports what it saw (texts, buttons, icon, position) and presses what a user would.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "harness/natives_test.h"
#include "dialog_peer_process.h"
#include "services/platform.h"

namespace natives_test {
namespace {

using Lines = std::vector<std::wstring>;

constexpr wchar_t kVerification[] = L"Do not ask again";

class TaskDialogNatives : public NativesTest {
protected:
    // The launcher has the common controls loaded from its start on; so does this program from
    // here on (the test of a missing task dialog runs first, in a process of its own).
    void SetUp() override {
        NativesTest::SetUp();
        services::initCommonControls();
    }

    jint show(jlong owner, const std::vector<std::wstring>& peerActions, Lines& seen, jint flags = 0,
              jint icon = SIID_WARNING, jint defaultButton = 1) {
        DialogPeer peer = dialogPeer(peerActions);
        const jint result = callInt("VistaTaskDialog.show0",
                                    {owner, javaString(L"Setup \u0416"), javaString(L"Replace the file?"),
                                     javaString(L"A newer version is installed."), flags, icon, 0,
                                     javaString(kVerification), javaStrings({L"First", L"Second", L"Third"}),
                                     defaultButton});
        seen = peer.finish();
        return result;
    }
};

bool hasLine(const Lines& lines, const std::wstring& part) {
    for (const std::wstring& line : lines)
        if (line.find(part) != std::wstring::npos) return true;
    return false;
}

// Whether the shell has an icon handle for the stock icon (Wine's SHGetStockIconInfo gives none).
bool stockIconExists(SHSTOCKICONID id) {
    SHSTOCKICONINFO info = {};
    info.cbSize = sizeof info;
    if (FAILED(SHGetStockIconInfo(id, SHGSI_ICON, &info)) || !info.hIcon) return false;
    DestroyIcon(info.hIcon);
    return true;
}

TEST_F(TaskDialogNatives, TheButtonPressedIsItsPosition) {
    Lines seen;
    EXPECT_EQ(show(0, {L"dump", L"wait=700", L"shot=task_dialog", L"click=Second"}, seen), 2) << testing::PrintToString(seen);
    EXPECT_TRUE(hasLine(seen, L"window|Setup \u0416|")) << testing::PrintToString(seen);
    EXPECT_TRUE(hasLine(seen, L"|Replace the file?|"));
    EXPECT_TRUE(hasLine(seen, L"|A newer version is installed.|"));
    // Buttons 101, 102, 103 in array order, the default one (index 1) with BS_DEFPUSHBUTTON.
    EXPECT_TRUE(hasLine(seen, L"|101|First|0|0x50010000|"));
    EXPECT_TRUE(hasLine(seen, L"|102|Second|0|0x50010001|"));
    EXPECT_TRUE(hasLine(seen, L"|103|Third|0|0x50010000|"));
    EXPECT_TRUE(hasLine(seen, std::wstring(L"|") + kVerification + L"|0|"));
    EXPECT_EQ(hasLine(seen, L"|icon"), stockIconExists(SIID_WARNING)) << "the stock icon is the main icon where it exists";
}

TEST_F(TaskDialogNatives, ATickedVerificationBoxNegatesTheResult) {
    Lines seen;
    EXPECT_EQ(show(0, {L"tick=" + std::wstring(kVerification), L"wait=200", L"dump", L"click=Third"}, seen, 0,
                   SIID_INFO, 2),
              -3)
        << testing::PrintToString(seen);
    EXPECT_TRUE(hasLine(seen, L"|103|Third|0|0x50010001|")) << "index 2 is the default button";
}

TEST_F(TaskDialogNatives, TheCloseButtonGives1000) {
    Lines seen;
    EXPECT_EQ(show(0, {L"close"}, seen, TDF_ALLOW_DIALOG_CANCELLATION), 1000) << testing::PrintToString(seen);
}

// With an owner the dialog is centred on it, and the timer (about every 200 ms) puts it back
// just above the owner when another window came between them.
TEST_F(TaskDialogNatives, AnOwnedDialogStaysWithItsOwner) {
    const HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 60, 500, 400, nullptr,
                                       nullptr, nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    const HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 300, 300, 300, 200,
                                       nullptr, nullptr, nullptr, nullptr);
    Lines seen;
    EXPECT_EQ(show(jni::toJavaHandle(owner), {L"dump", L"wait=1500", L"dump", L"close"}, seen,
                   TDF_ALLOW_DIALOG_CANCELLATION),
              1000);
    DestroyWindow(other);
    DestroyWindow(owner);
    const Lines order = linesStartingWith(seen, L"zorder|");
    ASSERT_EQ(order.size(), 2u) << testing::PrintToString(seen);
    // Shown on top; the timer may already have put it back below the other window when the
    // first look is late (a loaded machine), so only its place above the owner is certain.
    EXPECT_TRUE(order[0] == L"zorder|dialog|other|owner" || order[0] == L"zorder|other|dialog|owner") << order[0];
    EXPECT_EQ(order[1], L"zorder|other|dialog|owner");
    const Lines window = linesStartingWith(seen, L"window|");
    ASSERT_FALSE(window.empty());
    int left = 0, top = 0, right = 0, bottom = 0;
    ASSERT_EQ(swscanf(window[0].c_str() + window[0].rfind(L'|') + 1, L"%d,%d,%d,%d", &left, &top, &right, &bottom), 4);
    EXPECT_NEAR((left + right) / 2, 40 + 250, 2);
    EXPECT_NEAR((top + bottom) / 2, 60 + 200, 2);
}

}  // namespace

// Runs before the fixture's tests load the common controls; alone under ctest, and skipped
// where an earlier test of the same run loaded them.
TEST(TaskDialogMissing, WithoutTheCommonControlsNothingIsShownAndTheResultIs0) {
    if (GetModuleHandleW(L"comctl32.dll")) GTEST_SKIP() << "comctl32.dll is already loaded in this process";
    JNIEnv* e = env();
    ASSERT_EQ(e->PushLocalFrame(16), JNI_OK);
    EXPECT_EQ(callInt("VistaTaskDialog.show0", {0, javaString(L"t"), nullptr, nullptr, 0, 0, 0, nullptr,
                                                javaStrings({L"OK"}), 0}),
              0);
    callVoid("VistaTaskDialog.init0", {});
    e->PopLocalFrame(nullptr);
}

}  // namespace natives_test
