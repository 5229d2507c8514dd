// Runs that end without cleaning up (ended from the Task Manager, a crash) and many installers at
// once on one machine: a later run removes what ended runs left in the temporary folder, and
// never anything a live run, the processes it started or its deletion child still use, nor
// anything it did not make.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <set>

#include "base/text.h"
#include "harness.h"
#include "jvm_record.h"

using namespace e2e;

namespace {

// What the folder holds besides the names in `expected` (and launcher logs a test asked for).
std::vector<std::wstring> othersIn(const TempFolder& folder, const std::set<std::wstring>& expected) {
    std::vector<std::wstring> names = folder.names();
    std::erase_if(names, [&](const std::wstring& name) {
        return expected.count(name) > 0 || name.rfind(L"cvn_nlog_", 0) == 0;
    });
    return names;
}

std::string joined(const std::vector<std::wstring>& names) {
    std::string text;
    for (const std::wstring& name : names) text += base::wideToUtf8(name) + " ";
    return text;
}

std::wstring extractionDirectoryIn(const TempFolder& folder) {
    for (const std::wstring& name : folder.names())
        if (name.find(L".tmp_dir") != std::wstring::npos) return folder.file(name);
    return L"";
}

// An installer whose Java side acts out `steps` (comma-separated), with its record named on the
// command line ("-J"), so that one media file can be started many times at once.
media::MediaDescription installer(const std::string& steps) {
    media::MediaDescription description;
    description.config[107] = "1";
    description.config[122] = "com.example.Main";
    description.config[2001] = "i";
    description.config[125] = "1";
    for (size_t start = 0; start < steps.size();) {
        const size_t end = std::min(steps.find(',', start), steps.size());
        description.config[123] += " -Dstandin.scenario=" + steps.substr(start, end - start);
        start = end + 1;
    }
    description.files.push_back({"cvnruntime.jar", {"", std::string(3000, 'j')}});
    description.files.push_back({"cvnparams.conf", {"", "params"}});
    return description;
}

std::wstring recordOption(const std::wstring& record) { return L"-J-Dstandin.record=" + record; }

bool handedOver(const stand_in::JvmRecord& java) {
    const auto steps = java.firstFields("step");
    return std::find(steps.begin(), steps.end(), "cleanup") != steps.end();
}

// Things of the temporary folder that are not a launcher's, and one that looks like a run's
// leftover but was never claimed (an older launcher's, or a run at its very start).
void placeForeignThings(const TempFolder& temp) {
    writeFileBytes(temp.file(L"lmbFFFF.tmp"), "");
    CreateDirectoryW(temp.file(L"lmbFFFF.tmp_dir123").c_str(), nullptr);
    writeFileBytes(temp.file(L"lmbFFFF.tmp_dir123\\kept.txt"), "kept");
    CreateDirectoryW(temp.file(L"other").c_str(), nullptr);
    writeFileBytes(temp.file(L"other\\kept.txt"), "kept");
}
const std::set<std::wstring> kForeign = {L"lmbFFFF.tmp", L"lmbFFFF.tmp_dir123", L"other"};

}  // namespace

// Waits until a run's extraction directory appears in the folder (one not among `before`) and,
// when `inside` is given, that entry in it; the directory, or none after two seconds.
std::optional<std::wstring> waitForExtraction(const TempFolder& temp, const std::set<std::wstring>& before,
                                              const std::wstring& inside = L"") {
    const ULONGLONG deadline = GetTickCount64() + 2000;
    while (GetTickCount64() < deadline) {
        for (const std::wstring& name : temp.names()) {
            if (name.find(L".tmp_dir") == std::wstring::npos || before.count(name) > 0) continue;
            if (inside.empty() || exists(temp.file(name) + L"\\" + inside)) return temp.file(name);
        }
        Sleep(1);
    }
    return std::nullopt;
}

// Runs ended at moments spread over whole runs: while the process starts and verifies a large
// payload, while it extracts the included files, while it unpacks the included runtime, and at
// moments over a run that finds its runtime on the machine (the search, the launch, the Java
// side running). The next installer removes all they left, and its own run goes on unharmed.
// No kill lands while a run starts a program: Wine leaves a process whose parent ends in the
// middle of CreateProcess hanging in its own start for good. So the runs that unpack a runtime
// are ended before its probe, and the others use a runtime whose version the cache knows.
TEST(EndedRuns, KilledRunsLeaveNothingOnceAnotherInstallerHasRun) {
    TempFolder folder;
    TempFolder temp;
    placeForeignThings(temp);
    auto large = installer("sleep:800");
    large.files.push_back({"large.bin", {"", std::string(24u << 20, 'x')}});
    auto bundled = large;
    bundled.files.push_back({"jre.tar.gz", {base::wideToUtf8(standInRuntimeHome() + L".tar.gz"), ""}});
    bundled.config[151] = "2000000";
    const std::wstring withRuntime = buildMedia(folder, bundled, L"bundled.exe");
    const std::wstring withoutRuntime = buildMedia(folder, large, L"large.exe");
    const std::wstring record = folder.file(L"record.txt");

    // A whole run, to spread kills over; it leaves its directory like the killed ones.
    const ULONGLONG start = GetTickCount64();
    ASSERT_EQ(runToEnd(withoutRuntime, {{L"-q", recordOption(record)}, {}, temp.path()}).exitCode, 0u);
    const ULONGLONG length = GetTickCount64() - start;
    constexpr int kEach = 8;
    int landed = 0;
    for (int kill = 0; kill < 4 * kEach; ++kill) {
        const int phase = kill / kEach;
        const int step = kill % kEach;
        const auto names = temp.names();
        const std::set<std::wstring> before(names.begin(), names.end());
        LauncherProcess run(phase == 3 ? withoutRuntime : withRuntime, {{L"-q", recordOption(record)}, {}, temp.path()});
        if (phase == 0) {
            Sleep(static_cast<DWORD>(5 * step));
        } else if (phase == 3) {
            Sleep(static_cast<DWORD>(length * step / kEach));
        } else if (waitForExtraction(temp, before, phase == 2 ? L"jre" : L"")) {
            Sleep(static_cast<DWORD>(phase == 1 ? 2 * step : step));
            ++landed;
        }
    }  // ended here, as from the Task Manager
    std::cout << "a run takes " << length << " ms; " << landed << " of " << 2 * kEach
              << " kills met extraction or unpacking; left by the runs: " << othersIn(temp, kForeign).size()
              << " entries\n";

    // The next installer leaves only its own directory and reservation, which its Java side owns.
    DeleteFileW(record.c_str());
    const Finished next = runToEnd(withRuntime, {{L"-q", recordOption(record)}, {}, temp.path()});
    ASSERT_EQ(next.exitCode, 0u) << next.output << next.error;
    std::string tempDir;
    for (const std::string& option : stand_in::JvmRecord::read(record).options())
        if (option.rfind("-Dlumbra.tempDir=", 0) == 0) tempDir = option.substr(option.find_last_of('\\') + 1);
    const std::wstring own = base::narrowToWide(tempDir);
    std::set<std::wstring> expected = kForeign;
    expected.insert({own, own.substr(0, own.rfind(L"_dir"))});
    EXPECT_EQ(joined(othersIn(temp, expected)), "");
    EXPECT_EQ(readFileBytes(temp.file(L"lmbFFFF.tmp_dir123\\kept.txt")), "kept");
    EXPECT_EQ(readFileBytes(temp.file(L"other\\kept.txt")), "kept");
}

// A live run keeps its directory while another installer runs beside it, and so does the
// deletion child that the Java side starts at its end, for as long as it has to wait.
TEST(EndedRuns, WhatALiveRunOrItsDeletionChildUsesIsNeverRemoved) {
    TempFolder folder;
    TempFolder temp;
    const std::wstring media = buildMedia(folder, installer("sleep:3000,cleanup,sleep:1500"));
    const std::wstring other = buildMedia(folder, installer("return"), L"other.exe");
    const std::wstring record = folder.file(L"record.txt");
    LauncherProcess live(media, {{L"-q", recordOption(record)}, {}, temp.path()});
    std::wstring directory;
    ASSERT_TRUE(waitUntil([&] { return !(directory = extractionDirectoryIn(temp)).empty(); }, 20000));
    ASSERT_EQ(runToEnd(other, {{L"-q", recordOption(folder.file(L"other.txt"))}, {}, temp.path()}).exitCode, 0u);
    EXPECT_TRUE(exists(directory + L"\\cvnruntime.jar"));

    // The Java side hands the directory to the deletion child, which waits for a semaphore that
    // this test holds now: the child outlives the run.
    const std::wstring semaphoreName = L"Local\\standin_end_" + std::to_wstring(live.processId());
    HANDLE semaphore = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (semaphore = OpenSemaphoreW(SYNCHRONIZE, FALSE, semaphoreName.c_str())) != nullptr; },
                          20000));
    EXPECT_EQ(live.wait(), 0u);
    ASSERT_EQ(runToEnd(other, {{L"-q", recordOption(folder.file(L"other.txt"))}, {}, temp.path()}).exitCode, 0u);
    EXPECT_TRUE(exists(directory + L"\\cvnparams.conf"));
    CloseHandle(semaphore);
    EXPECT_TRUE(waitUntil([&] { return !exists(directory); }, 20000));
    const std::wstring reservation = directory.substr(0, directory.rfind(L"_dir"));
    EXPECT_TRUE(waitUntil([&] { return !exists(reservation); }, 5000)) << base::wideToUtf8(reservation);
}

// Sixteen installers at once: three media files, one of them single-instance. Each run gets its
// own directory, its own options and its own log; the Java sides remove their directories at
// their ends; of the single-instance media one runs and the others end with 0.
TEST(EndedRuns, SixteenInstallersAtOnceLoseNothing) {
    TempFolder folder;
    TempFolder temp;
    const std::wstring first = buildMedia(folder, installer("sleep:500,cleanup"), L"first.exe");
    const std::wstring second = buildMedia(folder, installer("sleep:200,cleanup"), L"second.exe");
    auto single = installer("sleep:1500,cleanup");
    single.config[10005] = "1";
    const std::wstring only = buildMedia(folder, single, L"single.exe");

    struct Started {
        std::wstring media;
        std::wstring record;
        std::unique_ptr<LauncherProcess> process;
    };
    std::vector<Started> runs;
    for (int i = 0; i < 16; ++i) {
        const std::wstring media = i < 6 ? first : i < 12 ? second : only;
        const std::wstring record = folder.file(L"record" + std::to_wstring(i) + L".txt");
        runs.push_back({media, record, nullptr});
    }
    for (Started& run : runs) {
        run.process = std::make_unique<LauncherProcess>(
            run.media, RunOptions{{L"-q", recordOption(run.record)}, {{L"LUMBRA_LOG", L"yes"}}, temp.path()});
    }
    std::set<std::string> directories;
    int singleRuns = 0;
    for (const Started& run : runs) {
        EXPECT_EQ(run.process->wait(120000), 0u) << base::wideToUtf8(run.media);
        if (!exists(run.record)) {
            EXPECT_EQ(run.media, only) << "a run that never reached the Java side";
            continue;
        }
        if (run.media == only) ++singleRuns;
        const auto java = stand_in::JvmRecord::read(run.record);
        std::string tempDir;
        for (const std::string& option : java.options())
            if (option.rfind("-Dlumbra.tempDir=", 0) == 0) tempDir = option.substr(17);
        EXPECT_TRUE(directories.insert(tempDir).second) << "two runs shared " << tempDir;
        EXPECT_TRUE(handedOver(java));
    }
    EXPECT_EQ(singleRuns, 1);
    EXPECT_EQ(directories.size(), 13u);

    // Each log is one process's alone (the runs' and their deletion children's): one header, and
    // at most the one directory its run made.
    const std::vector<std::wstring> logs = launcherLogs(temp.path());
    EXPECT_EQ(logs.size(), 16u + directories.size());
    std::set<std::string> logged;
    const auto occurrences = [](const std::wstring& text, const std::wstring& part) {
        size_t count = 0;
        for (size_t at = text.find(part); at != std::wstring::npos; at = text.find(part, at + 1)) ++count;
        return count;
    };
    for (const std::wstring& log : logs) {
        EXPECT_EQ(occurrences(log, L"Started executable"), 1u);
        const size_t made = occurrences(log, L"Temp dir3: ");
        EXPECT_LE(made, 1u);
        if (made == 0) continue;
        const size_t at = log.find(L"Temp dir3: ") + 11;
        logged.insert(base::wideToNarrow(log.substr(at, log.find_first_of(L"\r\n", at) - at)));
    }
    EXPECT_EQ(logged, directories);
    EXPECT_TRUE(waitUntil([&] { return othersIn(temp, {}).empty(); }, 30000)) << joined(othersIn(temp, {}));
}
