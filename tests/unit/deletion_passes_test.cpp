// The deletion child's passes and reboot decision over recorded fake steps: which entries are
// retried, which are scheduled for the reboot and when, and what ends in a reboot, a question
// or a reboot check file. No step here touches a real file or reboots anything.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "files/deletion_passes.h"

using namespace files;

namespace {

using Calls = std::vector<std::wstring>;

class FakeDeletionSteps : public DeletionSteps {
public:
    std::set<std::wstring> stuck;                // never deletable
    std::map<std::wstring, int> freedFromPass;
    Calls calls;
    Calls scheduled;
    int pauses = 0;
    int pass = 0;

    void waitForSemaphoreRelease(const std::wstring& name) override {
        ++pass;
        calls.push_back(L"wait " + name);
    }
    bool deleteFile(const std::wstring& path) override { return attempt(L"delete " + path, path); }
    bool removeDirectory(const std::wstring& path) override { return attempt(L"rmdir " + path, path); }
    bool scheduleDeletionAtReboot(const std::wstring& path) override {
        scheduled.push_back(path);
        return true;
    }
    void pause(unsigned milliseconds) override { pauses += milliseconds == kDeletionPassPauseMilliseconds; }

private:
    bool attempt(const std::wstring& call, const std::wstring& path) {
        calls.push_back(call);
        const auto freed = freedFromPass.find(path);
        return !stuck.count(path) && (freed == freedFromPass.end() || pass >= freed->second);
    }
};

class FakeRebootSteps : public RebootSteps {
public:
    bool rebootStarts = false;
    bool answerYes = false;
    Calls calls;

    bool reboot() override {
        calls.push_back(L"reboot");
        return rebootStarts;
    }
    void showFailure(const std::wstring& text) override { calls.push_back(L"failure " + text); }
    bool askForReboot(const std::wstring& question) override {
        calls.push_back(L"ask " + question);
        return answerYes;
    }
    void recordRebootCheckFile() override { calls.push_back(L"check file"); }
};

DeletionFile fileWith(const wchar_t* mode, Calls files, Calls directories) {
    DeletionFile file;
    file.semaphoreName = L"sem";
    file.mode = mode;
    file.files = std::move(files);
    file.directories = std::move(directories);
    return file;
}

const std::wstring kLauncherFile = L"C:\\T\\lmbA1.tmp_dir17\\a.jar";
const std::wstring kLauncherDir = L"C:\\T\\lmbA1.tmp_dir17";
const std::wstring kOtherFile = L"C:\\Users\\x\\other.txt";
const std::wstring kOtherDir = L"C:\\Users\\x\\dir";

}  // namespace

TEST(DeletionPasses, OnePassWhenEverythingGoesInListedOrderAfterTheWait) {
    FakeDeletionSteps steps;
    const auto outcome = runDeletionPasses(fileWith(L"no_reboot_deletion", {kOtherFile, kLauncherFile}, {kLauncherDir}), steps);
    EXPECT_EQ(outcome.passes, 1);
    EXPECT_EQ(steps.calls, (Calls{L"wait sem", L"delete " + kOtherFile, L"delete " + kLauncherFile, L"rmdir " + kLauncherDir}));
    EXPECT_EQ(steps.pauses, 0);
}

TEST(DeletionPasses, LauncherEntriesAreScheduledOnTheFirstPassOnceOthersRetriedSixtyPasses) {
    FakeDeletionSteps launcherOnly;
    launcherOnly.stuck = {kLauncherFile, kLauncherDir};
    auto outcome = runDeletionPasses(fileWith(L"no_reboot_deletion", {kLauncherFile}, {kLauncherDir}), launcherOnly);
    EXPECT_EQ(outcome.passes, 1);
    EXPECT_EQ(launcherOnly.scheduled, (Calls{kLauncherFile, kLauncherDir}));
    EXPECT_EQ(decideReboot(outcome), RebootDecision::None);

    FakeDeletionSteps mixed;
    mixed.stuck = {kOtherFile, kLauncherFile};
    outcome = runDeletionPasses(fileWith(L"no_reboot_deletion", {kOtherFile, kLauncherFile}, {}), mixed);
    EXPECT_EQ(outcome.passes, kDeletionPasses);
    EXPECT_EQ(mixed.pauses, kDeletionPasses - 1);
    // Recorded once, however many passes see it again; the other file never without the mode.
    EXPECT_EQ(mixed.scheduled, Calls{kLauncherFile});
    EXPECT_EQ(decideReboot(outcome), RebootDecision::None);
}

TEST(DeletionPasses, RebootDeletionSchedulesOnTheLastPassAndOnlyFilesNeedTheReboot) {
    FakeDeletionSteps steps;
    steps.stuck = {kOtherFile, kOtherDir};
    auto outcome = runDeletionPasses(fileWith(L"reboot_deletion", {kOtherFile}, {kOtherDir}), steps);
    EXPECT_EQ(outcome.passes, kDeletionPasses);
    EXPECT_EQ(steps.scheduled, (Calls{kOtherFile, kOtherDir}));
    EXPECT_TRUE(outcome.rebootNeeded);

    FakeDeletionSteps directoryOnly;
    directoryOnly.stuck = {kOtherDir};
    outcome = runDeletionPasses(fileWith(L"reboot_deletion", {}, {kOtherDir}), directoryOnly);
    EXPECT_EQ(directoryOnly.scheduled, Calls{kOtherDir});
    EXPECT_FALSE(outcome.rebootNeeded);

    FakeDeletionSteps freedLater;
    freedLater.freedFromPass[kOtherFile] = 3;
    outcome = runDeletionPasses(fileWith(L"reboot_deletion", {kOtherFile}, {}), freedLater);
    EXPECT_EQ(outcome.passes, 3);
    EXPECT_TRUE(freedLater.scheduled.empty());
    EXPECT_FALSE(outcome.rebootNeeded);
}

TEST(DeletionPasses, EntriesThatAreNotFullPathsAreNeverTouched) {
    FakeDeletionSteps steps;
    const std::wstring withNul = std::wstring(L"C:\\keep") + L'\0' + L"x";
    DeletionFile file = fileWith(L"reboot_deletion", {L"setup.exe", L"..\\..\\Windows\\x", L"C:relative", withNul}, {L"EOSMARKER"});
    file.semaphoreName.clear();
    const auto outcome = runDeletionPasses(file, steps);
    EXPECT_EQ(outcome.passes, 1);
    EXPECT_TRUE(steps.calls.empty());
}

TEST(RebootDecision, ForceRebootAsksNothingAndReportsOnlyShowableFailures) {
    DeletionOutcome outcome;
    outcome.forceReboot = true;
    outcome.messageText = L"Reboot now, please?";
    outcome.failureText = L"Reboot failed, do it yourself.";
    FakeRebootSteps started;
    started.rebootStarts = true;
    finishDeletion(outcome, started);
    EXPECT_EQ(started.calls, Calls{L"reboot"});
    FakeRebootSteps failed;
    finishDeletion(outcome, failed);
    EXPECT_EQ(failed.calls, (Calls{L"reboot", L"failure Reboot failed, do it yourself."}));
    outcome.failureText = L"short";
    FakeRebootSteps quiet;
    finishDeletion(outcome, quiet);
    EXPECT_EQ(quiet.calls, Calls{L"reboot"});
}

TEST(RebootDecision, TheQuestionDecidesBetweenRebootAndCheckFileAndShortTextsAskNothing) {
    DeletionOutcome outcome;
    outcome.rebootNeeded = true;
    outcome.messageText = L"Restart now?";
    outcome.failureText = L"Restart failed.";
    FakeRebootSteps no;
    finishDeletion(outcome, no);
    EXPECT_EQ(no.calls, (Calls{L"ask Restart now?", L"check file"}));
    FakeRebootSteps yes;
    yes.answerYes = true;
    finishDeletion(outcome, yes);
    EXPECT_EQ(yes.calls, (Calls{L"ask Restart now?", L"reboot", L"failure Restart failed."}));
    outcome.messageText = L"12345";
    FakeRebootSteps unasked;
    finishDeletion(outcome, unasked);
    EXPECT_EQ(unasked.calls, Calls{L"check file"});
}

