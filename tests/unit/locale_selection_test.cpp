#include <gtest/gtest.h>

#include "launch/locale_selection.h"

using launch::selectLocale;
using launch::SystemLanguages;

namespace {

std::string fromSystem(uint16_t userInterface, uint16_t format = 0x0409) {
    const std::vector<std::wstring> none;
    return selectLocale(&none, SystemLanguages{format, userInterface});
}

}  // namespace

TEST(LocaleSelection, TableRowsAndPrimaryLanguageFallback) {
    EXPECT_EQ(fromSystem(0x0807), "de_CH");
    EXPECT_EQ(fromSystem(0x1407), "de_LI");
    EXPECT_EQ(fromSystem(0x0C07), "de_AT");
    EXPECT_EQ(fromSystem(0x4807), "de");  // unknown German sublanguage: primary row
    EXPECT_EQ(fromSystem(0x2409), "en");
    EXPECT_EQ(fromSystem(0x0812), "ko_KR");
    EXPECT_EQ(fromSystem(0x0814), "no_NO_NY");
    EXPECT_EQ(fromSystem(0x040D), "iw_IL");
    EXPECT_EQ(fromSystem(0x0007), "de");
    EXPECT_EQ(fromSystem(0x007F), "en");  // invariant: no row
    EXPECT_EQ(fromSystem(0x0428), "en");  // primary 0x28 has no row
}

TEST(LocaleSelection, ExplicitLanguageWinsAndTheLastOneCounts) {
    const std::vector<std::wstring> arguments = {L"setup.exe", L"-Dcorvane.language=fr", L"-Dcorvane.language=pt_BR"};
    const std::string locale = selectLocale(&arguments, SystemLanguages{0x0407, 0x0407});
    EXPECT_EQ(locale, "pt_BR");
    EXPECT_EQ(launch::languagePart(locale), "pt");
    EXPECT_EQ(launch::countryPart(locale), "BR");

    const std::vector<std::wstring> odd = {L"-Dcorvane.language=xyz"};
    const std::string xyz = selectLocale(&odd, SystemLanguages{});
    EXPECT_EQ(xyz, "xyz");
    EXPECT_EQ(launch::languagePart(xyz), "xy");
    EXPECT_EQ(launch::countryPart(xyz), std::nullopt);
    EXPECT_EQ(launch::languagePart("no_NO_NY"), "no");
    EXPECT_EQ(launch::countryPart("no_NO_NY"), std::nullopt);
    EXPECT_EQ(launch::languagePart("x"), std::nullopt);
}

TEST(LocaleSelection, FormatAsDefaultChoosesTheRegionalFormat) {
    const SystemLanguages frenchFormat{0x040C, 0x0409};
    const std::vector<std::wstring> on = {L"-Dsun.locale.formatasdefault=true"};
    EXPECT_EQ(selectLocale(&on, frenchFormat), "fr_FR");
    const std::vector<std::wstring> off = {L"-Dsun.locale.formatasdefault=true", L"-Dsun.locale.formatasdefault=false"};
    EXPECT_EQ(selectLocale(&off, frenchFormat), "en_US");
    const std::vector<std::wstring> none;
    EXPECT_EQ(selectLocale(&none, frenchFormat), "en_US");
    // Without a user-interface language the regional format is all there is.
    EXPECT_EQ(selectLocale(&none, SystemLanguages{0x040C, std::nullopt}), "fr_FR");
    // Without an argument list the user interface decides.
    EXPECT_EQ(selectLocale(nullptr, frenchFormat), "en_US");
}
