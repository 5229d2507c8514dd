// Faults of a whole run, each seen as the user sees it and by what it leaves on disk: a disk
// that fills up while the included files or the included runtime are written, a runtime whose
// jvm.dll does not load or whose virtual machine cannot be created, a java.exe that never
// answers, and a media file cut at each record boundary. A failed run ends through the
// deletion child, so "nothing left" is waited for.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "base/text.h"
#include "harness.h"
#include "mediatool/media_report.h"
#include "stand_in_runtimes.h"

using namespace e2e;

namespace {

const wchar_t kCorrupted[] = L"The installation file is corrupted. If it is a download please try it again.";

media::MediaDescription installer(const std::string& options = "") {
    media::MediaDescription description;
    description.config[107] = "1";
    description.config[122] = "com.example.Main";
    description.config[2001] = "i";
    description.config[123] = options;
    description.files.push_back({"cvnruntime.jar", {"", std::string(3000, 'j')}});
    description.files.push_back({"lib\\app.jar", {"", std::string(5000, 'a')}});
    return description;
}

bool waitUntil(const std::function<bool()>& condition, DWORD milliseconds = 20000) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    while (!condition()) {
        if (GetTickCount64() > deadline) return false;
        Sleep(100);
    }
    return true;
}

std::vector<std::wstring> namesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

// What is left in the folder once the deletion child had its time, apart from the launcher's
// log, which a failed run keeps when its message names it.
std::string leftIn(const std::wstring& folder) {
    const auto left = [&] {
        std::vector<std::wstring> names = namesIn(folder);
        std::erase_if(names, [](const std::wstring& name) { return name.rfind(L"cvn_nlog_", 0) == 0; });
        return names;
    };
    waitUntil([&] { return left().empty(); });
    const auto names = left();
    return names.empty() ? "" : base::wideToUtf8(names[0]);
}

// The small file system ./check mounts, or none.
std::wstring fullDiskFolder() {
    const char* folder = std::getenv("E2E_FULL_DISK_FOLDER");
    return folder && *folder ? base::utf8ToWide(folder) + L"\\setup.exe.test" : L"";
}

const std::map<std::wstring, std::optional<std::wstring>> kNoRuntime = {{L"LUMBRA_JAVA_HOME", std::nullopt},
                                                                        {L"CORVANE_JAVA_HOME", std::nullopt}};

}  // namespace

// The extraction directory lies on the full disk through "-temp": the included files do not
// fit, then the included runtime does not.
TEST(Faults, AFullDiskEndsTheRunWithItsMessageAndLeavesNothing) {
    const std::wstring tiny = fullDiskFolder();
    if (tiny.empty()) GTEST_SKIP() << "no small file system prepared (E2E_FULL_DISK_FOLDER)";
    ASSERT_TRUE(namesIn(tiny).empty());
    TempFolder folder;
    TempFolder temp;

    auto big = installer();
    big.files.push_back({"big.bin", {"", std::string(200000, 'b')}});
    const Finished files = runToEnd(buildMedia(folder, big, L"big.exe"), {{L"-temp", tiny}, {}, temp.path()});
    ASSERT_TRUE(files.box.has_value());
    EXPECT_EQ(files.box->text, L"Not Enough Disk Space");
    EXPECT_EQ(files.exitCode, 1u);
    EXPECT_EQ(leftIn(tiny), "");

    // A runtime archive of a few kilobytes that unpacks to a megabyte.
    stand_in::RuntimeFolder runtimes;
    const std::wstring home = runtimes / L"jre";
    CreateDirectoryW(home.c_str(), nullptr);
    writeFileBytes(home + L"\\modules", std::string(1 << 20, '\0'));
    writeTarGz(folder.file(L"jre.tar.gz"), home);
    auto packed = installer();
    packed.files.push_back({"jre.tar.gz", {base::wideToUtf8(folder.file(L"jre.tar.gz")), ""}});
    packed.config[151] = "1048576";
    const Finished runtime = runToEnd(buildMedia(folder, packed, L"runtime.exe"), {{L"-temp", tiny}, kNoRuntime, temp.path()});
    ASSERT_TRUE(runtime.box.has_value());
    EXPECT_NE(runtime.box->text.find(L"The bundled JRE is corrupted."), std::wstring::npos) << base::wideToUtf8(runtime.box->text);
    EXPECT_EQ(runtime.exitCode, 1u);
    EXPECT_EQ(leftIn(tiny), "");
    EXPECT_EQ(leftIn(temp.path()), "");
}

// The runtime is found (LUMBRA_JAVA_HOME) but cannot be used: its jvm.dll is no library, or its
// JNI_CreateJavaVM fails. Either run ends with a message and removes its extraction.
TEST(Faults, ARuntimeThatCannotBeLoadedOrCreatedEndsTheRun) {
    TempFolder folder;
    TempFolder temp;
    stand_in::RuntimeFolder runtimes;
    const auto broken = stand_in::layOutRuntime(runtimes / L"broken", stand_in::Shape::Bin, {}, stand_in::withJvm());
    writeFileBytes(broken.jvmDll, "MZ but no library at all");
    const std::wstring media = buildMedia(folder, installer());
    const Finished notLoaded = runToEnd(media, {{}, {{L"LUMBRA_JAVA_HOME", broken.home}}, temp.path()});
    ASSERT_TRUE(notLoaded.box.has_value());
    EXPECT_EQ(notLoaded.exitCode, 1u);
    EXPECT_NE(notLoaded.box->text.find(L"No suitable JDK could be found"), std::wstring::npos)
        << base::wideToUtf8(notLoaded.box->text);
    EXPECT_EQ(leftIn(temp.path()), "");

    const std::wstring failing = buildMedia(folder, installer("-Dstandin.create=fail"), L"failing.exe");
    const Finished notCreated = runToEnd(failing, {{}, {}, temp.path()});
    ASSERT_TRUE(notCreated.box.has_value());
    EXPECT_EQ(notCreated.exitCode, 1u);
    EXPECT_NE(notCreated.box->text.find(L"JVM"), std::wstring::npos) << base::wideToUtf8(notCreated.box->text);
    EXPECT_EQ(leftIn(temp.path()), "");
}

// A java.exe that never ends and keeps its output open is ended after a minute of silence;
// the run goes on as for a runtime that does not work.
TEST(Faults, AJavaExeThatNeverAnswersIsEndedAfterAMinute) {
    TempFolder folder;
    TempFolder temp;
    stand_in::RuntimeFolder runtimes;
    const auto hung = stand_in::layOutRuntime(runtimes / L"hung", stand_in::Shape::Bin, {.delay = 600000},
                                              stand_in::withJvm());
    const std::wstring media = buildMedia(folder, installer());
    LauncherProcess process(media, {{L"-q"}, {{L"LUMBRA_JAVA_HOME", hung.home}}, temp.path()});
    EXPECT_EQ(process.wait(150000), 83u);
    EXPECT_EQ(process.standardOutput(), "No JRE found. Aborting.\r\n");
    EXPECT_EQ(leftIn(temp.path()), "");
    // Ended, not left running: its executable can be deleted.
    EXPECT_TRUE(DeleteFileW(hung.javaExe.c_str()));
}

// Every record boundary: with the checksum the cut is a read error of the covered range; with
// "-nocheck" the extraction meets the end and reports a corrupted file.
TEST(Faults, AMediaFileCutAtAnyRecordBoundaryIsRefused) {
    TempFolder folder;
    auto description = installer();
    description.files.push_back({"empty.txt", {"", ""}});
    description.files.push_back({"last.bin", {"", std::string(700, 'l')}});
    const std::wstring media = buildMedia(folder, description);
    const std::string bytes = readFileBytes(media);
    const auto inspection = media::inspectMediaFile(base::wideToUtf8(media));
    std::vector<int64_t> boundaries = {inspection.fileDataPosition};
    for (const size_t size : {size_t{3000}, size_t{5000}, size_t{0}, size_t{700}})
        boundaries.push_back(boundaries.back() + 8 + static_cast<int64_t>(size));
    ASSERT_EQ(boundaries.back(), inspection.coveredEnd);
    boundaries.pop_back();  // the end itself is no cut
    for (const int64_t at : boundaries) {
        for (const bool check : {true, false}) {
            const std::wstring cut = folder.file(L"cut.exe");
            writeFileBytes(cut, bytes.substr(0, static_cast<size_t>(at)));
            TempFolder temp;
            std::vector<std::wstring> arguments;
            if (!check) arguments.push_back(L"-nocheck");
            const Finished run = runToEnd(cut, {arguments, {}, temp.path()});
            ASSERT_TRUE(run.box.has_value()) << at;
            if (check)
                EXPECT_EQ(run.box->text.rfind(L"An internal error occurred (error code: 34)", 0), 0u)
                    << at << ": " << base::wideToUtf8(run.box->text);
            else
                EXPECT_EQ(run.box->text, kCorrupted) << at;
            EXPECT_EQ(run.exitCode, 1u) << at;
            EXPECT_EQ(leftIn(temp.path()), "") << at;
        }
    }
    // A quiet run says the same on standard error.
    const std::wstring cut = folder.file(L"cut.exe");
    writeFileBytes(cut, bytes.substr(0, static_cast<size_t>(boundaries[1])));
    TempFolder temp;
    const Finished quiet = runToEnd(cut, {{L"-q", L"-nocheck"}, {}, temp.path()});
    EXPECT_EQ(quiet.exitCode, 1u);
    EXPECT_NE(quiet.error.find(base::wideToUtf8(kCorrupted)), std::string::npos) << quiet.error;
}
