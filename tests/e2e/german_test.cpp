// Runs with a German user interface (ctest starts this program with LC_ALL=de_DE.UTF-8, which
// Wine turns into the Windows UI language): the same media file speaks German without being
// asked, and English when asked.
#include <gtest/gtest.h>

#include "harness.h"

using namespace e2e;

TEST(German, TheUserInterfaceLanguageChoosesTheLanguageBlock) {
    ASSERT_EQ(PRIMARYLANGID(GetUserDefaultUILanguage()), LANG_GERMAN) << "not started with a German locale";
    media::MediaDescription description;
    description.config[107] = "1";
    description.fillFileList = false;
    description.config[2002] = "1";
    description.config[2003] = "a\\b\\c.jar";  // fails after the options are read: internal error 11
    description.files.push_back({"c.jar", {"", "c"}});
    description.languages.push_back({"de", {{1009, L"Interner Fehler (Code: {0})"}, {1000, L"Fehler"}}});
    description.languages.push_back({"de_AT", {{1000, L"Fehler (AT)"}}});
    TempFolder folder;
    const std::wstring media = buildMedia(folder, description);

    for (const auto& [arguments, title, text] :
         {std::tuple{std::vector<std::wstring>{L"__cvn_extract_and_exit"}, L"Fehler", L"Interner Fehler (Code: 11)"},
          std::tuple{std::vector<std::wstring>{L"__cvn_extract_and_exit", L"-Dcorvane.language=en"}, L"Error",
                     L"An internal error occurred (error code: 11)"}}) {
        TempFolder temp;
        LauncherProcess process(media, {arguments, {}, temp.path()});
        const auto box = process.waitForMessageBox(10000);
        ASSERT_TRUE(box.has_value());
        pressButton(box->window, IDOK);
        EXPECT_EQ(box->title, title);
        EXPECT_EQ(box->text.rfind(std::wstring(text) + L"\n\nLog: ", 0), 0u);
        EXPECT_EQ(process.wait(30000), 1u);
        removeTree(media + L".test");
    }
}
