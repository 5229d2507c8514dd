// The entry point seen from outside: modes, user options, the launcher log and the language
// of the messages.
#include <gtest/gtest.h>

#include <memory>
#include <regex>

#include "base/format.h"
#include "base/text.h"
#include "harness.h"

using namespace e2e;

namespace {

media::MediaDescription description(const std::string& productKind = "i") {
    media::MediaDescription result;
    result.config[107] = "1";
    result.config[2001] = productKind;
    result.files.push_back({"cvnruntime.jar", {"", "jar"}});
    result.languages.push_back({"de", {{1009, L"Interner Fehler (Code: {0})"}, {1000, L"Fehler"}}});
    return result;
}

// A payload whose extraction fails after the options were read: two directory levels.
media::MediaDescription failingDescription() {
    media::MediaDescription result = description();
    result.fillFileList = false;
    result.config[2002] = "1";
    result.config[2003] = "a\\b\\c.jar";
    return result;
}

Finished run(const std::wstring& media, const std::vector<std::wstring>& arguments, const TempFolder& temp,
             std::map<std::wstring, std::optional<std::wstring>> environment = {}, int button = IDOK) {
    return runToEnd(media, {arguments, environment, temp.path()}, button, 6000);
}

const std::wstring kExtract = L"__cvn_extract_and_exit";

}  // namespace

TEST(Entry, TheLogIsTemporaryUnlessAVariableSaysYesExactly) {
    TempFolder folder;
    const std::wstring media = buildMedia(folder, description());
    for (const wchar_t* name : {L"CORVANE_LOG", L"LUMBRA_LOG"}) {
        TempFolder temp;
        EXPECT_EQ(run(media, {}, temp, {{name, L"yes"}}).exitCode, 0u);
        const auto logs = launcherLogs(temp.path());
        ASSERT_EQ(logs.size(), 1u) << base::wideToUtf8(name);
        // The header, an empty line, then lines with the time since the start.
        EXPECT_TRUE(std::regex_search(base::wideToUtf8(logs[0]),
                                      std::regex("^\xEF\xBB\xBFStarted executable .*setup\\.exe at "
                                                 "[A-Z][a-z]{2} [A-Z][a-z]{2} +\\d+ \\d\\d:\\d\\d:\\d\\d \\d{4}\r\n\r\n"
                                                 "\\[\\d+:\\d+\\] ")))
            << base::wideToUtf8(logs[0]);
        EXPECT_NE(logs[0].find(L"] Init done\r\n"), std::wstring::npos);
    }
    TempFolder temp;
    run(media, {}, temp, {{L"LUMBRA_LOG", L"YES"}, {L"CORVANE_LOG", L"1"}});
    EXPECT_TRUE(launcherLogs(temp.path()).empty());
}

TEST(Entry, TheLogOptionAsksFirstAndKeepsTheLog) {
    TempFolder folder;
    for (const char* kind : {"i", "e"}) {
        const std::wstring media = buildMedia(folder, description(kind), base::utf8ToWide(std::string(kind) + ".exe"));
        TempFolder temp;
        const Finished first = run(media, {L"-create-cvn-log"}, temp, {}, IDNO);
        ASSERT_TRUE(first.box.has_value());
        EXPECT_EQ(first.box->title, kind[0] == 'e' ? L"lumbra" : L"corvane");
        EXPECT_EQ(first.box->text.rfind(L"The following log file will be created:\n\n", 0), 0u);
        EXPECT_NE(first.box->text.find(L"cvn_nlog_1.log\n\nDo you want to open an Explorer window?"), std::wstring::npos);
        EXPECT_EQ(first.exitCode, 0u);
        EXPECT_EQ(launcherLogs(temp.path()).size(), 1u);
    }
    // Only as the first argument.
    const std::wstring media = buildMedia(folder, description());
    TempFolder temp;
    const Finished second = run(media, {L"-q", L"-create-cvn-log"}, temp);
    EXPECT_FALSE(second.box.has_value());
    EXPECT_EQ(second.exitCode, 0u);
    EXPECT_TRUE(launcherLogs(temp.path()).empty());
}

TEST(Entry, QuietAndConsoleOptionsSendErrorsToStandardError) {
    TempFolder folder;
    const std::wstring media = buildMedia(folder, failingDescription());
    for (const wchar_t* option : {L"-q", L"-c"}) {
        TempFolder temp;
        const Finished quiet = run(media, {kExtract, option}, temp);
        EXPECT_FALSE(quiet.box.has_value()) << base::wideToUtf8(option);
        EXPECT_EQ(quiet.exitCode, 1u);
        EXPECT_EQ(quiet.error.rfind("An internal error occurred (error code: 11)\n\nLog: ", 0), 0u) << quiet.error;
        EXPECT_EQ(launcherLogs(temp.path()).size(), 1u);  // named in the error, so kept
        removeTree(media + L".test");
    }
    // "-Q" and "--q" are no options: the error is a message box.
    for (const wchar_t* notAnOption : {L"-Q", L"--q"}) {
        TempFolder temp;
        const Finished shown = run(media, {kExtract, notAnOption}, temp);
        ASSERT_TRUE(shown.box.has_value());
        EXPECT_EQ(shown.box->title, L"Error");
        EXPECT_EQ(shown.exitCode, 1u);
        removeTree(media + L".test");
    }
}

TEST(Entry, AnExplicitLanguageBeatsTheSystemLanguage) {
    TempFolder folder;
    const std::wstring media = buildMedia(folder, failingDescription());
    TempFolder temp;
    const Finished english = run(media, {kExtract}, temp);
    ASSERT_TRUE(english.box.has_value());
    EXPECT_EQ(english.box->title, L"Error");
    EXPECT_EQ(english.box->text.rfind(L"An internal error occurred (error code: 11)", 0), 0u);
    removeTree(media + L".test");
    const Finished chosen = run(media, {kExtract, L"-Dcorvane.language=de"}, temp);
    ASSERT_TRUE(chosen.box.has_value());
    EXPECT_EQ(chosen.box->title, L"Fehler");
    EXPECT_EQ(chosen.box->text.rfind(L"Interner Fehler (Code: 11)\n\nLog: ", 0), 0u);
    removeTree(media + L".test");
}

TEST(Entry, ModeWordsThatDoNotQualifyStartNormally) {
    TempFolder folder;
    const std::wstring media = buildMedia(folder, description());
    // The deletion mode needs its file argument, the reboot mode the whole command line.
    for (const std::vector<std::wstring>& arguments :
         {std::vector<std::wstring>{L"__cvn_windel"}, std::vector<std::wstring>{L"__cvn_reboot", L"now"}}) {
        TempFolder temp;
        const Finished started = run(media, arguments, temp, {{L"CORVANE_LOG", L"yes"}});
        EXPECT_EQ(started.exitCode, 0u);
        const auto logs = launcherLogs(temp.path());
        ASSERT_EQ(logs.size(), 1u);
        EXPECT_NE(logs[0].find(L"] Init done"), std::wstring::npos);
    }
}

TEST(Entry, WhenAllLogNamesAreTakenTheThousandthIsReused) {
    TempFolder folder;
    const std::wstring media = buildMedia(folder, description());
    TempFolder temp;
    for (int n = 1; n <= 999; ++n) writeFileBytes(temp.file(L"cvn_nlog_" + std::to_wstring(n) + L".log"), "old");
    writeFileBytes(temp.file(L"cvn_nlog_1000.log"), "old");
    EXPECT_EQ(run(media, {}, temp, {{L"CORVANE_LOG", L"yes"}}).exitCode, 0u);
    EXPECT_EQ(readFileBytes(temp.file(L"cvn_nlog_1000.log")).find("Started executable"), 3u);
    EXPECT_EQ(readFileBytes(temp.file(L"cvn_nlog_999.log")), "old");
}

TEST(Entry, LaunchersStartingTogetherEachClaimALogOfTheirOwn) {
    TempFolder folder;
    const std::wstring media = buildMedia(folder, description());
    TempFolder temp;
    std::vector<std::unique_ptr<LauncherProcess>> launchers;
    for (int i = 0; i < 4; ++i)
        launchers.push_back(std::make_unique<LauncherProcess>(media, RunOptions{{}, {{L"CORVANE_LOG", L"yes"}}, temp.path()}));
    for (auto& launcher : launchers) EXPECT_EQ(launcher->wait(), 0u);
    const std::vector<std::wstring> logs = launcherLogs(temp.path());
    ASSERT_EQ(logs.size(), 4u);
    for (const std::wstring& log : logs) {
        EXPECT_EQ(log.find(L"Started executable"), 1u);  // after the byte-order mark
        EXPECT_EQ(log.find(L"Started executable", 2), std::wstring::npos);
    }
}

TEST(Entry, InternalModesAreRecognisedFromTheCommandLine) {
    TempFolder folder;
    const std::wstring media = buildMedia(folder, description());
    const struct {
        std::vector<std::wstring> arguments;
        std::wstring logLine;
    } cases[] = {
        {{L"__cvn_lang_restart"}, L"] language restart\r\n"},
        {{L"__cvn_msi", L"4660"}, base::formatWide(L"] msi wrapper %p\r\n", reinterpret_cast<void*>(0x1234))},
    };
    for (const auto& mode : cases) {
        TempFolder temp;
        const Finished started = run(media, mode.arguments, temp, {{L"CORVANE_LOG", L"yes"}});
        EXPECT_EQ(started.exitCode, 0u);
        const auto logs = launcherLogs(temp.path());
        ASSERT_EQ(logs.size(), 1u);
        EXPECT_NE(logs[0].find(mode.logLine), std::wstring::npos) << base::wideToUtf8(logs[0]);
        // In language restart the working directory stays the one the Java side chose.
        if (mode.arguments[0] == L"__cvn_lang_restart") {
            EXPECT_EQ(logs[0].find(L"working directory"), std::wstring::npos);
        }
    }
}
