// Clean-up end to end: a run that fails after creating its extraction directory, the deletion
// child of launcher.exe waiting for its semaphore, entries of launcher directories scheduled
// for the reboot at once, the reboot question and the reboot check file, and "-temp".
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "base/format.h"
#include "base/text.h"
#include "files/deletion_child.h"
#include "files/deletion_file.h"
#include "harness.h"

using namespace e2e;

namespace {

const wchar_t kSessionManager[] = L"System\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPendingValue[] = L"PendingFileRenameOperations";

std::wstring lower(std::wstring text) {
    CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

// Pairs of source and target; an empty target means "delete".
std::vector<std::wstring> pendingOperations() {
    std::vector<std::wstring> entries;
    std::wstring data(65536, L'\0');
    DWORD size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue, RRF_RT_REG_MULTI_SZ, nullptr, data.data(),
                     &size) != ERROR_SUCCESS) {
        return entries;
    }
    for (size_t at = 0; at < size / sizeof(wchar_t) && entries.size() < 100000;) {
        const size_t end = data.find(L'\0', at);
        entries.push_back(data.substr(at, end - at));
        at = end + 1;
    }
    return entries;
}

bool isPendingDeletion(const std::wstring& path) {
    const auto entries = pendingOperations();
    for (size_t i = 0; i + 1 < entries.size(); i += 2) {
        const std::wstring& source = entries[i];
        if (entries[i + 1].empty() && source.size() >= path.size() &&
            lower(source.substr(source.size() - path.size())) == lower(path)) {
            return true;
        }
    }
    return false;
}

// Takes the test's own entries out again, so that no later start of the prefix acts on them.
void forgetPendingOperationsUnder(const std::vector<std::wstring>& prefixes) {
    const auto entries = pendingOperations();
    std::wstring kept;
    bool any = false;
    for (size_t i = 0; i + 1 < entries.size(); i += 2) {
        const std::wstring source = lower(entries[i]);
        const bool ours = std::any_of(prefixes.begin(), prefixes.end(),
                                      [&](const std::wstring& prefix) { return source.find(lower(prefix)) != std::wstring::npos; });
        if (ours) continue;
        kept += entries[i] + L'\0' + entries[i + 1] + L'\0';
        any = true;
    }
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    if (any) {
        kept += L'\0';
        RegSetValueExW(key, kPendingValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(kept.data()),
                       static_cast<DWORD>(kept.size() * sizeof(wchar_t)));
    } else {
        RegDeleteValueW(key, kPendingValue);
    }
    RegCloseKey(key);
}

std::wstring rebootCheckFile(HKEY hive) {
    wchar_t value[32768] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    RegGetValueW(hive, files::kRebootCheckKey, files::kRebootCheckValue, RRF_RT_REG_SZ, nullptr, value, &size);
    return value;
}

void forgetRebootCheckFile(HKEY hive, const std::wstring& expected) {
    if (!expected.empty() && rebootCheckFile(hive) == expected) RegDeleteKeyValueW(hive, files::kRebootCheckKey, files::kRebootCheckValue);
}

media::MediaDescription minimalMedia() {
    media::MediaDescription description;
    description.config[107] = "1";
    return description;
}

HANDLE holdWithoutSharing(const std::wstring& path) {
    return CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

std::wstring helperPath() { return binDirectory() + L"\\cleanup_helper.exe"; }

std::wstring lineOf(const std::string& output) {
    return base::narrowToWide(output.substr(0, output.find_first_of("\r\n")));
}

}  // namespace

// Whatever the run could not remove itself (a file it still holds) the child removes once the
// run has ended; in the end neither the directory, its name reservation, the deletion file nor
// the temporary log is left.
TEST(CleanUp, AFailedRunLeavesNothingBehind) {
    TempFolder temp;
    LauncherProcess run(helperPath(), {.arguments = {L"hold"}, .temporaryFolder = temp.path()});
    EXPECT_EQ(run.wait(30000), 7u);
    const std::wstring directory = lineOf(run.standardOutput());
    ASSERT_NE(directory.find(L".tmp_dir"), std::wstring::npos) << directory;
    EXPECT_TRUE(waitUntil([&] { return temp.names().empty(); }, 20000))
        << base::wideToUtf8(temp.names().empty() ? L"" : temp.names()[0]);
    EXPECT_FALSE(exists(directory));
    EXPECT_FALSE(isPendingDeletion(directory));
}

// Nothing held: the run empties its whole tree itself, a runtime's folders seven levels deep and
// the installer's own included, so nothing is left the moment it has ended.
TEST(CleanUp, AFailedRunRemovesItsDeepestFoldersItself) {
    TempFolder temp;
    LauncherProcess run(helperPath(), {.temporaryFolder = temp.path()});
    EXPECT_EQ(run.wait(30000), 7u);
    const std::vector<std::wstring> left = temp.names();
    EXPECT_TRUE(left.empty()) << base::wideToUtf8(left.empty() ? L"" : left[0]);
}

TEST(ExecutablePaths, AFolderOutsideTheCodePageGivesAShortNarrowPath) {
    TempFolder folder;
    const std::wstring unusual = folder.file(L"\u4e2d\u6587 \u0444\u0430\u0439\u043b!");
    ASSERT_TRUE(CreateDirectoryW(unusual.c_str(), nullptr));
    const std::wstring copy = unusual + L"\\helper with a long name.exe";
    ASSERT_TRUE(CopyFileW(helperPath().c_str(), copy.c_str(), FALSE));
    LauncherProcess run(copy, {.arguments = {L"paths"}});
    ASSERT_EQ(run.wait(30000), 0u);
    const std::string output = run.standardOutput();
    const std::string narrow = output.substr(0, output.find_first_of("\r\n"));
    bool lossy = true;
    base::wideToNarrow(base::narrowToWide(narrow), &lossy);
    EXPECT_EQ(narrow.find('?'), std::string::npos) << narrow;
    EXPECT_NE(narrow.find('~'), std::string::npos) << narrow;
    EXPECT_TRUE(exists(base::narrowToWide(narrow))) << narrow;
    EXPECT_EQ(lower(base::narrowToWide(narrow)).substr(narrow.size() - 4), L".exe");
    // The command interpreter's answer, for volumes without GetShortPathName, names it too.
    const size_t third = output.find('\n', output.find('\n') + 1) + 1;
    const std::string viaShell = output.substr(third, output.find_first_of("\r\n", third) - third);
    EXPECT_TRUE(exists(base::narrowToWide(viaShell))) << viaShell;
    EXPECT_EQ(viaShell.find('?'), std::string::npos) << viaShell;
}

TEST(DeletionMode, ChildWaitsForTheSemaphoreThenRemovesOnlyWhatIsListed) {
    TempFolder folder;
    const std::wstring media = buildMedia(folder, minimalMedia());
    writeFileBytes(folder.file(L"a.txt"), "a");
    CreateDirectoryW(folder.file(L"sub").c_str(), nullptr);
    const std::wstring odd = folder.file(L"sub\\\u0444\u0430\u0439\u043b \u4e2d!");
    writeFileBytes(odd, "b");
    writeFileBytes(folder.file(L"kept.txt"), "k");
    // Beyond MAX_PATH, children listed before their parents.
    std::vector<std::wstring> deepDirectories;
    std::wstring deep = folder.file(L"sub");
    for (int level = 0; level < 10; ++level) {
        deep += L"\\" + std::wstring(30, static_cast<wchar_t>(L'a' + level));
        ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr));
        deepDirectories.insert(deepDirectories.begin(), deep);
    }
    const std::wstring deepFile = deep + L"\\file.txt";
    writeFileBytes(L"\\\\?\\" + deepFile, "deep");

    const std::wstring semaphoreName = base::formatWide(L"Local\\cvn_e2e_windel_%u", GetCurrentProcessId());
    HANDLE semaphore = CreateSemaphoreW(nullptr, 0, 1, semaphoreName.c_str());
    ASSERT_NE(semaphore, nullptr);

    files::DeletionFile content;
    content.semaphoreName = semaphoreName;
    content.files = {folder.file(L"a.txt"), odd, deepFile, L"setup.exe", L"kept.txt"};
    content.directories = deepDirectories;
    content.directories.push_back(folder.file(L"sub"));
    const std::wstring deletionFile = folder.file(L"cvd1.tmp");
    writeFileBytes(deletionFile, files::encodeDeletionFile(content));

    LauncherProcess child(media, {.arguments = {L"__cvn_windel", deletionFile}});
    // While the semaphore is held the child only waits.
    EXPECT_FALSE(child.wait(1500).has_value());
    EXPECT_TRUE(exists(folder.file(L"a.txt")));
    CloseHandle(semaphore);
    EXPECT_EQ(child.wait(15000), 0u);

    EXPECT_FALSE(exists(folder.file(L"a.txt")));
    EXPECT_FALSE(exists(odd));
    EXPECT_FALSE(exists(folder.file(L"sub")));
    EXPECT_FALSE(exists(deletionFile));
    // Relative entries would resolve against the child's directory, the media's own.
    EXPECT_TRUE(exists(media));
    EXPECT_TRUE(exists(folder.file(L"kept.txt")));
}

// About 30 seconds: the entry outside launcher directories is retried for 60 passes.
TEST(DeletionMode, HeldLauncherEntriesAreScheduledAtOnceOthersAfterRetriesThenTheQuestion) {
    TempFolder folder;
    const std::wstring media = buildMedia(folder, minimalMedia());
    const std::wstring launcherDirectory = folder.file(L"lmbE2E.tmp_dir1700000000");
    CreateDirectoryW(launcherDirectory.c_str(), nullptr);
    const std::wstring inside = launcherDirectory + L"\\held.jar";
    writeFileBytes(inside, "jar");
    const std::wstring outside = folder.file(L"other.txt");
    writeFileBytes(outside, "other");
    const HANDLE heldInside = holdWithoutSharing(inside);
    const HANDLE heldOutside = holdWithoutSharing(outside);
    ASSERT_NE(heldInside, INVALID_HANDLE_VALUE);
    ASSERT_NE(heldOutside, INVALID_HANDLE_VALUE);

    files::DeletionFile content;
    content.mode = L"reboot_deletion";
    content.messageText = L"Restart now to finish removing the files?";
    content.failureText = L"Restart failed.";
    content.files = {inside, outside};
    content.directories = {launcherDirectory};
    const std::wstring deletionFile = folder.file(L"cvd2.tmp");
    writeFileBytes(deletionFile, files::encodeDeletionFile(content));

    std::wstring checkFile;
    {
        LauncherProcess child(media, {.arguments = {L"__cvn_windel", deletionFile}});
        // First pass: the launcher directory and its file, while the child still retries.
        EXPECT_TRUE(waitUntil([&] { return isPendingDeletion(inside) && isPendingDeletion(launcherDirectory); }, 10000));
        EXPECT_FALSE(child.wait(0).has_value());
        EXPECT_FALSE(isPendingDeletion(outside));

        const auto question = child.waitForMessageBox(60000);
        ASSERT_TRUE(question.has_value());
        EXPECT_EQ(question->title, L"corvane");
        EXPECT_EQ(question->text, content.messageText);
        EXPECT_TRUE(isPendingDeletion(outside));
        pressButton(question->window, IDNO);
        EXPECT_EQ(child.wait(15000), 0u);

        checkFile = rebootCheckFile(HKEY_CURRENT_USER);
        EXPECT_FALSE(checkFile.empty());
        EXPECT_EQ(rebootCheckFile(HKEY_LOCAL_MACHINE), checkFile);
        EXPECT_TRUE(exists(checkFile)) << base::wideToUtf8(checkFile);
        EXPECT_TRUE(isPendingDeletion(checkFile));
    }
    CloseHandle(heldInside);
    CloseHandle(heldOutside);
    forgetPendingOperationsUnder({folder.path(), checkFile.empty() ? folder.path() : checkFile});
    forgetRebootCheckFile(HKEY_CURRENT_USER, checkFile);
    forgetRebootCheckFile(HKEY_LOCAL_MACHINE, checkFile);
    if (!checkFile.empty()) DeleteFileW(checkFile.c_str());
    EXPECT_FALSE(isPendingDeletion(inside));
}

// The launcher logs before it reads "-temp", so its log stays in the automatic base (TMP).
std::wstring logsOfRuns(const std::wstring& media, const std::vector<std::vector<std::wstring>>& runs) {
    TempFolder logs;
    for (const auto& arguments : runs) {
        LauncherProcess run(media, {.arguments = arguments,
                                    .environment = {{L"CORVANE_LOG", L"yes"}},
                                    .temporaryFolder = logs.path()});
        EXPECT_TRUE(run.wait(30000).has_value());
    }
    std::wstring all;
    for (const auto& text : launcherLogs(logs.path())) all += text;
    return all;
}

TEST(TempOption, OnlyAUsableFolderBecomesTheManualBase) {
    TempFolder manual;
    TempFolder folder;
    const std::wstring media = buildMedia(folder, minimalMedia());
    const std::wstring banged = folder.file(L"bang!");
    CreateDirectoryW(banged.c_str(), nullptr);
    const std::wstring logs = logsOfRuns(media, {{L"-q", L"-temp", manual.path()},
                                                 {L"-q", L"/temp", banged},
                                                 {L"-q", L"-temp", folder.file(L"missing")},
                                                 {L"-q", L"-temp"}});
    EXPECT_NE(logs.find(L"Using manual temp dir " + manual.path() + L" ("), std::wstring::npos) << base::wideToUtf8(logs);
    EXPECT_NE(logs.find(L"Manual temp dir not usable " + banged + L" ("), std::wstring::npos);
    EXPECT_NE(logs.find(L"Manual temp dir not usable " + folder.file(L"missing") + L" ("), std::wstring::npos);
    EXPECT_TRUE(launcherLogs(manual.path()).empty());
}


// A base the launcher can test, but in which the name of its extraction directory is longer
// than the narrow file functions take: internal error 7 after ten attempts. No usable base at
// all: message 1015.
TEST(TemporaryBase, AnExtractionDirectoryThatCannotBeMadeIs7AndNoBaseAtAllIs1015) {
    TempFolder folder;
    TempFolder temp;
    const std::wstring media = buildMedia(folder, minimalMedia());
    std::wstring deep = temp.path() + L"\\";
    deep.append(238 - deep.size(), L'd');
    ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    const Finished deepRun = runToEnd(media, {{L"-temp", deep}, {{L"LUMBRA_LOG", L"yes"}}, temp.path()});
    EXPECT_EQ(deepRun.exitCode, 1u);
    ASSERT_TRUE(deepRun.box);
    EXPECT_EQ(deepRun.box->text.rfind(L"An internal error occurred (error code: 7)", 0), 0u)
        << base::wideToUtf8(deepRun.box->text);
    const std::vector<std::wstring> logs = launcherLogs(temp.path());
    ASSERT_EQ(logs.size(), 1u);
    size_t attempts = 0;
    for (size_t at = logs[0].find(L"] Could not create dir ("); at != std::wstring::npos;
         at = logs[0].find(L"] Could not create dir (", at + 1))
        ++attempts;
    EXPECT_EQ(attempts, 10u);

    // The user's folders are missing, and the others refuse the launcher's probe folders.
    const std::wstring nowhere = L"Z:\\no-such-folder-of-the-launcher-tests\\temp";
    ProbeBlockers blockers;
    RunOptions options{{},
                       {{L"TMP", nowhere}, {L"TEMP", nowhere}, {L"USERPROFILE", nowhere}, {L"HOMEDRIVE", std::nullopt},
                        {L"HOMEPATH", std::nullopt}}};
    options.beforeStart = [&](DWORD processId) { blockers.block(processId, sharedTemporaryCandidates()); };
    const Finished noBase = runToEnd(media, options);
    EXPECT_EQ(noBase.exitCode, 1u);
    ASSERT_TRUE(noBase.box);
    // Without a base the log goes to the root of drive C:, and the message names it.
    const std::wstring expected = L"You must be at least Poweruser to run this program.\n\nLog: c:\\cvn_nlog_";
    EXPECT_EQ(noBase.box->text.rfind(expected, 0), 0u) << base::wideToUtf8(noBase.box->text);
    const size_t log = noBase.box->text.find(L"c:\\cvn_nlog_");
    if (log != std::wstring::npos) DeleteFileW(noBase.box->text.substr(log).c_str());
}

// A whole run that fails while another program holds one of its extracted files: the run ends
// at once, the child schedules that file and the extraction directory for the next restart,
// and everything else is gone.
// Nothing held: the run leaves its extraction directory (its current one) and removes it
// itself, so no deletion child is started and nothing is left the moment the run has ended.
TEST(CleanUp, AFailedRunWithNothingHeldRemovesItsDirectoryItself) {
    TempFolder folder;
    TempFolder temp;
    media::MediaDescription description = minimalMedia();
    description.files.push_back({"cvnruntime.jar", {"", "jar"}});
    const std::wstring media = buildMedia(folder, description);
    const Finished run = runToEnd(media, {{L"-q"},
                                          {{L"LUMBRA_JAVA_HOME", std::nullopt}, {L"CORVANE_JAVA_HOME", std::nullopt},
                                           {L"LUMBRA_LOG", L"yes"}},
                                          temp.path()});
    EXPECT_EQ(run.exitCode, 83u);
    const std::vector<std::wstring> logs = launcherLogs(temp.path());
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(logs[0].find(L"schedule deletion"), std::wstring::npos) << base::wideToUtf8(logs[0]);
    std::vector<std::wstring> left = temp.names();
    std::erase_if(left, [](const std::wstring& name) { return name.rfind(L"cvn_nlog_", 0) == 0; });
    EXPECT_TRUE(left.empty()) << base::wideToUtf8(left[0]);
}

TEST(CleanUp, AFileHeldAtTheEndOfAFailedRunIsScheduledForTheRestart) {
    TempFolder folder;
    TempFolder temp;
    media::MediaDescription description = minimalMedia();
    description.config[122] = "com.example.Main";
    description.files.push_back({"cvnruntime.jar", {"", "jar"}});
    description.files.push_back({"other.jar", {"", "other"}});
    const std::wstring media = buildMedia(folder, description);
    LauncherProcess run(media, {.environment = {{L"LUMBRA_JAVA_HOME", std::nullopt}, {L"CORVANE_JAVA_HOME", std::nullopt}},
                                .temporaryFolder = temp.path()});
    const auto box = run.waitForMessageBox();  // no runtime found
    ASSERT_TRUE(box.has_value());
    std::wstring directory;
    for (const std::wstring& name : temp.names())
        if (name.find(L".tmp_dir") != std::wstring::npos) directory = temp.file(name);
    ASSERT_FALSE(directory.empty());
    const std::wstring held = directory + L"\\cvnruntime.jar";
    const HANDLE handle = holdWithoutSharing(held);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    pressButton(box->window, IDOK);
    EXPECT_EQ(run.wait(30000), 1u);
    EXPECT_TRUE(waitUntil([&] { return isPendingDeletion(held) && isPendingDeletion(directory); }, 20000));
    EXPECT_FALSE(exists(directory + L"\\other.jar"));
    EXPECT_TRUE(exists(held));
    CloseHandle(handle);
    forgetPendingOperationsUnder({directory});
}
