#include <gtest/gtest.h>

#include <algorithm>

#include "files/variable_expansion.h"
#include "log_capture.h"

using files::ExpansionMode;

namespace {

// Fixed values; narrow text holds bytes of an ANSI code page, wide text code units.
class FakeSource : public files::ExpansionSource {
public:
    std::string exeNarrow = "C:\\Apps\\Setup\\";
    std::wstring exeWide = L"C:\\Apps\\Set\u00fcp \u4e2d\\";
    std::string extraction = "C:\\Temp\\lmb1.tmp_dir42";
    std::string home;
    std::string tempNarrow = "C:\\Temp";
    std::wstring tempWide = L"C:\\Temp\u4e2d";
    std::vector<std::string> environment;
    int temporaryBaseCalls = 0;

    std::string executableDirectoryNarrow() override { return exeNarrow; }
    std::wstring executableDirectoryWide() override { return exeWide; }
    std::string extractionDirectory() override { return extraction; }
    std::string runtimeHome() override { return home; }
    std::string temporaryBaseNarrow() override {
        ++temporaryBaseCalls;
        return tempNarrow;
    }
    std::wstring temporaryBaseWide() override {
        ++temporaryBaseCalls;
        return tempWide;
    }
    std::vector<std::string> environmentNarrow() override { return environment; }
    std::vector<std::wstring> environmentWide() override {
        std::vector<std::wstring> wide;
        for (const auto& entry : environment) wide.push_back(files::widenBytes(entry));
        return wide;
    }
};

std::string narrow(std::string text, FakeSource& source) {
    files::expandNarrow(text, source);
    return text;
}

std::wstring wide(std::wstring text, ExpansionMode mode, FakeSource& source) {
    files::expandWide(text, mode, source);
    return text;
}

}  // namespace

TEST(VariableExpansion, EveryFixedVariableHasItsValue) {
    FakeSource source;
    source.home = "C:\\jre\\bin\\..";
    const std::string exe = source.exeNarrow;
    const std::string tmp = source.extraction;
    for (const char* prefix : {"LUMBRA", "CORVANE"}) {
        const std::string p = prefix;
        EXPECT_EQ(narrow("%" + p + "_EXEDIR%", source), exe);
        EXPECT_EQ(narrow("${" + p + "_EXEDIR}", source), exe);
        EXPECT_EQ(narrow("%" + p + "_TEMPDIR%", source), tmp);
        EXPECT_EQ(narrow("${" + p + "_TEMPDIR}", source), tmp);
        EXPECT_EQ(narrow("%" + p + "_PATHLIST_SEPARATOR%", source), ";");
        EXPECT_EQ(narrow("${" + p + "_PATHLIST_SEPARATOR}", source), ";");
        EXPECT_EQ(narrow("%" + p + "_JVM_HOME%", source), source.home);
        EXPECT_EQ(narrow("${" + p + "_JVM_HOME}", source), source.home);
    }
    EXPECT_EQ(narrow("${launcher:sys.launcherDirectory}", source), exe);
    EXPECT_EQ(narrow("${launcher:sys.launcherTempDirectory}", source), tmp);
    EXPECT_EQ(narrow("${launcher:sys.pathlistSeparator}", source), ";");
    EXPECT_EQ(narrow("${launcher:sys.jvmHome}", source), source.home);
    EXPECT_EQ(narrow("${launcher:sys.tempDir}", source), "C:\\Temp");
    // Names are case-sensitive, and a variable without a value stays as written.
    EXPECT_EQ(narrow("%corvane_exedir% ${NO_SUCH_VAR} ${launcher:sys.other}", source),
              "%corvane_exedir% ${NO_SUCH_VAR} ${launcher:sys.other}");
}

TEST(VariableExpansion, DirectoryValuesJoinAsWritten) {
    FakeSource source;
    EXPECT_EQ(narrow("%CORVANE_EXEDIR%lib\\app.jar", source), "C:\\Apps\\Setup\\lib\\app.jar");
    // The directory already ends in a backslash; a second one is passed on.
    EXPECT_EQ(narrow("%CORVANE_EXEDIR%\\lib", source), "C:\\Apps\\Setup\\\\lib");
    EXPECT_EQ(narrow("a%LUMBRA_PATHLIST_SEPARATOR%b${CORVANE_PATHLIST_SEPARATOR}c", source), "a;b;c");
    // Before a runtime is loaded its home is empty.
    EXPECT_EQ(narrow("[${launcher:sys.jvmHome}]", source), "[]");
}

TEST(VariableExpansion, TheTemporaryBaseIsComputedOnEveryCall) {
    FakeSource source;
    narrow("no references", source);
    std::wstring text = L"none";
    files::expandWide(text, ExpansionMode::Unicode, source);
    files::expandWide(text, ExpansionMode::AnsiSafe, source);
    EXPECT_EQ(source.temporaryBaseCalls, 3);
}

TEST(VariableExpansion, WideModesChooseBetweenNarrowAndLongValues) {
    FakeSource source;
    source.exeNarrow = "C:\\APPS~1\\\xE9t\xE9\\";  // ANSI bytes of a narrow path
    source.environment = {"CVN_A=\xE4"};
    EXPECT_EQ(wide(L"${launcher:sys.launcherDirectory}", ExpansionMode::AnsiSafe, source),
              L"C:\\APPS~1\\\u00e9t\u00e9\\");
    EXPECT_EQ(wide(L"${launcher:sys.launcherDirectory}", ExpansionMode::Unicode, source), source.exeWide);
    EXPECT_EQ(wide(L"${launcher:sys.tempDir}", ExpansionMode::AnsiSafe, source), L"C:\\Temp");
    EXPECT_EQ(wide(L"${launcher:sys.tempDir}", ExpansionMode::Unicode, source), source.tempWide);
    // Extraction directory and runtime home are narrow in both modes.
    EXPECT_EQ(wide(L"%LUMBRA_TEMPDIR%", ExpansionMode::Unicode, source), L"C:\\Temp\\lmb1.tmp_dir42");
    EXPECT_EQ(wide(L"${CVN_A}", ExpansionMode::Unicode, source), L"\u00e4");
}

TEST(VariableExpansion, EnvironmentNamesMatchExactlyOrInUpperCase) {
    FakeSource source;
    source.environment = {"Path=C:\\Windows", "noequals", "=C:=C:\\dir", "EMPTY="};
    EXPECT_EQ(narrow("${Path}|${PATH}|${path}", source), "C:\\Windows|C:\\Windows|${path}");
    EXPECT_EQ(wide(L"${Path}|${PATH}|${path}", ExpansionMode::AnsiSafe, source), L"C:\\Windows|C:\\Windows|${path}");
    // The per-drive entries of Windows are named "=C:"; they give "${}" no value.
    EXPECT_EQ(narrow("${}|${=C:}|${EMPTY}|${noequals}", source), "${}|C:\\dir||${noequals}");

    // An entry written in lower case matches only its own spelling and the upper case.
    source.environment = {"path=low"};
    EXPECT_EQ(narrow("${Path}|${PATH}|${path}", source), "${Path}|low|low");
}

TEST(VariableExpansion, ValuesHoldingTheirOwnNameDoNotLoop) {
    FakeSource source;
    source.environment = {"Path=x${PATH}y", "SELF=${SELF}${SELF}"};
    // Each pass continues behind what it inserted, but the upper-case pass is a pass of its
    // own and sees what the exact-name pass inserted.
    EXPECT_EQ(narrow("${Path}", source), "xx${PATH}yy");
    EXPECT_EQ(narrow("${PATH}", source), "x${PATH}y");
    EXPECT_EQ(narrow("${SELF}", source), "${SELF}${SELF}");
    EXPECT_EQ(wide(L"a${SELF}b${SELF}c", ExpansionMode::Unicode, source), L"a${SELF}${SELF}b${SELF}${SELF}c");
}

TEST(VariableExpansion, LaterPassesSeeEarlierValues) {
    FakeSource source;
    // The environment block comes after the fixed variables, in block order.
    source.environment = {"FIRST=${SECOND}/%LUMBRA_EXEDIR%", "SECOND=2"};
    EXPECT_EQ(narrow("${FIRST}", source), "2/%LUMBRA_EXEDIR%");
    source.environment = {"SECOND=2", "FIRST=${SECOND}"};
    EXPECT_EQ(narrow("${FIRST}", source), "${SECOND}");
    // A fixed value that holds a later fixed name is expanded by that later pass.
    source.exeNarrow = "%CORVANE_TEMPDIR%\\";
    EXPECT_EQ(narrow("%LUMBRA_EXEDIR%", source), source.extraction + "\\");
}

TEST(VariableExpansion, EachHitIsLogged) {
    FakeSource source;
    source.environment = {"CVN_LOGGED=v"};
    narrow("${CVN_LOGGED}${CVN_LOGGED}", source);
    wide(L"%LUMBRA_PATHLIST_SEPARATOR%", ExpansionMode::AnsiSafe, source);
    const auto lines = capturedLogLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), L"expanding2 ${CVN_LOGGED} to v."), 2);
    EXPECT_NE(std::find(lines.begin(), lines.end(), L"expanding2 %LUMBRA_PATHLIST_SEPARATOR% to ;."), lines.end());
}

TEST(VariableExpansion, InsertionsStopAtTheSizeLimit) {
    // Entries such as "A=${B}${B}", "B=${C}${C}", ... would double the text with every entry.
    FakeSource source;
    const size_t third = files::kMaxExpandedLength / 3 + 1;
    source.environment = {"BIG=" + std::string(third, 'x')};
    std::string text = "${BIG}${BIG}${BIG}${BIG}";
    files::expandNarrow(text, source);
    EXPECT_LE(text.size(), files::kMaxExpandedLength);
    EXPECT_EQ(text.size(), 2 * third + 12);
    EXPECT_EQ(text.substr(text.size() - 12), "${BIG}${BIG}");

    // A limit given by the caller bounds the same way, wide texts too.
    source.environment = {"B=12345678"};
    std::wstring small = L"${B}${B}${B}";
    files::expandWide(small, ExpansionMode::Unicode, source, 20);
    EXPECT_EQ(small, L"1234567812345678${B}");
}
