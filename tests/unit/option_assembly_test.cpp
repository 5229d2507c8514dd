// The virtual machine's option list over an in-memory system: VM options files and their
// directives, configured and version-specific options, class and module path, "-Xss", and
// the argument array of main.
#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

#include "base/text.h"
#include "launch/main_call.h"
#include "launch/option_assembly.h"
#include "log_capture.h"
#include "services/tables.h"

using launch::OptionSink;

namespace {

struct Failure : std::runtime_error {
    Failure(int message, std::string argument)
        : std::runtime_error("fail"), message(message), argument(std::move(argument)) {}
    int message;
    std::string argument;
};

class FakeSystem final : public launch::AssemblyServices, public launch::MainCallServices {
public:
    std::map<std::wstring, std::string> files;
    std::map<std::string, std::vector<std::string>> listings;  // "dir|pattern" -> names
    std::map<std::string, std::string> environment;
    std::vector<std::string> existing;
    std::wstring executable = L"C:\\app\\setup.exe";
    std::wstring module = L"C:\\app\\setup.exe";

    // "$X" in a text stands for "expanded".
    void expand(std::wstring& text, files::ExpansionMode) override { replace(text, L"%X%", L"expanded"); }
    void expandNarrow(std::string& text) override {
        const size_t at = text.find("%X%");
        if (at != std::string::npos) text.replace(at, 3, "expanded");
    }
    std::string toAnsi(std::wstring_view text) override { return base::wideToNarrow(text); }
    std::optional<std::string> readFile(const std::wstring& path) override {
        const auto found = files.find(path);
        if (found == files.end()) return std::nullopt;
        return found->second;
    }
    std::wstring fullPath(const std::wstring& path) override { return path; }
    std::wstring executableLongDirectory() override { return L"C:\\app"; }
    std::string resolveNarrow(const std::string& path) override {
        return path.size() > 1 && path[1] == ':' ? path : "C:\\app\\" + path;
    }
    bool pathExists(const std::string& path) override {
        return std::find(existing.begin(), existing.end(), path) != existing.end();
    }
    std::vector<std::string> listFiles(const std::string& directory, const char* pattern) override {
        return listings[directory + "|" + pattern];
    }
    std::optional<std::string> environmentValue(const std::string& name) override {
        const auto found = environment.find(name);
        if (found == environment.end()) return std::nullopt;
        return found->second;
    }
    std::wstring executableLongPath() override { return executable; }
    std::wstring moduleFileName() override { return module; }
    void expandArgumentFiles(std::vector<std::string>& options) override {
        for (auto it = options.begin(); it != options.end(); ++it) {
            if (*it == "@opts.txt") {
                *it = "--add-modules";
                options.insert(it + 1, "from.file");
                return;
            }
        }
    }
    [[noreturn]] void fail(int message, const std::string& argument) override { throw Failure(message, argument); }

    void* nativesModule() override { return nullptr; }
    launch::RegisterNativesExFunction findRegisterNativesEx(void*) override { return nullptr; }
    launch::ReportFunction errorReporter() override { return nullptr; }
    std::optional<std::wstring> winDelExecutable() override { return module; }
    std::string canonicalExecutablePath() override { return "c:\\app\\setup.exe"; }
    void expandUnicode(std::wstring& text) override { expand(text, files::ExpansionMode::Unicode); }
    std::wstring canonicalKeepCase(const std::wstring& path) override {
        return path.size() > 1 && path[1] == L':' ? path : L"C:\\app\\" + path;
    }
    [[noreturn]] void fail(int message) override { throw Failure(message, {}); }

private:
    static void replace(std::wstring& text, std::wstring_view from, std::wstring_view to) {
        const size_t at = text.find(from);
        if (at != std::wstring::npos) text.replace(at, from.size(), to);
    }
};

class Options : public ::testing::Test {
protected:
    void SetUp() override { services::setConfigTable({}); }
    void TearDown() override { services::setConfigTable({}); }

    OptionSink read(const std::string& content, const std::optional<std::wstring>& base = std::nullopt) {
        OptionSink sink;
        launch::readVmOptionsText(content, base, sink, system);
        return sink;
    }
    std::vector<std::string> assemble(launch::AssemblyInputs inputs = {}) {
        if (inputs.extractionDirectory.empty()) inputs.extractionDirectory = "C:\\tmp\\x";
        return launch::assembleJvmOptions(inputs, system);
    }
    FakeSystem system;
};

using Strings = std::vector<std::string>;

TEST_F(Options, FileLinesAreWholeOptionsWithoutCommentsOrBlanks) {
    const OptionSink sink = read("   # indented comment\n\n-Xmx512m   \r\n\t-Dfoo=a b\n-classpath\n-Dx=%X%\n");
    EXPECT_EQ(sink.options, (Strings{"-Xmx512m", "-Dfoo=a b", "-classpath", "-Dx=expanded"}));
    EXPECT_FALSE(sink.classpathOverride);
    // An end-of-file mark ends the text, as in any text file.
    EXPECT_EQ(read("-Da\r\n\x1a").options, (Strings{"-Da"}));
    EXPECT_EQ(read("-Da\r\n-Db\x1a-Dc\n").options, (Strings{"-Da", "-Db"}));
}

TEST_F(Options, ClasspathDirectivesReplaceEarlierOnes) {
    const OptionSink sink = read("-classpath/a one\n-classpath/a two\n-classpath/p pre\n-classpath all\n");
    EXPECT_EQ(sink.classpathSuffix, "two");
    EXPECT_EQ(sink.classpathPrefix, "pre");
    EXPECT_EQ(sink.classpathOverride, "all");
    EXPECT_TRUE(sink.options.empty());
}

TEST_F(Options, IncludesResolveAgainstTheIncludingFileOrTheExecutable) {
    system.files[L"C:\\app\\conf\\sub.vmoptions"] = "-Dfrom=conf\n";
    system.files[L"C:\\app\\sub.vmoptions"] = "-Dfrom=app\n";
    EXPECT_EQ(read("-include-options sub.vmoptions\n", L"C:\\app\\conf\\main.vmoptions").options,
              (Strings{"-Dfrom=conf"}));
    EXPECT_EQ(read("-include-options sub.vmoptions\n").options, (Strings{"-Dfrom=app"}));
    EXPECT_EQ(read("-include-options C:\\app\\conf\\\\sub.vmoptions\n").options, (Strings{"-Dfrom=conf"}));

    LogSince log;
    EXPECT_TRUE(read("-include-options missing.vmoptions\n").options.empty());
    EXPECT_TRUE(log.has(L"adding vmoptions from (0) <C:\\app\\missing.vmoptions> (missing.vmoptions)"));
}

TEST_F(Options, AFileIncludingItselfStopsAtTheNestingBound) {
    system.files[L"C:\\app\\loop.vmoptions"] = "-Dloop\n-include-options loop.vmoptions\n";
    LogSince log;
    const OptionSink sink = read("-include-options loop.vmoptions\n");
    EXPECT_EQ(sink.options.size(), static_cast<size_t>(launch::kMaxIncludeDepth));
    EXPECT_TRUE(log.hasPrefix(L"ERROR: vmoptions nested deeper than"));

    // Two includes of itself would be 2^16 reads within that bound.
    system.files[L"C:\\app\\loop.vmoptions"] = "-Dloop\n-include-options loop.vmoptions\n-include-options loop.vmoptions\n";
    const OptionSink many = read("-include-options loop.vmoptions\n");
    EXPECT_EQ(many.options.size(), static_cast<size_t>(launch::kMaxIncludedFiles));
    EXPECT_TRUE(log.hasPrefix(L"ERROR: more than 64 vmoptions files included"));
}

TEST_F(Options, ConfiguredStringsAreTokensAndIncludeTakesTheNextToken) {
    system.files[L"C:\\app\\extra.vmoptions"] = "-Dextra\n";
    OptionSink sink;
    launch::addOptionString(L"-Xmx1g \"-Dname=a b\" -include-options extra.vmoptions --add-opens "
                            L"java.base/java.lang=ALL-UNNAMED -include-options",
                            sink, system);
    EXPECT_EQ(sink.options, (Strings{"-Xmx1g", "-Dname=a b", "-Dextra", "--add-opens", "java.base/java.lang=ALL-UNNAMED",
                                     "-include-options"}));
    launch::joinModuleOptions(sink.options);
    EXPECT_EQ(sink.options[3], "--add-opens=java.base/java.lang=ALL-UNNAMED");
    EXPECT_EQ(sink.options.size(), 5u);
}

TEST_F(Options, VersionConditions) {
    for (const char* version : {"9", "10.0.1", "11.0.2", "1.9.0"}) EXPECT_TRUE(launch::matchesVersionCondition("9-11", version)) << version;
    EXPECT_FALSE(launch::matchesVersionCondition("9-11", "1.8.0_301"));
    EXPECT_FALSE(launch::matchesVersionCondition("8-", "1.8.0"));
    EXPECT_TRUE(launch::matchesVersionCondition("*11.0.*", "11.0.2"));
    EXPECT_FALSE(launch::matchesVersionCondition("*11.0.*", "11.1.0"));
    EXPECT_TRUE(launch::matchesVersionCondition("**", "17.0.2"));
    EXPECT_FALSE(launch::matchesVersionCondition("*", "17.0.2"));
    EXPECT_TRUE(launch::matchesVersionCondition("*1?.0.2", "17.0.2"));
    LogSince log;
    EXPECT_FALSE(launch::matchesVersionCondition("17", "17"));
    EXPECT_TRUE(log.has(L"ERROR: expected dash"));
    EXPECT_EQ(launch::versionMajor("1.8.0_301"), 8);
    EXPECT_EQ(launch::versionMajor("1"), 1);
    EXPECT_EQ(launch::versionMajor(""), -1);
}

TEST_F(Options, OnlyTheFirstMatchingVersionLineCounts) {
    services::setConfigTable({{123, "-Dconfigured"}, {10200, "3"}, {10201, "1-8"}, {10202, "-Dold"},
                           {10203, "11-17"}, {10204, "-Dfirst -Dboth"}, {10205, "*17*"}, {10206, "-Dsecond"}});
    OptionSink sink;
    launch::addConfiguredOptions(sink, system, std::string("17.0.2"));
    EXPECT_EQ(sink.options, (Strings{"-Dconfigured", "-Dfirst", "-Dboth"}));

    OptionSink withoutRuntime;
    launch::addConfiguredOptions(withoutRuntime, system, std::nullopt);
    EXPECT_EQ(withoutRuntime.options, (Strings{"-Dconfigured"}));

    // An absurd line count reads no further than the table goes; a sparse table keeps its lines.
    services::setConfigTable({{10200, "2000000000"}});
    OptionSink absurd;
    launch::addConfiguredOptions(absurd, system, std::string("17"));
    EXPECT_TRUE(absurd.options.empty());
    services::setConfigTable({{10200, "9"}, {10215, "17-17"}, {10216, "-Dsparse"}, {10217, "1-99"}});
    OptionSink sparse;
    launch::addConfiguredOptions(sparse, system, std::string("17"));
    EXPECT_EQ(sparse.options, (Strings{"-Dsparse"}));
    services::setConfigTable({{10200, "7"}, {10215, "17-17"}, {10216, "-Dbeyond"}});
    OptionSink beyond;
    launch::addConfiguredOptions(beyond, system, std::string("17"));
    EXPECT_TRUE(beyond.options.empty());
}

TEST_F(Options, StackSizes) {
    EXPECT_EQ(launch::parseStackSize("512k"), 524288);
    EXPECT_EQ(launch::parseStackSize("2M"), 2097152);
    EXPECT_EQ(launch::parseStackSize("1t"), int64_t{1} << 40);
    EXPECT_EQ(launch::parseStackSize("0"), 0);
    EXPECT_FALSE(launch::parseStackSize("abc"));
    EXPECT_FALSE(launch::parseStackSize("1kk"));
    EXPECT_FALSE(launch::parseStackSize("1x"));
    EXPECT_FALSE(launch::parseStackSize("99999999999999999999"));
    EXPECT_EQ(launch::stackReservation({"-Xss512k"}), 524288u);
    EXPECT_EQ(launch::stackReservation({"-Xss1k"}), 65536u);
    EXPECT_EQ(launch::stackReservation({"-Xss2m", "-Xss0", "-Xssabc"}), 2097152u);
    EXPECT_EQ(launch::stackReservation({"-Xmx1g"}), 0u);
}

TEST_F(Options, WithoutConfigurationTheClassPathHoldsTheExtractedJars) {
    system.listings["C:\\tmp\\x|*.jar"] = {"a.jar", "b.jar"};
    system.listings["C:\\tmp\\x|*.zip"] = {"c.zip"};
    LogSince log;
    const Strings options = assemble({.properties = {"-Dlumbra.tempDir=C:\\tmp\\x"}});
    EXPECT_EQ(options, (Strings{"-Dlumbra.tempDir=C:\\tmp\\x",
                                "-Djava.class.path=C:\\tmp\\x\\a.jar;C:\\tmp\\x\\b.jar;C:\\tmp\\x\\c.zip"}));
    EXPECT_TRUE(log.has(L"vmoption count 2"));
    EXPECT_TRUE(log.has(L"vmoption 1: -Djava.class.path=C:\\tmp\\x\\a.jar;C:\\tmp\\x\\b.jar;C:\\tmp\\x\\c.zip"));
    EXPECT_EQ(assemble(), (Strings{"-Djava.class.path=C:\\tmp\\x\\a.jar;C:\\tmp\\x\\b.jar;C:\\tmp\\x\\c.zip"}));
    system.listings.clear();
    EXPECT_EQ(assemble(), (Strings{"-Djava.class.path="}));
}

TEST_F(Options, ClasspathEntriesPrefixOverrideAndSuffix) {
    system.environment["LIBS"] = "\"D:\\libs\\x.jar\"";
    system.listings["C:\\app\\lib|*.jar"] = {"l.jar"};
    system.existing = {"C:\\app\\lib"};
    services::setConfigTable(
        {{121, "A0first.jar;x;S1lib;E0LIBS;E0UNSET;D0%X%"}, {123, "\"-classpath/p P\" \"-classpath/a S\""}});
    EXPECT_EQ(assemble().back(),
              "-Djava.class.path=P;C:\\app\\first.jar;C:\\app\\lib\\l.jar;D:\\libs\\x.jar;C:\\app\\expanded;S");

    const std::string longValue = "D:\\" + std::string(7000, 'l') + ".jar";
    system.environment["LONG"] = longValue;
    services::setConfigTable({{121, "E1LONG"}});
    EXPECT_TRUE(assemble().back() == "-Djava.class.path=" + longValue);

    services::setConfigTable({{123, "\"-classpath/a S\""}});
    EXPECT_EQ(assemble().back(), "-Djava.class.path=;S");
    services::setConfigTable({{121, "A0x.jar"}, {123, "\"-classpath C:\\only\""}});
    EXPECT_EQ(assemble().back(), "-Djava.class.path=C:\\only");
}

TEST_F(Options, MissingRequiredEntriesEndTheLaunch) {
    services::setConfigTable({{121, "A1missing.jar"}});
    try {
        assemble();
        FAIL() << "no failure";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.message, 1006);
        EXPECT_EQ(failure.argument, "missing.jar");
    }
    services::setConfigTable({{121, "E1NOT_SET"}});
    try {
        assemble();
        FAIL() << "no failure";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.message, 1008);
        EXPECT_EQ(failure.argument, "NOT_SET");
    }
    system.environment["EMPTY"] = "";
    services::setConfigTable({{121, "E1EMPTY"}});
    EXPECT_THROW(assemble(), Failure);
}

TEST_F(Options, ModularApplicationsOpenTheirPackageToTheRuntime) {
    system.listings["C:\\tmp\\x|*.jar"] = {"app.jar"};
    services::setConfigTable({{133, "1"}, {122, "app.mod/com.example.Main"}});
    EXPECT_EQ(assemble({.installerKind = true}),
              (Strings{"-Djava.class.path=", "--module-path=C:\\tmp\\x\\app.jar",
                       "--add-opens=app.mod/com.example=com.corvane.runtime",
                       "--add-modules=app.mod,com.corvane.runtime"}));

    // Without a modular application the extracted jars still join a configured module path.
    services::setConfigTable({{132, "D0mods"}});
    EXPECT_EQ(assemble({.installerKind = true}),
              (Strings{"-Djava.class.path=", "--module-path=C:\\app\\mods;C:\\tmp\\x\\app.jar",
                       "--add-modules=com.corvane.runtime"}));
    EXPECT_EQ(assemble().back(), "--add-modules=com.lumbra.runtime");
}

TEST_F(Options, ArgumentFilesAreExpandedAndJoinedAgainAndEmptyOptionsDropped) {
    services::setConfigTable({{123, "@opts.txt \"\""}});
    const Strings options = assemble();
    EXPECT_EQ(options, (Strings{"--add-modules=from.file", "-Djava.class.path="}));
}

TEST_F(Options, LocaleJavaArgumentsAndTheDefaultFileComeInOrder) {
    system.files[L"C:\\app\\setup.exe.vmoptions"] = "-Dfrom=default\n";
    services::setConfigTable({{166, "1"}, {125, "1"}, {123, "-Dconfigured"}});
    launch::AssemblyInputs inputs;
    inputs.arguments = {L"setup.exe", L"-J-Xmx1g", L"-Dsun.locale.formatasdefault=false", L"file.txt"};
    inputs.language = "de";
    inputs.country = "CH";
    LogSince log;
    EXPECT_EQ(assemble(inputs), (Strings{"-Dconfigured", "-Dsun.locale.formatasdefault=false", "-Duser.language=de",
                                          "-Duser.country=CH", "-Dfrom=default", "-Xmx1g", "-Djava.class.path="}));
    EXPECT_TRUE(log.has(L"vmoptions2: exe C:\\app\\setup.exe file: C:\\app\\setup.vmoptions, file: 0"));
    EXPECT_TRUE(log.has(L"vmoptions: opts2: C:\\app\\setup.exe.vmoptions, file: 1"));
    EXPECT_TRUE(log.has(L"default vmoptions file: 1"));

    // "setup.vmoptions" comes first; "true" adds no language or country.
    system.files[L"C:\\app\\setup.vmoptions"] = "-Dfrom=first\n";
    inputs.arguments = {L"setup.exe", L"-Dsun.locale.formatasdefault=true"};
    EXPECT_EQ(assemble(inputs), (Strings{"-Dconfigured", "-Dsun.locale.formatasdefault=true", "-Dfrom=first",
                                          "-Djava.class.path="}));
}

// The system may report the module by another form of its path (a short one): the default file
// is looked for under that name too, once the long path found none.
TEST_F(Options, TheDefaultFileIsLookedForAgainUnderTheModuleName) {
    services::setConfigTable({{166, "1"}});
    system.executable = L"C:\\Long Folder\\setup.exe";
    system.module = L"C:\\LONGFO~1\\SETUP.EXE";
    system.files[L"C:\\LONGFO~1\\SETUP.EXE.vmoptions"] = "-Dfrom=module\n";
    LogSince log;
    EXPECT_EQ(assemble(), (Strings{"-Dfrom=module", "-Djava.class.path="}));
    EXPECT_TRUE(log.inOrder(L"vmoptions: opts2: C:\\Long Folder\\setup.exe.vmoptions, file: 0",
                            L"vmoptions2: exe C:\\LONGFO~1\\SETUP.EXE file: C:\\LONGFO~1\\SETUP.vmoptions, file: 0"));
    EXPECT_TRUE(log.has(L"vmoptions: opts2: C:\\LONGFO~1\\SETUP.EXE.vmoptions, file: 1"));

    system.files[L"C:\\Long Folder\\setup.exe.vmoptions"] = "-Dfrom=long\n";
    EXPECT_EQ(assemble(), (Strings{"-Dfrom=long", "-Djava.class.path="}));
}

TEST_F(Options, LauncherSystemPropertiesInTheirOrder) {
    launch::PropertyInputs inputs;
    inputs.executableNarrowPath = "C:\\app\\setup.exe";
    inputs.extractionDirectory = "C:\\tmp\\x";
    inputs.unextractedPosition = 5000000000;
    EXPECT_EQ(launch::launcherSystemProperties(inputs),
              (Strings{"-Dlumbra.moduleName=C:\\app\\setup.exe", "-Dsun.java.command=C:\\app\\setup.exe",
                       "-Dlumbra.tempDir=C:\\tmp\\x", "-Dlumbra.unextractedPosition=5000000000",
                       "-Dlumbra.consoleCodepage=cp0"}));
    inputs.semaphoreName = "sem";
    inputs.manualJre = inputs.previousInstallationJre = inputs.installerKind = true;
    inputs.path = "C:\\bin";
    inputs.manpathSet = true;
    inputs.unextractedPosition = -1;
    EXPECT_EQ(launch::launcherSystemProperties(inputs),
              (Strings{"-Dlumbra.semaphoreName=sem", "-Dlumbra.manualJre=true", "-Dcvn.previousJdk=true",
                       "-Dlumbra.isCorvane=true", "-Dlumbra.moduleName=C:\\app\\setup.exe",
                       "-Dsun.java.command=C:\\app\\setup.exe", "-Dlumbra.tempDir=C:\\tmp\\x",
                       "-Dlumbra.unextractedPosition=-1", "-Djava.library.path=C:\\bin"}));
}

TEST_F(Options, MainArgumentsStartWithTheLauncherParameters) {
    services::setConfigTable({{102, "1"}, {103, "app_error.log"}, {104, "0"}, {106, "0"}, {107, "5"},
                           {122, "com.example.Main"}, {124, "--cfg \"two words\""}, {125, "1"}});
    const std::vector<std::wstring> arguments =
        launch::mainArguments({L"setup.exe", L"-J-Xmx1g", L"file.txt", L"-Dsun.locale.formatasdefault=true"}, system);
    EXPECT_EQ(arguments, (std::vector<std::wstring>{L"false", L"com.example.Main", L"C:\\app\\app_error.log", L"",
                                                     L"false", L"setup.exe", L"--cfg", L"two words", L"file.txt"}));

    services::setConfigTable({{102, "1"}, {103, "$HOME.log"}, {104, "1"}, {105, "%X%.log"}, {106, "1"}, {107, "1"},
                           {122, "app.mod/com.example.Main"}, {133, "1"}});
    EXPECT_EQ(launch::mainArguments({L"setup.exe", L"-J-Xmx1g"}, system),
              (std::vector<std::wstring>{L"true", L"/app.mod/com.example.Main", L"$HOME.log",
                                         L"C:\\app\\expanded.log", L"true", L"setup.exe", L"-J-Xmx1g"}));
}

TEST_F(Options, TheEntryClassFollowsTheLauncherKind) {
    services::setConfigTable({{2001, "i"}});
    EXPECT_EQ(launch::entryClassName(), "com/corvane/runtime/launcher/WinLauncher");
    services::setConfigTable({{2001, "e"}});
    EXPECT_EQ(launch::entryClassName(), "com/lumbra/runtime/WinLauncher");
}

}  // namespace
