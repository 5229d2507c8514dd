// A branded media file as Windows sees it: the version block through the version API, icon 1001
// through LoadImageW, the manifest resource, the system's checksum, and a run to the Java side.
#include <gtest/gtest.h>

#include "harness.h"

#include <imagehlp.h>

#include "base/text.h"
#include "jvm_record.h"
#include "mediatool/test_support.h"

using namespace e2e;

namespace {

constexpr uint8_t kAuthorSeed = 2;

media::Branding authorsBranding(const TempFolder& folder) {
    const std::vector<uint8_t> icon = media_test::iconFile({16, 32, 48}, kAuthorSeed);
    writeFileBytes(folder.file(L"author.ico"), std::string(icon.begin(), icon.end()));
    media::Branding branding;
    branding.iconPath = base::wideToUtf8(folder.file(L"author.ico"));
    media::VersionBranding version;
    version.fileVersion = {3, 1, 4, 1592};
    version.productVersion = {3, 1, 0, 0};
    version.strings = {{"CompanyName", "Halvern"}, {"FileDescription", "Halvern Demo Setup"},
                       {"FileVersion", "3.1.4.1592"}, {"ProductName", "Halvern Demo \xE2\x9C\x93"}};
    branding.version = version;
    branding.executionLevel = "requireAdministrator";
    return branding;
}

std::wstring versionString(const std::vector<char>& block, const wchar_t* key) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + key;
    if (!VerQueryValueW(block.data(), path.c_str(), &value, &length) || !value) return L"<none>";
    return static_cast<const wchar_t*>(value);
}

std::string manifestOf(HMODULE module) {
    const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST);
    if (!found) return {};
    const auto* bytes = static_cast<const char*>(LockResource(LoadResource(module, found)));
    return std::string(bytes, SizeofResource(module, found));
}

// The pixels (BGRA, top row first) of a 32 x 32 icon as the system draws it.
std::vector<uint32_t> iconPixels(HICON icon) {
    ICONINFO info = {};
    if (!GetIconInfo(icon, &info)) return {};
    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = 32;
    format.bmiHeader.biHeight = -32;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    std::vector<uint32_t> pixels(32 * 32);
    const HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, info.hbmColor, 0, 32, pixels.data(), &format, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return rows == 32 ? pixels : std::vector<uint32_t>{};
}

class BrandedMedia : public ::testing::Test {
protected:
    std::wstring build(bool branded, const std::wstring& name, const std::string& javaOptions = "") {
        media::MediaDescription description;
        description.config[107] = "1";
        description.config[122] = "com.example.Main";
        description.config[2001] = "i";  // an installer: the natives are registered
        description.config[123] =
            "\"-Dstandin.record=" + base::wideToNarrow(folder.file(L"record.txt")) + "\" " + javaOptions;
        description.files.push_back({"cvnruntime.jar", {"", "jar"}});
        if (branded) description.branding = authorsBranding(folder);
        return buildMedia(folder, description, name);
    }

    TempFolder folder;
    TempFolder temp;
};

TEST_F(BrandedMedia, TheVersionApiReadsTheAuthorsVersionBlock) {
    const std::wstring media = build(true, L"setup.exe");
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(media.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(media.c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, (3u << 16) | 1u);
    EXPECT_EQ(fixed->dwFileVersionLS, (4u << 16) | 1592u);
    EXPECT_EQ(fixed->dwProductVersionMS, (3u << 16) | 1u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);
    EXPECT_EQ(versionString(block, L"ProductName"), L"Halvern Demo \u2713");
    EXPECT_EQ(versionString(block, L"CompanyName"), L"Halvern");
    EXPECT_EQ(versionString(block, L"FileDescription"), L"Halvern Demo Setup");
    EXPECT_EQ(versionString(block, L"FileVersion"), L"3.1.4.1592");
}

TEST_F(BrandedMedia, IconManifestAndChecksumAreTheAuthorsAndAnUnbrandedFileKeepsTheLaunchers) {
    const std::wstring branded = build(true, L"setup.exe");
    const std::wstring plain = build(false, L"plain.exe");
    for (const std::wstring& media : {branded, plain}) {
        const bool isBranded = media == branded;
        const HMODULE module = LoadLibraryExW(media.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module, nullptr);
        const std::string manifest = manifestOf(module);
        EXPECT_NE(manifest.find(isBranded ? "level=\"requireAdministrator\"" : "level=\"asInvoker\""), std::string::npos)
            << manifest;
        EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);

        const auto icon = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(1001), IMAGE_ICON, 32, 32, 0));
        ASSERT_NE(icon, nullptr);
        const std::vector<uint32_t> pixels = iconPixels(icon);
        DestroyIcon(icon);
        FreeLibrary(module);
        ASSERT_EQ(pixels.size(), 32u * 32u);
        int authors = 0;
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) authors += pixels[y * 32 + x] == media_test::iconPixel(32, x, y, kAuthorSeed) ? 1 : 0;
        }
        EXPECT_EQ(authors, isBranded ? 32 * 32 : 0);
    }
    DWORD stored = 0;
    DWORD computed = 0;
    ASSERT_EQ(MapFileAndCheckSumW(branded.c_str(), &stored, &computed), CHECKSUM_SUCCESS);
    EXPECT_EQ(stored, computed);
}

// Under Wine every process is an administrator's, so asking for elevation starts it as usual.
// Its Java side compares it with an older build of the same installer (3.1.4.1592 against
// 3.1.4.99, the same launcher inside): the first is the newer one.
TEST_F(BrandedMedia, RunsToTheJavaSideWhichOrdersBrandedFilesByTheAuthorsVersions) {
    const std::wstring older = folder.file(L"older.exe");
    const std::wstring media =
        build(true, L"setup.exe",
              "-Dstandin.scenario=call:com/corvane/runtime/installer/platform/win32/FileVersion.compare0"
              "(Ljava/lang/String;Ljava/lang/String;)I \"-Dstandin.arg=" + base::wideToNarrow(folder.file(L"setup.exe")) +
                  "\" \"-Dstandin.arg=" + base::wideToNarrow(older) + "\"");
    media::MediaDescription previous;
    previous.config[107] = "1";
    previous.config[122] = "com.example.Main";
    previous.files.push_back({"cvnruntime.jar", {"", "jar"}});
    previous.branding = authorsBranding(folder);
    previous.branding->version->fileVersion = {3, 1, 4, 99};
    ASSERT_EQ(buildMedia(folder, previous, L"older.exe"), older);

    const Finished run = runToEnd(media, {{}, {}, temp.path()});
    EXPECT_EQ(run.exitCode, 0u) << run.error;
    const stand_in::JvmRecord java = stand_in::JvmRecord::read(folder.file(L"record.txt"));
    EXPECT_EQ(java.outcome(), (stand_in::JvmRecord::Line{"returned"}));
    EXPECT_EQ(java.firstFields("result"), std::vector<std::string>{"1"}) << readFileBytes(folder.file(L"record.txt"));
}

}  // namespace
