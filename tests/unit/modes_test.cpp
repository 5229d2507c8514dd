#include <gtest/gtest.h>

#include "services/modes.h"

using namespace services;

TEST(Modes, InternalModeWordsArePrefixesExceptTheReboot) {
    Modes msi;
    applyInternalModes("__cvn_msi 132456 more", msi);
    EXPECT_TRUE(msi.msi);
    EXPECT_TRUE(msi.noDialog);
    EXPECT_EQ(msi.msiWindow, 132456u);

    Modes restart;
    applyInternalModes("__cvn_lang_restart", restart);
    EXPECT_TRUE(restart.languageRestart);
    EXPECT_TRUE(restart.quiet);

    Modes extract;
    applyInternalModes("__cvn_extract_and_exit x", extract);
    EXPECT_TRUE(extract.extractAndExit);
    EXPECT_FALSE(extract.msi);

    EXPECT_TRUE(isRebootCommandLine("__cvn_reboot"));
    EXPECT_FALSE(isRebootCommandLine("__cvn_reboot "));
    EXPECT_FALSE(isRebootCommandLine("__cvn_reboot now"));
    EXPECT_FALSE(isRebootCommandLine("x __cvn_reboot"));
    EXPECT_TRUE(startsWithWord("__cvn_windel \"x\"", "__cvn_windel"));
    EXPECT_FALSE(startsWithWord("__cvn_winde", "__cvn_windel"));
}

TEST(Modes, MsiWindowParsingNeverOverflows) {
    EXPECT_EQ(parseMsiWindow("__cvn_msi"), 0u);
    EXPECT_EQ(parseMsiWindow("__cvn_msi abc"), 0u);
    EXPECT_EQ(parseMsiWindow("__cvn_msi  4294967295"), 4294967295u);
    EXPECT_EQ(parseMsiWindow("__cvn_msi 99999999999999999999999999"), 0u);
    EXPECT_EQ(parseMsiWindow("__cvn_msi12"), 12u);
}

TEST(Modes, LogOptionCountsOnlyAsFirstArgument) {
    std::vector<std::wstring> first = {L"setup.exe", L"/create-lmb-log", L"-q"};
    EXPECT_TRUE(takeLogOption(first));
    EXPECT_EQ(first, (std::vector<std::wstring>{L"setup.exe", L"-q"}));
    std::vector<std::wstring> second = {L"setup.exe", L"-q", L"-create-cvn-log"};
    EXPECT_FALSE(takeLogOption(second));
    EXPECT_EQ(second.size(), 3u);
    std::vector<std::wstring> alone = {L"-create-cvn-log"};
    EXPECT_FALSE(takeLogOption(alone));
}

TEST(Modes, UserOptionsMatchExactlyAndCaseSensitively) {
    const UserOptions none = scanUserOptions({L"setup.exe", L"-Q", L"--q", L"-nocheck2", L"-MANUAL"});
    EXPECT_FALSE(none.quiet || none.guiOff || none.noCheck || none.manual || none.console || none.splash);

    const UserOptions all = scanUserOptions({L"-q", L"-splash", L"-nocheck", L"/manual", L"-console"});
    EXPECT_TRUE(all.quiet && all.guiOff && all.splash && all.noCheck && all.manual && all.console);
    EXPECT_FALSE(all.consoleRequired);

    const UserOptions console = scanUserOptions({L"-c"});
    EXPECT_TRUE(console.quiet && console.guiOff && console.consoleRequired);
    // Element 0 is scanned too.
    EXPECT_TRUE(scanUserOptions({L"-q"}).quiet);
}
