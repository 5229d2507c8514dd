// The startup dialogs' decisions that need no window: which systems get dark dialogs, what the
// configuration and the user's theme setting ask for, and the runtime selection's text.
#include <gtest/gtest.h>

#include "base/bitness.h"
#include "base/text.h"
#include "launcher/dialog_rules.h"

using launcher::isWindows11;
using launcher::jreSelectionText;
using launcher::wantsDarkMode;

TEST(DialogRules, OnlyWindows11GoesDarkWhateverFlagsTheBuildCarries) {
    EXPECT_TRUE(isWindows11(10, 0, 22000));
    EXPECT_FALSE(isWindows11(10, 0, 21999));
    EXPECT_FALSE(isWindows11(6, 3, 22000));
    EXPECT_TRUE(isWindows11(10, 1, 0));
    EXPECT_TRUE(isWindows11(11, 0, 0));
    // The system reports the build with flags in its top four bits (0xF0000000 on a free build).
    EXPECT_FALSE(isWindows11(10, 0, 0xF0000000u | 19045));
    EXPECT_TRUE(isWindows11(10, 0, 0xF0000000u | 22621));
}

TEST(DialogRules, DarkIsFollowedOnlyWhenTheSettingSaysSoAndAlwaysDarkAsksNothing) {
    EXPECT_TRUE(wantsDarkMode(2, std::nullopt));
    EXPECT_TRUE(wantsDarkMode(2, 1u));
    EXPECT_TRUE(wantsDarkMode(0, 0u));
    EXPECT_FALSE(wantsDarkMode(0, 1u));
    EXPECT_FALSE(wantsDarkMode(0, std::nullopt));  // the setting could not be read
    for (int mode : {1, 3, -1}) EXPECT_FALSE(wantsDarkMode(mode, 0u)) << mode;
}

TEST(DialogRules, TheSelectionTextNamesTheBitnessAndTheVersionRangeAsConfigured) {
    const std::wstring message = L"No suitable %S-bit runtime.";
    const std::wstring start = L"No suitable " + base::narrowToWide(base::kOwnBitness) + L"-bit runtime.";
    EXPECT_EQ(jreSelectionText(message, L"at least", L"at most", "", ""), start);
    EXPECT_EQ(jreSelectionText(message, L"at least", L"at most", "1.8", ""), start + L" (at least 1.8)");
    EXPECT_EQ(jreSelectionText(message, L"at least", L"at most", "", "11"), start + L" (at most 11)");
    EXPECT_EQ(jreSelectionText(message, L"at least", L"at most", "1.8", "11"), start + L" (at least 1.8, at most 11)");
}
