// Launcher variables over this process's own values.
#include <gtest/gtest.h>

#include <windows.h>

#include "base/text.h"
#include "files/executable_paths.h"
#include "files/extraction_directory.h"
#include "files/temporary_directory.h"
#include "files/process_variables.h"

using files::ExpansionMode;
using files::expandLauncherVariables;

namespace {

std::string expanded(std::string text) {
    expandLauncherVariables(text);
    return text;
}

std::wstring expanded(std::wstring text, ExpansionMode mode) {
    expandLauncherVariables(text, mode);
    return text;
}

std::wstring programDirectory() {
    wchar_t path[MAX_PATH];
    const std::wstring self(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return self.substr(0, self.find_last_of(L'\\') + 1);
}

}  // namespace

TEST(ProcessVariables, TheExecutableDirectoryEndsInABackslash) {
    const std::string directory = files::executableDirectory();
    EXPECT_EQ(directory, base::wideToNarrow(programDirectory()));
    EXPECT_EQ(expanded("%CORVANE_EXEDIR%lib\\a.jar"), directory + "lib\\a.jar");
    EXPECT_EQ(expanded(L"${launcher:sys.launcherDirectory}", ExpansionMode::Unicode), programDirectory());
    EXPECT_EQ(expanded(L"${launcher:sys.launcherDirectory}", ExpansionMode::AnsiSafe),
              files::widenBytes(directory));
}

TEST(ProcessVariables, EnvironmentEntriesMatchTheirSpellingOrUpperCase) {
    SetEnvironmentVariableW(L"CvnMixedCase", L"v1");
    SetEnvironmentVariableW(L"CVN_WIDE_VALUE", L"\u4e2d");
    EXPECT_EQ(expanded("${CvnMixedCase}|${CVNMIXEDCASE}|${cvnmixedcase}"), "v1|v1|${cvnmixedcase}");
    for (ExpansionMode mode : {ExpansionMode::AnsiSafe, ExpansionMode::Unicode}) {
        EXPECT_EQ(expanded(L"${CvnMixedCase}|${CVNMIXEDCASE}|${cvnmixedcase}", mode), L"v1|v1|${cvnmixedcase}");
        // Environment values come from the wide block in both modes.
        EXPECT_EQ(expanded(L"${CVN_WIDE_VALUE}", mode), L"\u4e2d");
    }
    SetEnvironmentVariableW(L"CvnMixedCase", nullptr);
    SetEnvironmentVariableW(L"CVN_WIDE_VALUE", nullptr);
    EXPECT_EQ(expanded("${CvnMixedCase}"), "${CvnMixedCase}");
}

TEST(ProcessVariables, ProvidersSupplyTheValuesOfOtherParts) {
    EXPECT_EQ(expanded("[${launcher:sys.jvmHome}][%LUMBRA_TEMPDIR%]"), "[][]");

    int temporaryBaseCalls = 0;
    files::setRuntimeHomeProvider([] { return std::string("C:\\jre\\bin\\.."); });
    files::setExtractionDirectory("C:\\T\\lmb1.tmp_dir9");
    files::setTemporaryBaseProviders(
        [&] {
            ++temporaryBaseCalls;
            return std::string("C:\\Base");
        },
        [&] {
            ++temporaryBaseCalls;
            return std::wstring(L"C:\\Base\u4e2d");
        });
    EXPECT_EQ(expanded("${launcher:sys.jvmHome};${CORVANE_TEMPDIR};${launcher:sys.tempDir}"),
              "C:\\jre\\bin\\..;C:\\T\\lmb1.tmp_dir9;C:\\Base");
    EXPECT_EQ(expanded(L"${launcher:sys.tempDir}", ExpansionMode::Unicode), L"C:\\Base\u4e2d");
    expanded(L"no reference", ExpansionMode::AnsiSafe);
    EXPECT_EQ(temporaryBaseCalls, 3);

    // A narrow path from a provider gives its directory, made full and folded.
    files::setExecutableNarrowPathProvider([] { return std::string("C:\\a\\\\b\\setup.exe"); });
    EXPECT_EQ(expanded("%LUMBRA_EXEDIR%"), "C:\\a\\b\\");
    files::setExecutableNarrowPathProvider(nullptr);

    files::setRuntimeHomeProvider(nullptr);
    files::clearExtractionDirectory();
    files::setTemporaryBaseProviders(nullptr, nullptr);
    // Without providers the temporary base is the launcher's own.
    EXPECT_EQ(expanded("${launcher:sys.tempDir}"), files::temporaryBaseNarrow());
}
