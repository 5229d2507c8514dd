// What the Java side receives, end to end: VM options files beside the launcher, configured and
// version-specific options, "-J" arguments, argument files read by the runtime's jli.dll,
// required class-path entries, and how main's end becomes the launcher's exit code. The
// stand-in runtime records every option it was created with.
#include <gtest/gtest.h>

#include "harness.h"

#include <algorithm>

#include "base/text.h"
#include "jvm_record.h"
#include "stand_in_runtimes.h"

using namespace e2e;

namespace {

struct Launch {
    Finished run;
    stand_in::JvmRecord java;
};

class LaunchTest : public ::testing::Test {
protected:
    // A media file recording into the folder's "record.txt"; `options` follow the record option
    // in config id 123.
    std::wstring media(const std::string& options = "", std::map<int32_t, std::string> config = {}) {
        media::MediaDescription description;
        description.config[107] = "1";
        description.config[122] = "com.example.Main";
        description.config[2001] = "i";
        description.config[123] = "\"-Dstandin.record=" + base::wideToNarrow(record()) + "\" " + options;
        for (const auto& [id, value] : config) description.config[id] = value;
        description.files.push_back({"cvnruntime.jar", {"", std::string(3000, 'j')}});
        return buildMedia(folder, description);
    }
    std::wstring record() const { return folder.file(L"record.txt"); }
    Launch launch(const std::wstring& media, std::vector<std::wstring> arguments = {}, RunOptions options = {}) {
        DeleteFileW(record().c_str());
        options.arguments = std::move(arguments);
        options.temporaryFolder = temp.path();
        Launch result{runToEnd(media, options), {}};
        result.java = stand_in::JvmRecord::read(record());
        return result;
    }
    // The options after the launcher's own properties and the record option, before the class path.
    static std::vector<std::string> userOptions(const stand_in::JvmRecord& java) {
        std::vector<std::string> options = java.options();
        const auto first = std::find_if(options.begin(), options.end(),
                                        [](const std::string& o) { return o.rfind("-Dstandin.record=", 0) == 0; });
        std::vector<std::string> result(first == options.end() ? first : first + 1, options.end());
        result.erase(std::remove_if(result.begin(), result.end(),
                                    [](const std::string& o) { return o.rfind("-Djava.class.path=", 0) == 0; }),
                     result.end());
        return result;
    }

    TempFolder folder;
    TempFolder temp;
};

using Strings = std::vector<std::string>;

TEST_F(LaunchTest, TheDefaultVmOptionsFileAndItsIncludes) {
    const std::wstring setup = media("", {{166, "1"}});
    CreateDirectoryW(folder.file(L"conf").c_str(), nullptr);
    writeFileBytes(folder.file(L"setup.vmoptions"),
                   "   # an indented comment\r\n\r\n-Xmx512m   \r\n-Dfoo=a b\r\n-classpath/a first.jar\r\n"
                   "-classpath/a second.jar\r\n-include-options conf\\main.vmoptions\r\n");
    writeFileBytes(folder.file(L"conf\\main.vmoptions"), "-Dfrom=main\n-include-options sub.vmoptions\n");
    writeFileBytes(folder.file(L"conf\\sub.vmoptions"), "-Dfrom=sub\n");
    const Launch launch = this->launch(setup);
    ASSERT_EQ(launch.run.exitCode, 0u) << launch.run.error;
    EXPECT_EQ(userOptions(launch.java), (Strings{"-Xmx512m", "-Dfoo=a b", "-Dfrom=main", "-Dfrom=sub"}));
    const std::string classPath = launch.java.options().back();
    EXPECT_EQ(classPath.substr(classPath.size() - 11), ";second.jar") << classPath;
    EXPECT_EQ(classPath.find("first.jar"), std::string::npos);
}

TEST_F(LaunchTest, VersionConditionsAgainstTheLoadedRuntime) {
    // The stand-in reports 17.0.2.
    const struct {
        std::string condition;
        bool matches;
    } cases[] = {{"9-11", false}, {"17-17", true}, {"8-", false}, {"*17.0.*", true}, {"*11.0.*", false},
                 {"**", true}, {"*", false}};
    for (const auto& c : cases) {
        const Launch launch =
            this->launch(media("", {{10200, "1"}, {10201, c.condition}, {10202, "-Dmatched=yes"}}));
        ASSERT_EQ(launch.run.exitCode, 0u) << c.condition;
        EXPECT_EQ(userOptions(launch.java) == Strings{"-Dmatched=yes"}, c.matches) << c.condition;
    }
}

TEST_F(LaunchTest, JoinedModuleOptionsStackSizesAndJavaArguments) {
    const std::wstring setup = media("--add-opens java.base/java.lang=ALL-UNNAMED -Xss4m -Xss0 -Xssabc", {{125, "1"}});
    const Launch on = launch(setup, {L"-J-Dfrom=command", L"file.txt"});
    ASSERT_EQ(on.run.exitCode, 0u);
    EXPECT_EQ(userOptions(on.java), (Strings{"--add-opens=java.base/java.lang=ALL-UNNAMED", "-Xss4m", "-Xss0",
                                             "-Xssabc", "-Dfrom=command"}));
    EXPECT_TRUE(on.java.has({"stack", "4194304"}));
    EXPECT_EQ(on.java.mainArguments().back(), "file.txt");

    const Launch off = launch(media(""), {L"-J-Dfrom=command", L"file.txt"});
    ASSERT_EQ(off.run.exitCode, 0u);
    EXPECT_TRUE(userOptions(off.java).empty());
    const Strings arguments = off.java.mainArguments();
    EXPECT_EQ(Strings(arguments.end() - 2, arguments.end()), (Strings{"-J-Dfrom=command", "file.txt"}));
}

TEST_F(LaunchTest, ArgumentFilesAreReadByTheRuntimesJli) {
    writeFileBytes(folder.file(L"opts.txt"), "-Dfrom=file \"-Dquoted=a b\" # a comment\n--add-modules\nx.mod\n");
    const std::wstring setup = media("@" + base::wideToNarrow(folder.file(L"opts.txt")));
    const Launch withJli = launch(setup);
    ASSERT_EQ(withJli.run.exitCode, 0u) << withJli.run.error;
    EXPECT_EQ(userOptions(withJli.java), (Strings{"-Dfrom=file", "-Dquoted=a b", "--add-modules=x.mod"}));

    // A runtime without jli.dll gets the option as it stands.
    stand_in::RuntimeFolder runtimes;
    const auto runtime =
        stand_in::layOutRuntime(runtimes / L"nojli", stand_in::Shape::Bin, {}, stand_in::withJvm(L"server", false));
    RunOptions options;
    options.environment[L"LUMBRA_JAVA_HOME"] = runtime.root;
    const Launch withoutJli = launch(setup, {}, options);
    ASSERT_EQ(withoutJli.run.exitCode, 0u) << withoutJli.run.error;
    EXPECT_EQ(userOptions(withoutJli.java), (Strings{"@" + base::wideToNarrow(folder.file(L"opts.txt"))}));
}

TEST_F(LaunchTest, MissingRequiredClassPathEntriesEndTheRun) {
    Launch launch = this->launch(media("", {{121, "A1missing.jar"}}));
    EXPECT_EQ(launch.run.exitCode, 1u);
    ASSERT_TRUE(launch.run.box);
    EXPECT_NE(launch.run.box->text.find(L"missing.jar"), std::wstring::npos) << launch.run.box->text;

    RunOptions options;
    options.environment[L"NOT_SET_ANYWHERE"] = std::nullopt;
    launch = this->launch(media("", {{121, "E1NOT_SET_ANYWHERE"}}), {}, options);
    EXPECT_EQ(launch.run.exitCode, 1u);
    ASSERT_TRUE(launch.run.box);
    EXPECT_NE(launch.run.box->text.find(L"NOT_SET_ANYWHERE"), std::wstring::npos) << launch.run.box->text;
}

TEST_F(LaunchTest, SystemExitInMainIsTheLaunchersExitCode) {
    const Launch launch = this->launch(media("-Dstandin.scenario=exit:3"));
    EXPECT_EQ(launch.run.exitCode, 3u);
    EXPECT_EQ(launch.java.outcome(), (stand_in::JvmRecord::Line{"exit", "3"}));
}

}  // namespace
