// A runtime folder packed by the media writer: read back with the launcher's own tar reader,
// reproducible to the byte, and refused when the template could not load it.
#include "mediatool/runtime_archive.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>

#include "jre/archive/archive_files.h"
#include "mediatool/file_access.h"
#include "mediatool/media_report.h"
#include "mediatool/media_writer.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using media_test::readBytes;
using media_test::ScratchFolder;

constexpr uint16_t kX86 = 0x14C;
constexpr uint16_t kX64 = 0x8664;

// The test template with another machine in its PE header.
std::vector<uint8_t> peImage(uint16_t machine) {
    std::vector<uint8_t> image = media_test::PeTemplate::bytes();
    image[0x84] = machine & 0xFF;
    image[0x85] = machine >> 8;
    return image;
}

class RuntimeArchive : public ::testing::Test {
protected:
    void SetUp() override {
        media_test::writeBytes(templatePath, peImage(kX86));
        layRuntime(kX86);
    }

    void layRuntime(uint16_t jvmMachine) {
        fs::create_directories(runtime / "bin" / "server");
        fs::create_directories(runtime / "lib" / std::string(120, 'd'));
        media_test::writeBytes(media_test::utf8(runtime / "bin" / "java.exe"), peImage(kX86));
        media_test::writeBytes(media_test::utf8(runtime / "bin" / "server" / "jvm.dll"), peImage(jvmMachine));
        media_test::writeText(media_test::utf8(runtime / "lib" / std::string(120, 'd') / "modules"), std::string(70000, 'm'));
        media_test::writeText(media_test::utf8(runtime / "release"), "JAVA_VERSION=\"17\"\n");
        media_test::writeText(media_test::utf8(runtime / "empty"), "");
    }

    media::MediaDescription description() const {
        media::MediaDescription result = media::parseMediaDescription(
            R"({ "config": { "mainClass": "a.Main" }, "runtime": { "source": "jre" },
                 "files": [ { "name": "a.txt", "text": "A" } ] })",
            media_test::utf8(scratch.path()));
        return result;
    }

    // The error text of a build that must fail, after checking that it left nothing behind.
    std::string failure(const media::MediaDescription& described) {
        const std::vector<std::string> before = scratch.listing();
        try {
            media::writeMediaFile(templatePath, described, output);
        } catch (const media::MediaBuildError& error) {
            EXPECT_EQ(scratch.listing(), before);
            return error.what();
        }
        ADD_FAILURE() << "the build succeeded";
        return {};
    }

    ScratchFolder scratch;
    fs::path runtime = scratch.path() / "jre";
    std::string templatePath = scratch.file("launcher.exe");
    std::string output = scratch.file("setup.exe");
};

TEST_F(RuntimeArchive, TheLauncherUnpacksThePackedFolderAsItWas) {
    media::writeMediaFile(templatePath, description(), output);
    EXPECT_EQ(scratch.listing().size(), 12u) << "no temporary file is left";
    media::extractMediaFiles(output, scratch.file("extracted"));
    const media::MediaInspection inspection = media::inspectMediaFile(output);
    EXPECT_EQ(inspection.config.at(2003), "a.txt;jre.tar.gz");

    const std::string archive = scratch.file("extracted/jre.tar.gz");
    fs::create_directory(scratch.path() / "unpacked");
    const fs::path previous = fs::current_path();
    fs::current_path(scratch.path() / "unpacked");
    jre::GzipArchiveStream stream(archive);
    jre::CurrentDirectoryTarget target;
    const bool unpacked = jre::extractTarEntries(stream, target, {}, 1);
    fs::current_path(previous);
    ASSERT_TRUE(unpacked);

    for (const char* name : {"bin/java.exe", "bin/server/jvm.dll", "release", "empty"}) {
        EXPECT_EQ(readBytes(media_test::utf8(scratch.path() / "unpacked" / name)),
                  readBytes(media_test::utf8(runtime / name)))
            << name;
    }
    const fs::path longName = fs::path("lib") / std::string(120, 'd') / "modules";
    EXPECT_EQ(readBytes(media_test::utf8(scratch.path() / "unpacked" / longName)).size(), 70000u);
    // Config 151 is the archive's unpacked size, which the launcher's progress divides by.
    gzFile gz = gzopen(archive.c_str(), "rb");
    ASSERT_NE(gz, nullptr);
    std::vector<char> buffer(65536);
    int64_t size = 0;
    for (int got; (got = gzread(gz, buffer.data(), static_cast<unsigned>(buffer.size()))) > 0;) size += got;
    gzclose(gz);
    EXPECT_EQ(inspection.config.at(151), std::to_string(size));
}

TEST_F(RuntimeArchive, TheSameInputsGiveTheSameBytes) {
    media::MediaDescription described = description();
    described.trailing.content = "tail";
    media::writeMediaFile(templatePath, described, output);
    const std::vector<uint8_t> first = readBytes(output);
    // Times of the files play no part.
    fs::last_write_time(runtime / "release", fs::file_time_type::clock::now() - std::chrono::hours(50));
    media::writeMediaFile(templatePath, described, scratch.file("again.exe"));
    EXPECT_EQ(readBytes(scratch.file("again.exe")), first);
}

TEST_F(RuntimeArchive, AFolderTheTemplateCannotLoadIsRefusedByName) {
    fs::remove(runtime / "bin" / "java.exe");
    std::string error = failure(description());
    EXPECT_NE(error.find("runtime.source: "), std::string::npos) << error;
    EXPECT_NE(error.find("jre is not a Java runtime: it has no bin/java.exe"), std::string::npos) << error;

    layRuntime(kX64);
    error = failure(description());
    EXPECT_NE(error.find("its jvm.dll (bin/server/jvm.dll) is 64-bit (x64), but the template"), std::string::npos) << error;
    EXPECT_NE(error.find("is 32-bit (x86)"), std::string::npos) << error;

    // The 64-bit template takes it, and then refuses a 32-bit one.
    media_test::writeBytes(templatePath, peImage(kX64));
    media::writeMediaFile(templatePath, description(), output);
    layRuntime(kX86);
    error = failure(description());
    EXPECT_NE(error.find("is 32-bit (x86), but the template"), std::string::npos) << error;

    fs::remove(runtime / "bin" / "server" / "jvm.dll");
    EXPECT_NE(failure(description()).find("no jvm.dll in bin/client, bin/server"), std::string::npos);
    fs::remove_all(runtime);
    EXPECT_NE(failure(description()).find("runtime.source: no such folder: "), std::string::npos);
}

#ifndef _WIN32
TEST_F(RuntimeArchive, LinksAreRefusedRatherThanPacked) {
    fs::create_symlink("release", runtime / "lib" / "link");
    EXPECT_NE(failure(description()).find("lib/link is a link"), std::string::npos);
}
#endif

// An archive packed beforehand and given in "files" is checked the same way.
TEST_F(RuntimeArchive, ABundledArchiveOfTheOtherBitnessIsRefused) {
    const auto pack = [&](const std::string& name) {
        media::ScratchFile packed(media::nativePath(scratch.file("x")), "t");
        const auto sink = [&](const void* data, size_t size) { packed.write(data, size); };
        const int64_t unpacked = media::packRuntimeFolder(media_test::utf8(runtime), "runtime", sink);
        packed.close();
        fs::copy_file(packed.path(), scratch.path() / name);
        return unpacked;
    };
    const int64_t unpacked = pack("jre32.tar.gz");
    layRuntime(kX64);
    pack("jre64.tar.gz");
    const auto withArchive = [&](const std::string& source, const std::string& config = "{}") {
        return media::parseMediaDescription(R"({ "config": )" + config + R"(, "files": [ { "name": "a.txt", "text": "A" },
            { "name": "jre.tar.gz", "source": ")" + source + R"(" } ] })",
                                            media_test::utf8(scratch.path()));
    };
    // One of the template's bitness passes, with its unpacked size set unless given.
    media::writeMediaFile(templatePath, withArchive("jre32.tar.gz"), output);
    EXPECT_EQ(media::inspectMediaFile(output).config.at(151), std::to_string(unpacked));
    media::writeMediaFile(templatePath, withArchive("jre32.tar.gz", R"({ "jreUnpackedSize": 7 })"), output);
    EXPECT_EQ(media::inspectMediaFile(output).config.at(151), "7");
    fs::remove(output);

    const std::string error = failure(withArchive("jre64.tar.gz"));
    EXPECT_NE(error.find("files[1].source: "), std::string::npos) << error;
    EXPECT_NE(error.find("is 64-bit (x64), but the template"), std::string::npos) << error;
    EXPECT_NE(error.find("is 32-bit (x86)"), std::string::npos) << error;

    media_test::writeText(scratch.file("broken.tar.gz"), "not gzip at all");
    EXPECT_NE(failure(withArchive("broken.tar.gz")).find("cannot read the runtime archive"), std::string::npos);

    // The library builds it on request: the launcher's own refusal is tested with such files.
    media::MediaDescription unchecked = withArchive("jre64.tar.gz");
    unchecked.checkRuntimeMachine = false;
    media::writeMediaFile(templatePath, unchecked, output);
}

}  // namespace
