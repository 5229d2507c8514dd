// The tests' side of dialog_peer.exe: started before the native that shows a dialog (so that
// it finds and works the dialog while the test's thread is inside the native), then waited
// for, its report read back line by line.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "windows_tree.h"

namespace natives_test {

class DialogPeer {
public:
    // dialog_peer.exe (beside the test program) with "<command> <first> <report> <actions>...".
    DialogPeer(const std::wstring& command, const std::wstring& first, const std::vector<std::wstring>& actions = {});
    ~DialogPeer();
    DialogPeer(const DialogPeer&) = delete;
    DialogPeer& operator=(const DialogPeer&) = delete;

    // Waits for the peer (ended forcibly after the time-out); its report's lines.
    std::vector<std::wstring> finish(DWORD milliseconds = 30000);
    DWORD exitCode() const { return exitCode_; }

private:
    HANDLE process_ = nullptr;
    std::wstring report_;
    DWORD exitCode_ = STILL_ACTIVE;
};

// Drives the dialog of this process.
inline DialogPeer dialogPeer(const std::vector<std::wstring>& actions) {
    return DialogPeer(L"dialog", std::to_wstring(GetCurrentProcessId()), actions);
}

// A new folder under the temporary folder, removed with everything in it at the end.
class ScratchFolder : public test_support::TempFolder {
public:
    ScratchFolder() : TempFolder(L"natives-") {}
    // Creates the file with a few bytes; its path.
    std::wstring create(const std::wstring& name) const;
};

// The lines that begin with `prefix`.
std::vector<std::wstring> linesStartingWith(const std::vector<std::wstring>& lines, const std::wstring& prefix);

}  // namespace natives_test
