// What the deletion child does with a deletion file, over injected system steps: the passes
// that delete and retry, and the reboot decision after them. The Windows steps live in
// deletion_child.cpp; tests drive these with fakes, so that no test ever reboots.
#pragma once

#include <string>

#include "files/deletion_file.h"

namespace files {

inline constexpr int kDeletionPasses = 60;
inline constexpr unsigned kDeletionPassPauseMilliseconds = 500;

class DeletionSteps {
public:
    virtual ~DeletionSteps() = default;
    // Blocks while a semaphore of that name exists.
    virtual void waitForSemaphoreRelease(const std::wstring& name) = 0;
    // True when the entry is gone afterwards: removed now, or not there in the first place.
    virtual bool deleteFile(const std::wstring& path) = 0;
    virtual bool removeDirectory(const std::wstring& path) = 0;
    virtual bool scheduleDeletionAtReboot(const std::wstring& path) = 0;
    virtual void pause(unsigned milliseconds) = 0;
};

struct DeletionOutcome {
    bool forceReboot = false;     // mode "force_reboot"
    bool rebootAllowed = false;   // mode "force_reboot" or "reboot_deletion"
    bool rebootNeeded = false;    // a file was scheduled for the reboot after the last pass
    int passes = 0;
    std::wstring messageText;
    std::wstring failureText;
};

// Up to kDeletionPasses passes over the entries, in order: files, then directories (children
// before parents as listed). Entries of launcher extraction directories that resist are
// scheduled for the reboot at once; other entries are retried and, when the mode allows a
// reboot, scheduled after the last pass. Entries that are not full paths are never touched.
DeletionOutcome runDeletionPasses(const DeletionFile& file, DeletionSteps& steps);

class RebootSteps {
public:
    virtual ~RebootSteps() = default;
    // True when the reboot was started.
    virtual bool reboot() = 0;
    virtual void showFailure(const std::wstring& text) = 0;
    // True when the user answered "Yes".
    virtual bool askForReboot(const std::wstring& question) = 0;
    // Leaves a file that only the reboot removes and records it as "RebootCheckFile".
    virtual void recordRebootCheckFile() = 0;
};

enum class RebootDecision { None, RebootNow, AskFirst, RecordCheckFile };

// Texts of five characters or fewer are not worth a dialog.
bool isShowableText(const std::wstring& text);
RebootDecision decideReboot(const DeletionOutcome& outcome);
// Carries out the decision, including the failure text when a reboot cannot be started.
void finishDeletion(const DeletionOutcome& outcome, RebootSteps& steps);

}  // namespace files
