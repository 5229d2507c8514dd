// Runs the mediatool binary as a user would: exit codes, output streams, files left behind.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>

#include "mediatool/media_writer.h"
#include "test_support.h"

namespace {

using media_test::readBytes;
using media_test::ScratchFolder;

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string quoted(const std::string& argument) {
    std::string result = "'";
    for (const char c : argument) result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return result + "'";
}

std::string readText(const std::string& path) {
    const std::vector<uint8_t> bytes = readBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

class MediatoolCli : public ::testing::Test {
protected:
    ToolRun mediatool(const std::vector<std::string>& arguments) {
        std::string command = quoted(MEDIATOOL_PATH);
        for (const std::string& argument : arguments) command += " " + quoted(argument);
        command += " >" + quoted(streams.file("out")) + " 2>" + quoted(streams.file("err"));
        const int status = std::system(command.c_str());
        ToolRun run;
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.out = readText(streams.file("out"));
        run.err = readText(streams.file("err"));
        return run;
    }

    // Failures are one "mediatool: " line on stderr and exit code 1.
    void expectFailure(const ToolRun& run, const std::string& expected) {
        EXPECT_EQ(run.exitCode, 1) << run.err;
        EXPECT_EQ(run.err.rfind("mediatool: ", 0), 0u) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_NE(run.err.find(expected), std::string::npos) << run.err;
    }

    void SetUp() override { media_test::writeBytes(templatePath, media_test::PeTemplate::bytes()); }

    ScratchFolder streams;
    ScratchFolder work;
    std::string templatePath = work.file("launcher.exe");
};

// The example as ./demo builds it: its runtime folder is laid out beside the examples.
TEST_F(MediatoolCli, TheExampleBuildsInspectsVerifiesAndExtracts) {
    std::filesystem::copy(EXAMPLES_DIR, work.path() / "examples", std::filesystem::copy_options::recursive);
    const std::filesystem::path runtime = work.path() / "build" / "demo" / "runtime";
    std::filesystem::create_directories(runtime / "bin" / "server");
    // A runtime of the template's machine.
    const std::vector<uint8_t> program = readBytes(media_test::resourceTemplatePath());
    media_test::writeBytes(media_test::utf8(runtime / "bin" / "java.exe"), program);
    media_test::writeBytes(media_test::utf8(runtime / "bin" / "server" / "jvm.dll"), program);

    const std::string output = work.file("demo.exe");
    const std::string description = work.file("examples/installer.json");
    // The example brands its installer: the template needs the launcher's resources.
    templatePath = media_test::resourceTemplatePath();
    ToolRun run = mediatool({"build", description, "-o", output, "--template", templatePath});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    // Reproducible: a second build gives the same bytes.
    ASSERT_EQ(mediatool({"build", description, "-o", work.file("again.exe"), "--template", templatePath}).exitCode, 0);
    EXPECT_EQ(readBytes(work.file("again.exe")), readBytes(output));

    run = mediatool({"inspect", output});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const nlohmann::json report = nlohmann::json::parse(run.out);
    EXPECT_EQ(report["branding"]["strings"]["ProductName"], "Halvern Demo");
    EXPECT_EQ(report["branding"]["executionLevel"], "highestAvailable");
    EXPECT_EQ(report["magic"], 0xE8E413D5u);
    EXPECT_EQ(report["checkFlag"], 1);
    EXPECT_EQ(report["expectedChecksum"], report["computedChecksum"]);
    EXPECT_EQ(report["checksumOk"], true);
    EXPECT_EQ(report["config"]["2003"], "cvnruntime.jar;cvnparams.conf;user\\readme.txt;jre.tar.gz");
    EXPECT_EQ(report["config"]["122"], "com.halvern.demo.InstallerMain");
    EXPECT_EQ(report["configNames"]["122"], "mainClass");
    EXPECT_EQ(report["configNames"]["151"], "jreUnpackedSize");
    EXPECT_EQ(report["messages"]["20007"], "Preparing the Halvern Demo installer...");
    ASSERT_EQ(report["languages"].size(), 2u);
    EXPECT_EQ(report["languages"][1]["messages"]["20007"], "Préparation de l'installation...");
    ASSERT_EQ(report["files"].size(), 4u);
    const auto size = [](const std::string& path) { return static_cast<int64_t>(readBytes(path).size()); };
    EXPECT_EQ(report["files"][0]["size"], size(EXAMPLES_DIR "/files/cvnruntime.jar"));
    EXPECT_EQ(report["trailingSize"], size(EXAMPLES_DIR "/files/trailing.dat"));
    EXPECT_EQ(report["unextractedPosition"].get<int64_t>() + report["trailingSize"].get<int64_t>(),
              size(output));

    run = mediatool({"verify", output});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("intact"), std::string::npos) << run.out;

    run = mediatool({"extract", output, work.file("extracted")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(readBytes(work.file("extracted/user/readme.txt")), readBytes(EXAMPLES_DIR "/files/user/readme.txt"));
    EXPECT_EQ(readBytes(work.file("extracted/cvnparams.conf")), readBytes(EXAMPLES_DIR "/files/cvnparams.conf"));
}

TEST_F(MediatoolCli, VerifyFailsOnDamageButNotOnASignatureAfterThePayload) {
    const std::string output = work.file("setup.exe");
    media::MediaDescription description;
    description.files = {{"a.txt", {"", "content"}}};
    media::writeMediaFile(templatePath, description, output);
    std::vector<uint8_t> bytes = readBytes(output);

    bytes.insert(bytes.end(), 64, 0xEE);
    media_test::writeBytes(output, bytes);
    EXPECT_EQ(mediatool({"verify", output}).exitCode, 0);

    bytes[bytes.size() - 64 - 3] ^= 0x40;
    media_test::writeBytes(output, bytes);
    expectFailure(mediatool({"verify", output}), "checksum mismatch");
    expectFailure(mediatool({"extract", output, work.file("x")}), "damaged");
    EXPECT_FALSE(std::filesystem::exists(work.path() / "x"));

    const ToolRun inspect = mediatool({"inspect", output});
    EXPECT_EQ(inspect.exitCode, 0) << inspect.err;
    EXPECT_EQ(nlohmann::json::parse(inspect.out)["checksumOk"], false);

    expectFailure(mediatool({"verify", templatePath}), "no payload");
    expectFailure(mediatool({"inspect", work.file("missing.exe")}), "cannot open");
}

TEST_F(MediatoolCli, BuildFailuresLeaveNoOutput) {
    media_test::writeText(work.file("bad.json"), R"({ "config": { "101": "a", "0101": "b" } })");
    media_test::writeText(work.file("good.json"), R"({ "files": [ { "name": "a.txt", "text": "a" } ] })");
    media_test::writeText(work.file("notpe.exe"), "MZ but nothing else");
    const std::string output = work.file("out.exe");

    expectFailure(mediatool({"build", work.file("bad.json"), "-o", output, "--template", templatePath}),
                  "same id as \"101\"");
    expectFailure(mediatool({"build", work.file("good.json"), "-o", output, "--template", work.file("notpe.exe")}),
                  "not a PE image");
    expectFailure(mediatool({"build", work.file("missing.json"), "-o", output, "--template", templatePath}),
                  "cannot open description");
    // No launcher.exe lies beside the test build's mediatool.
    if (!std::filesystem::exists(std::filesystem::path(MEDIATOOL_PATH).parent_path() / "launcher.exe")) {
        expectFailure(mediatool({"build", work.file("good.json"), "-o", output}), "--template");
    }
    EXPECT_EQ(work.listing(), (std::vector<std::string>{"bad.json", "good.json", "launcher.exe", "notpe.exe"}));
}

// Shipped, mediatool lies beside launcher.exe and launcher64.exe; --arch picks one of them.
TEST_F(MediatoolCli, ArchPicksTheLauncherBesideTheToolAndTemplateWins) {
    ScratchFolder shipped;
    const std::string tool = shipped.file("mediatool");
    std::filesystem::copy_file(MEDIATOOL_PATH, tool);
    std::vector<uint8_t> launcher64 = media_test::PeTemplate::bytes();
    launcher64[0x40] = '6';  // in the DOS stub: tells the copies apart
    media_test::writeBytes(shipped.file("launcher.exe"), media_test::PeTemplate::bytes());
    const std::string description = work.file("good.json");
    media_test::writeText(description, R"({ "files": [ { "name": "a.txt", "text": "a" } ] })");
    const auto templateOf = [&](const std::vector<std::string>& options) {
        std::vector<std::string> arguments{"build", description, "-o", work.file("out.exe")};
        arguments.insert(arguments.end(), options.begin(), options.end());
        std::string command = quoted(tool);
        for (const std::string& argument : arguments) command += " " + quoted(argument);
        const int status = std::system((command + " 2>" + quoted(streams.file("err"))).c_str());
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            return "exit " + std::to_string(WEXITSTATUS(status)) + ": " + readText(streams.file("err"));
        return std::string(readBytes(work.file("out.exe"))[0x40] == '6' ? "launcher64.exe" : "launcher.exe");
    };
    // Without launcher64.exe beside the tool the x64 build names what is missing.
    const std::string missing = templateOf({"--arch", "x64"});
    EXPECT_EQ(missing.rfind("exit 1: ", 0), 0u) << missing;
    EXPECT_NE(missing.find("launcher64.exe does not exist"), std::string::npos) << missing;

    media_test::writeBytes(shipped.file("launcher64.exe"), launcher64);
    EXPECT_EQ(templateOf({}), "launcher.exe");
    EXPECT_EQ(templateOf({"--arch", "x86"}), "launcher.exe");
    EXPECT_EQ(templateOf({"--arch", "x64"}), "launcher64.exe");
    EXPECT_EQ(templateOf({"--template", templatePath, "--arch", "x64"}), "launcher.exe");
    EXPECT_EQ(templateOf({"--arch", "x64", "--template", templatePath}), "launcher.exe");
    const std::string unknown = templateOf({"--arch", "arm64"});
    EXPECT_EQ(unknown.rfind("exit 2: mediatool: --arch is x86 or x64, not arm64", 0), 0u) << unknown;
}

// Above 64 MB a build shows its percentage, but only where a person watches standard error.
TEST_F(MediatoolCli, ProgressOfALargeBuildOnlyOnATerminal) {
    media_test::writeText(work.file("large.bin"), "");
    std::filesystem::resize_file(work.path() / "large.bin", 65 * 1024 * 1024);
    media_test::writeText(work.file("large.json"), R"({ "files": [ { "name": "large.bin", "source": "large.bin" } ] })");
    const std::vector<std::string> build = {"build", work.file("large.json"), "-o", work.file("large.exe"), "--template",
                                            templatePath};
    ToolRun run = mediatool(build);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");

    if (std::system("command -v script >/dev/null") != 0) GTEST_SKIP() << "no script(1) for a terminal";
    std::string command = quoted(MEDIATOOL_PATH);
    for (const std::string& argument : build) command += " " + ::quoted(argument);
    const std::string terminal = "script -qec " + ::quoted(command) + " /dev/null >" + ::quoted(streams.file("tty"));
    ASSERT_EQ(std::system(terminal.c_str()), 0);
    const std::string shown = readText(streams.file("tty"));
    EXPECT_NE(shown.find("mediatool: writing 100%"), std::string::npos) << shown;
    EXPECT_NE(shown.find("mediatool: writing  50%"), std::string::npos) << shown;
}

// Interrupted while it writes, a build removes its temporary file on the way out.
TEST_F(MediatoolCli, AnInterruptedBuildLeavesNothingBehind) {
    media_test::writeText(work.file("huge.bin"), "");
    std::filesystem::resize_file(work.path() / "huge.bin", 4LL * 1024 * 1024 * 1024);
    media_test::writeText(work.file("huge.json"), R"({ "files": [ { "name": "huge.bin", "source": "huge.bin" } ] })");
    const std::vector<std::string> before = work.listing();
    const std::string command = ::quoted(MEDIATOOL_PATH) + " build " + ::quoted(work.file("huge.json")) + " -o " +
                                ::quoted(work.file("huge.exe")) + " --template " + ::quoted(templatePath) +
                                " 2>/dev/null & pid=$!; for i in $(seq 400); do ls " + ::quoted(work.path().string()) +
                                " | grep -q tmp- && break; sleep 0.05; done; kill -INT $pid; wait $pid; echo $? >" +
                                ::quoted(streams.file("status"));
    ASSERT_EQ(std::system(("bash -c " + ::quoted(command)).c_str()), 0);
    EXPECT_EQ(readText(streams.file("status")), "130\n");
    EXPECT_EQ(work.listing(), before);
}

TEST_F(MediatoolCli, WrongUsageShowsTheUsageAndExitsWithTwo) {
    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {}, {"frobnicate"}, {"build", "a.json"}, {"build", "-o", "x.exe"}, {"build", "a.json", "-o"},
             {"build", "a.json", "-o", "x", "--bogus"}, {"inspect"}, {"verify", "a", "b"}, {"extract", "a"}}) {
        const ToolRun run = mediatool(arguments);
        EXPECT_EQ(run.exitCode, 2) << ::testing::PrintToString(arguments);
        EXPECT_NE(run.err.find("usage: mediatool build"), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
    const ToolRun help = mediatool({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("usage:"), std::string::npos);
}

// Escaping names are covered by the library tests; a planted link needs a POSIX file system.
TEST_F(MediatoolCli, ExtractionRefusesToWriteThroughALinkInTheTarget) {
    const std::string output = work.file("setup.exe");
    media::MediaDescription viaLink;
    viaLink.files = {{"user\\planted.txt", {"", "x"}}};
    media::writeMediaFile(templatePath, viaLink, output);
    ScratchFolder elsewhere;
    std::filesystem::create_directory(work.path() / "into");
    std::filesystem::create_directory_symlink(elsewhere.path(), work.path() / "into" / "user");
    expectFailure(mediatool({"extract", output, work.file("into")}), "link");
    EXPECT_TRUE(elsewhere.listing().empty());
}

}  // namespace

namespace {

// Independent readers of a branded media file: icoutils lists and extracts its icon (the same
// pixels as the author's file) and version block; osslsigncode signs it, and the signed file
// still verifies.
TEST_F(MediatoolCli, OtherToolsReadTheBrandingAndASignatureKeepsItIntact) {
    if (std::system("command -v wrestool icotool osslsigncode openssl >/dev/null") != 0) {
        GTEST_SKIP() << "icoutils, osslsigncode or openssl missing (tools/install-packages.sh)";
    }
    const std::string icon = EXAMPLES_DIR "/files/installer.ico";
    media_test::writeText(work.file("branded.json"), R"({ "files": [ { "name": "a.txt", "text": "a" } ],
      "branding": { "icon": ")" + icon + R"(", "executionLevel": "highestAvailable",
                    "version": { "fileVersion": "7.6.5.4", "productName": "Halvern Demo" } } })");
    const std::string output = work.file("setup.exe");
    ASSERT_EQ(mediatool({"build", work.file("branded.json"), "-o", output, "--template",
                         media_test::resourceTemplatePath()}).exitCode, 0);
    const auto shell = [&](const std::string& command) {
        return std::system(("cd " + quoted(work.path().string()) + " && " + command).c_str());
    };
    ASSERT_EQ(shell("wrestool -l setup.exe >list.txt"), 0);
    const std::string listing = readText(work.file("list.txt"));
    EXPECT_NE(listing.find("--type=14 --name=1001"), std::string::npos) << listing;
    ASSERT_EQ(shell("wrestool -x --type=14 --name=1001 setup.exe >extracted.ico && mkdir in out && "
                    "icotool -x -o in " + quoted(icon) + " && icotool -x -o out extracted.ico"), 0);
    std::vector<std::string> images;
    for (const auto& entry : std::filesystem::directory_iterator(work.path() / "in")) images.push_back(entry.path().filename());
    EXPECT_EQ(images.size(), 4u);
    for (const std::string& image : images) {
        const std::string extracted = "extracted" + image.substr(image.find('_'));
        EXPECT_EQ(readBytes(work.file("in/" + image)), readBytes(work.file("out/" + extracted))) << image;
    }
    ASSERT_EQ(shell("wrestool -x --raw --type=16 --name=1 setup.exe >version.bin"), 0);
    const std::vector<uint8_t> version = readBytes(work.file("version.bin"));
    const std::vector<uint8_t> fixed = {0xBD, 0x04, 0xEF, 0xFE, 0, 0, 1, 0, 6, 0, 7, 0, 4, 0, 5, 0};
    EXPECT_NE(std::search(version.begin(), version.end(), fixed.begin(), fixed.end()), version.end());
    const std::string name("H\0a\0l\0v\0e\0r\0n\0 \0D\0e\0m\0o\0\0\0", 26);  // UTF-16LE with its NUL
    EXPECT_NE(std::search(version.begin(), version.end(), name.begin(), name.end()), version.end());

    ASSERT_EQ(shell("openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 "
                    "-subj /CN=Halvern -addext extendedKeyUsage=codeSigning 2>/dev/null && "
                    "osslsigncode sign -certs cert.pem -key key.pem -n Halvern -in setup.exe -out signed.exe >/dev/null && "
                    "osslsigncode verify -CAfile cert.pem signed.exe >verify.txt 2>&1"), 0)
        << readText(work.file("verify.txt"));
    EXPECT_NE(readText(work.file("verify.txt")).find("Signature verification: ok"), std::string::npos);
    const ToolRun verify = mediatool({"verify", work.file("signed.exe")});
    EXPECT_EQ(verify.exitCode, 0) << verify.err;
    const nlohmann::json report = nlohmann::json::parse(mediatool({"inspect", work.file("signed.exe")}).out);
    EXPECT_EQ(report["branding"]["executionLevel"], "highestAvailable");
    EXPECT_EQ(report["branding"]["strings"]["ProductName"], "Halvern Demo");
    EXPECT_EQ(report["branding"]["icon"].size(), 4u);
}

}  // namespace
