#include "files/deletion_passes.h"

#include <set>
#include <vector>

#include "files/path_text.h"
#include "services/log.h"

namespace files {

namespace {

struct Entry {
    std::wstring path;
    bool directory;
};

// Entries the child may act on: full paths only (a relative one would resolve against the
// child's current directory, the installer's own folder), and no NUL, which would cut the
// path the system sees short of the one written.
bool isActionable(const std::wstring& path) {
    return isFullPath(path) && path.find(L'\0') == std::wstring::npos;
}

}  // namespace

DeletionOutcome runDeletionPasses(const DeletionFile& file, DeletionSteps& steps) {
    DeletionOutcome outcome;
    outcome.forceReboot = file.mode == kForceRebootMode;
    outcome.rebootAllowed = outcome.forceReboot || file.mode == kRebootDeletionMode;
    outcome.messageText = file.messageText;
    outcome.failureText = file.failureText;

    std::vector<Entry> entries;
    auto take = [&](const std::vector<std::wstring>& paths, bool directory) {
        for (const std::wstring& path : paths) {
            if (isActionable(path)) {
                entries.push_back({path, directory});
            } else {
                services::logMessage(L"ignoring deletion entry %s", path);
            }
        }
    };
    take(file.files, false);
    take(file.directories, true);

    // A pending deletion is recorded once per entry, however often a later pass finds it.
    std::set<std::wstring> scheduled;
    auto scheduleOnce = [&](const std::wstring& path) {
        if (scheduled.count(path)) return true;
        if (!steps.scheduleDeletionAtReboot(path)) return false;
        scheduled.insert(path);
        return true;
    };

    for (int pass = 1; pass <= kDeletionPasses; ++pass) {
        outcome.passes = pass;
        const bool lastPass = pass == kDeletionPasses;
        if (!file.semaphoreName.empty()) steps.waitForSemaphoreRelease(file.semaphoreName);
        bool retry = false;
        std::vector<Entry> remaining;
        for (Entry& entry : entries) {
            const bool gone = entry.directory ? steps.removeDirectory(entry.path) : steps.deleteFile(entry.path);
            if (gone) continue;
            if (isLauncherDirectoryPath(entry.path)) {
                // Our own extraction directory: whatever holds it now will not let go before
                // the reboot, so there is nothing to wait for.
                scheduleOnce(entry.path);
            } else {
                retry = true;
                if (lastPass && outcome.rebootAllowed && scheduleOnce(entry.path) && !entry.directory) {
                    outcome.rebootNeeded = true;
                }
            }
            remaining.push_back(std::move(entry));
        }
        entries.swap(remaining);
        if (!retry) break;
        if (!lastPass) steps.pause(kDeletionPassPauseMilliseconds);
    }
    return outcome;
}

bool isShowableText(const std::wstring& text) { return text.size() > 5; }

RebootDecision decideReboot(const DeletionOutcome& outcome) {
    if (outcome.forceReboot) return RebootDecision::RebootNow;
    if (!outcome.rebootNeeded) return RebootDecision::None;
    return isShowableText(outcome.messageText) ? RebootDecision::AskFirst : RebootDecision::RecordCheckFile;
}

void finishDeletion(const DeletionOutcome& outcome, RebootSteps& steps) {
    auto rebootOrReport = [&] {
        if (!steps.reboot() && isShowableText(outcome.failureText)) steps.showFailure(outcome.failureText);
    };
    switch (decideReboot(outcome)) {
    case RebootDecision::None:
        return;
    case RebootDecision::RebootNow:
        rebootOrReport();
        return;
    case RebootDecision::AskFirst:
        if (steps.askForReboot(outcome.messageText)) {
            rebootOrReport();
        } else {
            steps.recordRebootCheckFile();
        }
        return;
    case RebootDecision::RecordCheckFile:
        steps.recordRebootCheckFile();
        return;
    }
}

}  // namespace files
