// Libraries planted beside the installer under the names of system libraries the launcher uses:
// a full run (the dark startup dialog of Windows 11, a native that reads file versions) loads
// none of them through its own code and calls none of their functions. ctest starts this
// program with WINEDLLOVERRIDES "n,b" for these names, so that Wine looks beside the installer
// first as Windows does. Some of Wine's own libraries import or delay-load others that Windows'
// do not (its user32 imports version.dll and delay-loads uxtheme.dll); Wine's +module trace
// names the importer, which tells those loads from the launcher's; whether the launcher took a
// function from a planted library shows in the library's own record of calls.
#include <gtest/gtest.h>

#include "base/text.h"
#include "harness.h"
#include "jvm_record.h"

using namespace e2e;

namespace {

const wchar_t* const kPlanted[] = {L"version", L"uxtheme", L"dwmapi",  L"winhttp",  L"wininet",
                                   L"netapi32", L"userenv", L"comctl32", L"cryptbase"};

// Loaded by Wine's own libraries, not by the launcher: seen in Wine's +loaddll,+module trace
// ("No implementation for version.dll.GetFileVersionInfoSizeW imported from ...\\user32.dll",
// and user32's delay-load hook for uxtheme.dll), with libraries that Windows' do not have.
bool loadedByWineItself(const std::wstring& name) { return name == L"version" || name == L"uxtheme"; }

void plantBeside(const TempFolder& folder) {
    for (const wchar_t* name : kPlanted)
        ASSERT_TRUE(CopyFileW((binDirectory() + L"\\planted_library.dll").c_str(),
                              folder.file(std::wstring(name) + L".dll").c_str(), FALSE));
}

}  // namespace

TEST(PlantedLibraries, TheLauncherLoadsAndCallsNoneOfThem) {
    const Windows11Version windows11;

    TempFolder folder;
    TempFolder temp;
    media::MediaDescription description;
    description.config[107] = "1";
    description.config[122] = "com.example.Main";
    description.config[2001] = "i";
    description.config[10013] = "2";  // always dark
    const std::string self = base::wideToNarrow(folder.file(L"setup.exe"));
    const std::wstring record = folder.file(L"record.txt");
    description.config[123] = "\"-Dstandin.record=" + base::wideToNarrow(record) + "\" "
        "-Dstandin.scenario=call:com/corvane/runtime/installer/platform/win32/FileVersion.compare0"
        "(Ljava/lang/String;Ljava/lang/String;)I \"-Dstandin.arg=" + self + "\" \"-Dstandin.arg=" + self +
        "\" -Dstandin.scenario=window:500";
    description.files.push_back({"cvnruntime.jar", {"", "jar"}});
    const std::wstring media = buildMedia(folder, description);
    plantBeside(folder);

    const Finished run = runToEnd(media, {{}, {{L"LUMBRA_LOG", L"yes"}}, temp.path()});
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_FALSE(run.box.has_value());
    bool darkDialog = false;
    for (const std::wstring& log : launcherLogs(temp.path())) darkDialog |= log.find(L"Dark mode: 1 1") != std::wstring::npos;
    EXPECT_TRUE(darkDialog) << "the startup dialog did not take the dark-mode functions";
    // The launcher's own version block, read through the system's version.dll: equal.
    EXPECT_EQ(stand_in::JvmRecord::read(record).firstFields("result"), std::vector<std::string>{"0"});

    for (const wchar_t* name : kPlanted) {
        const std::wstring planted = folder.file(std::wstring(name) + L".dll");
        EXPECT_FALSE(exists(planted + L".called"))
            << base::wideToUtf8(name) << ": " << readFileBytes(planted + L".called");
        if (exists(planted + L".loaded")) {
            EXPECT_TRUE(loadedByWineItself(name)) << base::wideToUtf8(name) << ".dll was loaded";
        }
    }
}

// The earliest failure, a launcher without payload, shows its message box before anything else
// ran: the search is restricted by then, so the box's theming finds only the system's library.
TEST(PlantedLibraries, TheEarliestMessageBoxLoadsNoneOfThem) {
    TempFolder folder;
    TempFolder temp;
    const std::wstring bare = folder.file(L"bare.exe");
    ASSERT_TRUE(CopyFileW(launcherTemplatePath().c_str(), bare.c_str(), FALSE));
    plantBeside(folder);
    const Finished run = runToEnd(bare, {{}, {}, temp.path()});
    ASSERT_TRUE(run.box.has_value());
    EXPECT_EQ(run.exitCode, 1u);
    for (const wchar_t* name : kPlanted) {
        if (std::wstring(name) == L"version") continue;  // imported by Wine's user32 before any code of ours
        EXPECT_FALSE(exists(folder.file(std::wstring(name) + L".dll.loaded"))) << base::wideToUtf8(name) << ".dll was loaded";
    }
}
