// Pictures of both launcher dialogs, light and dark, kept as artifacts of the test run
// (build/<win32|win64>/artifacts/*.bmp) for a person to look at; the test itself checks only what
// a program can: the dialogs appear, centred, with their texts, nothing covers them while they
// are photographed, and dark mode is decided as configured. Dark mode needs a reported
// Windows 11, which Wine gives a program by its name.
//
// The picture is a copy of the screen where the window is (another process's window cannot be
// printed into this process's bitmap under Wine), so these tests run alone (RUN_SERIAL): a
// message box of a test running beside them once ended up in front of the startup dialog.
#include <gtest/gtest.h>

#include "harness.h"

#include <optional>
#include <string>
#include <vector>

#include "base/text.h"
#include "bitmap_file.h"

using namespace e2e;

namespace {

BOOL CALLBACK collectControl(HWND control, LPARAM controls) {
    if (IsWindowVisible(control)) reinterpret_cast<std::vector<HWND>*>(controls)->push_back(control);
    return TRUE;
}

// What the screen shows at the corners of the window's client area and at the centre of each of
// its visible controls belongs to the window: no other window lies in front of its texts. (Xvfb
// without a window manager draws no caption, and Wine finds no window at its place.)
void expectUncovered(HWND window, const char* when) {
    RECT client = {};
    GetClientRect(window, &client);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    std::vector<POINT> points = {{client.left + 2, client.top + 2},
                                 {client.right - 3, client.top + 2},
                                 {client.left + 2, client.bottom - 3},
                                 {client.right - 3, client.bottom - 3}};
    std::vector<HWND> controls;
    EnumChildWindows(window, collectControl, reinterpret_cast<LPARAM>(&controls));
    EXPECT_FALSE(controls.empty());
    for (const HWND control : controls) {
        RECT area = {};
        GetWindowRect(control, &area);
        points.push_back({(area.left + area.right) / 2, (area.top + area.bottom) / 2});
    }
    for (const POINT point : points) {
        const HWND shown = GetAncestor(WindowFromPoint(point), GA_ROOT);
        wchar_t title[256] = L"";
        GetWindowTextW(shown, title, 256);
        EXPECT_EQ(shown, window) << when << ": at (" << point.x << ", " << point.y << ") the screen shows \""
                                 << base::wideToUtf8(title) << "\"";
    }
}

// The window as the screen shows it, as a 24-bit bottom-up BMP; checked uncovered before and
// after the copy.
void saveScreenshot(HWND window, const std::wstring& name) {
    expectUncovered(window, "before the picture");
    EXPECT_TRUE(test_support::saveWindowPicture(window, test_support::WindowPicture::FromScreen, name));
    expectUncovered(window, "after the picture");
}

// The window's centre lies within a few pixels of the screen's (neither dialog has a parent).
void expectCentred(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_NEAR((rect.left + rect.right) / 2, screenWidth / 2, 4);
    EXPECT_NEAR((rect.top + rect.bottom) / 2, screenHeight / 2, 4);
}

void waitUntilPainted() {
    Sleep(700);
}

void photographBothDialogs(const std::wstring& name, const std::wstring& suffix, bool darkExpected,
                           std::optional<media::Branding> branding = std::nullopt) {
    TempFolder folder;
    TempFolder temp;
    media::MediaDescription description;
    description.branding = branding;
    description.config[107] = "1";
    description.config[126] = "11";
    description.config[127] = "17";
    description.config[10013] = "0";
    description.messages[20007] = L"Preparing the Halvern Demo installer. This takes a moment...";
    // The Java side takes its time to show a window, so the dialog stays up however fast the
    // machine extracts.
    description.config[123] = "-Dstandin.scenario=sleep:15000";
    description.files.push_back({"cvnruntime.jar", {"", "jar"}});
    const std::wstring media = buildMedia(folder, description, name);

    {
        LauncherProcess process(media, {{}, {{L"LUMBRA_LOG", L"yes"}}, temp.path()});
        const HWND dialog = process.waitForWindow(L"MyDialogClass");
        ASSERT_NE(dialog, nullptr);
        waitUntilPainted();
        expectCentred(dialog);
        saveScreenshot(dialog, L"startup-dialog-" + suffix);
        pressButton(dialog, IDCANCEL);
        EXPECT_EQ(process.wait(), 5u);
    }
    const std::vector<std::wstring> logs = launcherLogs(temp.path());
    ASSERT_FALSE(logs.empty());
    EXPECT_NE(logs.front().find(darkExpected ? L"Dark mode: 1 1" : L"Dark mode: 0"), std::wstring::npos)
        << logs.front();

    LauncherProcess process(media, {{L"-manual"}, {}, temp.path()});
    const auto selection = process.waitForMessageBox();
    ASSERT_TRUE(selection);
    waitUntilPainted();
    expectCentred(selection->window);
    saveScreenshot(selection->window, L"selection-dialog-" + suffix);
    pressButton(selection->window, IDCANCEL);
    EXPECT_EQ(process.wait(), 1u);
}

}  // namespace

TEST(Screenshots, LightDialogs) { photographBothDialogs(L"light-setup.exe", L"light", false); }

// The author's icon (from the examples) in both dialogs instead of the launcher's.
TEST(Screenshots, BrandedDialogs) {
    media::Branding branding;
    branding.iconPath = EXAMPLE_ICON;
    photographBothDialogs(L"branded-setup.exe", L"branded", false, branding);
}

TEST(Screenshots, DarkDialogsOnWindows11) {
    const Windows11Version windows11;
    const DWORD zero = 0;
    const RegistryValue theme(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                              L"AppsUseLightTheme", REG_DWORD, &zero, 4);
    photographBothDialogs(L"dark-setup.exe", L"dark", true);
}
