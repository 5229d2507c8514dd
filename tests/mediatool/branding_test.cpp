// Branding: the template's icon, version block and manifest rewritten before the payload. The
// payload must still be found, verified and extracted; an unbranded build must not change.
#include "mediatool/branding.h"

#include <gtest/gtest.h>

#include "media/byte_source.h"
#include "mediatool/file_access.h"
#include "mediatool/media_report.h"
#include "mediatool/media_writer.h"
#include "mediatool/pe_image.h"
#include "mediatool/resource_tree.h"
#include "test_support.h"

#ifdef _WIN32
#include <windows.h>
#include <imagehlp.h>
#endif

namespace {

using media_test::readBytes;
using media_test::writeBytes;

uint32_t field32(const std::vector<uint8_t>& bytes, size_t offset) {
    return bytes[offset] | (bytes[offset + 1] << 8) | (bytes[offset + 2] << 16) | (uint32_t{bytes[offset + 3]} << 24);
}

int64_t payloadStartOf(const std::vector<uint8_t>& bytes) {
    media::MemoryByteSource source(bytes);
    return media::findPayloadStart(source);
}

media::PeImage imageOf(const std::vector<uint8_t>& file) {
    return media::PeImage(std::vector<uint8_t>(file.begin(), file.begin() + payloadStartOf(file)), "image");
}

class Branding : public ::testing::Test {
protected:
    void SetUp() override {
        templatePath = media_test::resourceTemplatePath();
        ASSERT_TRUE(std::filesystem::exists(media::nativePath(templatePath))) << templatePath;
        writeBytes(scratch.file("author.ico"), media_test::iconFile({16, 32, 48}));
    }

    std::string build(const std::string& json, const std::string& name, const std::string& from = {}) {
        const std::string output = scratch.file(name);
        media::writeMediaFile(from.empty() ? templatePath : from, media::parseMediaDescription(json, utf8(scratch.path())),
                              output);
        return output;
    }
    static std::string utf8(const std::filesystem::path& path) { return media_test::utf8(path); }

    static constexpr const char* kBranded = R"({
      "files": [ { "name": "a.txt", "text": "first" }, { "name": "user/b.txt", "text": "second" } ],
      "branding": {
        "icon": "author.ico",
        "version": { "fileVersion": "2.5.0.17", "productVersion": "2.5.1.0", "productName": "Halvern Demo \u2713",
                     "companyName": "Halvern", "fileDescription": "Halvern Demo Setup",
                     "legalCopyright": "\u00a9 2025 Halvern", "originalFilename": "setup.exe", "comments": "\ud83d\ude00" },
        "executionLevel": "requireAdministrator" } })";

    media_test::ScratchFolder scratch;
    std::string templatePath;
};

TEST_F(Branding, TheImageCarriesTheAuthorsResourcesAndThePayloadIsReadAsBefore) {
    const std::string output = build(kBranded, "setup.exe");
    const std::vector<uint8_t> before = readBytes(templatePath);
    const std::vector<uint8_t> after = readBytes(output);

    const media::MediaInspection inspection = media::inspectMediaFile(output);
    EXPECT_TRUE(inspection.intact()) << inspection.problem;
    ASSERT_EQ(inspection.files.size(), 2u);
    media::extractMediaFiles(output, scratch.file("out"));
    EXPECT_EQ(readBytes(scratch.file("out/user/b.txt")), (std::vector<uint8_t>{'s', 'e', 'c', 'o', 'n', 'd'}));

    const media::BrandingReport& report = inspection.branding;
    EXPECT_EQ(report.problem, "");
    ASSERT_TRUE(report.version);
    EXPECT_EQ(report.version->fileVersion, (media::FourPartVersion{2, 5, 0, 17}));
    EXPECT_EQ(report.version->productVersion, (media::FourPartVersion{2, 5, 1, 0}));
    const std::vector<std::pair<std::u16string, std::u16string>> strings = {
        {u"Comments", u"\U0001F600"}, {u"CompanyName", u"Halvern"}, {u"FileDescription", u"Halvern Demo Setup"},
        {u"FileVersion", u"2.5.0.17"}, {u"LegalCopyright", u"\u00a9 2025 Halvern"},
        {u"OriginalFilename", u"setup.exe"}, {u"ProductName", u"Halvern Demo \u2713"}, {u"ProductVersion", u"2.5.1.0"}};
    EXPECT_EQ(report.version->strings, strings);
    EXPECT_EQ(report.executionLevel, "requireAdministrator");
    ASSERT_EQ(report.icon.size(), 3u);
    EXPECT_EQ(report.icon[2].width, 48);

    // Every section of the template is where it was, with its bytes; the resources follow as one
    // more section, which the payload follows.
    const media::PeImage old = imageOf(before);
    const media::PeImage branded = imageOf(after);
    ASSERT_EQ(branded.sections().size(), old.sections().size() + 1);
    for (const media::PeSection& section : old.sections()) {
        EXPECT_TRUE(std::equal(before.begin() + section.rawPointer, before.begin() + section.rawPointer + section.rawSize,
                               after.begin() + section.rawPointer))
            << section.name;
    }
    const media::PeSection& resources = branded.sections().back();
    EXPECT_EQ(resources.name, ".rsrc");
    EXPECT_EQ(branded.directory(media::PeImage::kResourceDirectory).rva, resources.virtualAddress);
    EXPECT_EQ(inspection.header.payloadStart, int64_t{resources.rawPointer} + resources.rawSize);

    // The icon's images are the file's, byte for byte; the manifest keeps what it had.
    const media::ResourceTable table = media::readResources(branded, "branded");
    const auto images = media::parseIconFile(readBytes(scratch.file("author.ico")), "icon");
    const auto group = media::readIconGroup(media::findResources(table, 14, 1001).front()->second.bytes, "group");
    ASSERT_EQ(group.size(), images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        EXPECT_EQ(media::findResources(table, 3, group[i].id).front()->second.bytes, images[i].data);
    }
    const auto& manifestBytes = media::findResources(table, 24, 1).front()->second.bytes;
    const std::string manifest(manifestBytes.begin(), manifestBytes.end());
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"), std::string::npos);
    EXPECT_NE(manifest.find("level=\"requireAdministrator\" uiAccess=\"false\""), std::string::npos) << manifest;
    EXPECT_EQ(media::findResources(table, 5, 103).size(), 1u);

#ifdef _WIN32
    // The system's own computation over the whole file, payload included.
    DWORD stored = 0;
    DWORD computed = 0;
    ASSERT_EQ(MapFileAndCheckSumW(media::nativePath(output).c_str(), &stored, &computed), CHECKSUM_SUCCESS);
    EXPECT_EQ(stored, computed);
#endif
    EXPECT_NE(field32(after, branded.checksumOffset()), field32(before, old.checksumOffset()));
}

TEST_F(Branding, WithoutItTheOutputIsTheTemplateFollowedByThePayload) {
    const std::string plain = build(R"({ "files": [ { "name": "a.txt", "text": "x" } ] })", "plain.exe");
    const std::string empty = build(R"({ "files": [ { "name": "a.txt", "text": "x" } ], "branding": {} })", "empty.exe");
    const std::vector<uint8_t> before = readBytes(templatePath);
    const std::vector<uint8_t> after = readBytes(plain);
    EXPECT_EQ(readBytes(empty), after);
    const int64_t imageEnd = payloadStartOf(before);
    ASSERT_GE(after.size(), static_cast<size_t>(imageEnd));
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + imageEnd, after.begin()));
    EXPECT_EQ(payloadStartOf(after), imageEnd);
}

// A branded media file used as the template is branded again in its own resource section, and
// the old icon's images do not linger.
TEST_F(Branding, BrandingABrandedFileReplacesItsResourceSection) {
    const std::string first = build(kBranded, "first.exe");
    writeBytes(scratch.file("second.ico"), media_test::iconFile({24}, 3));
    const std::string second = build(R"({ "branding": { "icon": "second.ico", "executionLevel": "asInvoker" } })",
                                      "second.exe", first);
    const media::PeImage once = imageOf(readBytes(first));
    const media::PeImage twice = imageOf(readBytes(second));
    EXPECT_EQ(twice.sections().size(), once.sections().size());
    const media::ResourceTable table = media::readResources(twice, "twice");
    size_t icons = 0;
    for (const auto& [key, data] : table) icons += key.type.id == 3 ? 1 : 0;
    EXPECT_EQ(icons, 1u);
    const media::BrandingReport report = media::readBranding(twice.bytes(), "twice");
    EXPECT_EQ(report.executionLevel, "asInvoker");
    ASSERT_EQ(report.icon.size(), 1u);
    EXPECT_EQ(report.icon[0].width, 24);
    ASSERT_TRUE(report.version);  // kept from the first branding
    EXPECT_EQ(report.version->fileVersion, (media::FourPartVersion{2, 5, 0, 17}));
    EXPECT_TRUE(media::inspectMediaFile(second).intact());
}

// A signature covers the template's bytes and lies after its last section, where the payload
// goes: its table entry must not survive to point into the payload.
TEST_F(Branding, ASignedTemplatesCertificateTableIsDropped) {
    std::vector<uint8_t> signedTemplate = readBytes(templatePath);
    const int64_t imageEnd = payloadStartOf(signedTemplate);
    signedTemplate.resize(static_cast<size_t>(imageEnd));
    const media::PeImage image(signedTemplate, "template");
    // The certificate entry is the fifth data directory: 8 bytes each, after the optional
    // header's fixed part (96 bytes in PE32, 112 in PE32+).
    const size_t optionalHeader = image.checksumOffset() - 64;
    const bool plus = signedTemplate[optionalHeader] == 0x0B && signedTemplate[optionalHeader + 1] == 0x02;
    const size_t certificate = optionalHeader + (plus ? 112 : 96) + 4 * 8;
    for (int i = 0; i < 4; ++i) {
        signedTemplate[certificate + i] = static_cast<uint8_t>(imageEnd >> (8 * i));
        signedTemplate[certificate + 4 + i] = i == 0 ? 16 : 0;
    }
    signedTemplate.insert(signedTemplate.end(), 16, 0x5A);
    writeBytes(scratch.file("signed.exe"), signedTemplate);

    for (const char* json : {R"({ "files": [ { "name": "a.txt", "text": "x" } ] })", kBranded}) {
        const std::vector<uint8_t> output = readBytes(build(json, "out.exe", scratch.file("signed.exe")));
        EXPECT_EQ(field32(output, certificate), 0u) << json;
        EXPECT_EQ(field32(output, certificate + 4), 0u) << json;
        EXPECT_TRUE(media::inspectMediaFile(scratch.file("out.exe")).intact()) << json;
#ifdef _WIN32
        DWORD stored = 0;
        DWORD computed = 0;
        ASSERT_EQ(MapFileAndCheckSumW(media::nativePath(scratch.file("out.exe")).c_str(), &stored, &computed),
                  CHECKSUM_SUCCESS);
        EXPECT_EQ(stored, computed) << json;
#endif
    }
}

TEST_F(Branding, BadInputIsRefusedNamingThePlaceAndWritesNothing) {
    std::vector<uint8_t> truncated = media_test::iconFile({16, 32});
    truncated.resize(truncated.size() - 100);
    std::vector<uint8_t> hugeCount = media_test::iconFile({16});
    hugeCount[4] = 0xFF;
    hugeCount[5] = 0xFF;
    std::vector<uint8_t> farOffset = media_test::iconFile({16});
    farOffset[6 + 12 + 3] = 0x7F;
    std::vector<uint8_t> notBitmap = media_test::iconFile({16});
    notBitmap[6 + 16] = 0x07;
    const std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    const std::pair<std::vector<uint8_t>, std::string> icons[] = {
        {{}, "branding.icon: the icon file is empty"},
        {png, "branding.icon: is a PNG image, not an .ico file"},
        {truncated, "branding.icon: damaged .ico file: image 2 (32x32) runs past the end of the file"},
        {hugeCount, "branding.icon: damaged .ico file: its directory of 65535 images runs past the end"},
        {farOffset, "branding.icon: damaged .ico file: image 1 (16x16) runs past the end of the file"},
        {notBitmap, "branding.icon: damaged .ico file: image 1 (16x16) is neither a bitmap nor a PNG"},
        {{0, 0, 1, 0, 0, 0}, "branding.icon: the icon file holds no images"},
    };
    writeBytes(scratch.file("bad.ico"), {});
    const std::vector<std::string> before = scratch.listing();
    const auto expectRefused = [&](const std::string& json, const std::string& expected) {
        try {
            build(json, "out.exe");
            ADD_FAILURE() << "built: " << json;
        } catch (const media::MediaBuildError& error) {
            EXPECT_NE(std::string(error.what()).find(expected), std::string::npos) << error.what();
        }
        EXPECT_EQ(scratch.listing(), before) << json;
    };
    for (const auto& [bytes, expected] : icons) {
        writeBytes(scratch.file("bad.ico"), bytes);
        expectRefused(R"({ "branding": { "icon": "bad.ico" } })", expected);
    }
    expectRefused(R"({ "branding": { "icon": "missing.ico" } })", "branding.icon: no such file");
    for (const char* version : {"1.2.3", "1.2.3.65536", "1.2.3.4.5", "1.-2.3.4", "1.2..4", " 1.2.3.4", "v1.2.3.4"}) {
        expectRefused(std::string(R"({ "branding": { "version": { "fileVersion": ")") + version + "\" } } }",
                      "branding.version.fileVersion: \"" + std::string(version) + "\" is not a version a.b.c.d");
    }
    expectRefused(R"({ "branding": { "version": { "fileVersion": "1.0.0.0", "productVersion": "1.0" } } })",
                  "branding.version.productVersion");
    expectRefused(R"({ "branding": { "version": { "productName": "x" } } })", "branding.version: \"fileVersion\" is missing");
    expectRefused(R"({ "branding": { "version": { "fileVersion": "1.0.0.0", "product": "x" } } })",
                  "branding.version.product: unknown key");
    expectRefused(R"({ "branding": { "executionLevel": "requireAdmin" } })",
                  "branding.executionLevel: \"requireAdmin\" is none of asInvoker, highestAvailable, requireAdministrator");
    expectRefused(R"({ "branding": { "version": { "fileVersion": "1.0.0.0", "comments": ")" + std::string(20000, 'c') +
                      R"(", "productName": ")" + std::string(20000, 'p') + "\" } } }",
                  "branding.version: the texts are too long for the version block (65535 bytes in all); the longest is ProductName");
}

// Damaged resource directories of a template are refused by name, never followed.
TEST_F(Branding, ADamagedResourceDirectoryIsRefused) {
    std::vector<uint8_t> bytes = readBytes(templatePath);
    bytes.resize(static_cast<size_t>(payloadStartOf(bytes)));
    const media::PeImage image(bytes, "template");
    const media::PeSection* section = image.sectionAt(image.directory(media::PeImage::kResourceDirectory).rva);
    ASSERT_NE(section, nullptr);
    const size_t root = section->rawPointer;
    // The first type entry points back at the root table.
    std::vector<uint8_t> loop = bytes;
    const uint32_t selfReference = 0x80000000u;
    for (int i = 0; i < 4; ++i) loop[root + 16 + 4 + i] = static_cast<uint8_t>(selfReference >> (8 * i));
    EXPECT_NE(media::readBranding(loop, "template").problem.find("a table is reached twice"), std::string::npos);
    // The root table claims more entries than the section holds.
    std::vector<uint8_t> many = bytes;
    many[root + 14] = 0xFF;
    many[root + 15] = 0xFF;
    EXPECT_NE(media::readBranding(many, "template").problem.find("truncated"), std::string::npos);
}

}  // namespace
