// Driving launcher.exe from outside, the way a user or the MSI wrapper would: build a media
// file, start it with arguments and environment, find its message boxes and press their
// buttons, collect exit code, output and launcher log.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "mediatool/media_writer.h"
#include "windows_tree.h"

namespace e2e {

// The folder of the running test program, where launcher.exe lies beside it.
std::wstring binDirectory();
std::wstring launcherTemplatePath();
// The home of the built stand-in runtime (java.exe, javaw.exe, jli.dll, server\jvm.dll).
std::wstring standInRuntimeHome();

// A private folder of the test under the system's temporary folder, removed with everything in it.
class TempFolder : public test_support::TempFolder {
public:
    TempFolder() : test_support::TempFolder(L"e2e_") {}
};

using test_support::removeTree;
bool exists(const std::wstring& path);
// Polls `condition` every 50 ms until it holds (true) or `milliseconds` have passed (false).
bool waitUntil(const std::function<bool()>& condition, DWORD milliseconds);
std::string readFileBytes(const std::wstring& path);
void writeFileBytes(const std::wstring& path, const std::string& bytes);

// Packs the folder's files and subfolders into a gzip-compressed ustar archive, names relative
// to the folder (at most 100 characters each), as an installer carries its runtime.
void writeTarGz(const std::wstring& archive, const std::wstring& folder);

// Writes a media file from launcher.exe and the description; returns its path.
std::wstring buildMedia(const TempFolder& folder, const media::MediaDescription& description,
                        const std::wstring& name = L"setup.exe");

struct RunOptions {
    std::vector<std::wstring> arguments;
    // Variables to set (a value) or remove (none) for the launcher. LUMBRA_JAVA_HOME names the
    // built stand-in runtime unless set or removed here.
    std::map<std::wstring, std::optional<std::wstring>> environment;
    // TMP and TEMP point here when set, so that the launcher's log lands in a known place.
    std::wstring temporaryFolder;
    // The launcher's current directory; the test program's when empty.
    std::wstring workingDirectory;
    // Called with the process id before the launcher's first instruction runs (it is started
    // suspended), for what needs the id in place beforehand.
    std::function<void(DWORD processId)> beforeStart;
};

struct MessageBoxInfo {
    HWND window = nullptr;
    std::wstring title;
    std::wstring text;
};

// A started launcher; ended forcibly if still running when destroyed.
class LauncherProcess {
public:
    LauncherProcess(const std::wstring& executable, const RunOptions& options);
    ~LauncherProcess();
    LauncherProcess(const LauncherProcess&) = delete;
    LauncherProcess& operator=(const LauncherProcess&) = delete;

    DWORD processId() const { return processId_; }
    // The exit code, or none when it did not end in time.
    std::optional<DWORD> wait(DWORD milliseconds = 30000);
    // A message box (dialog class "#32770") of this process, waiting up to the time-out.
    std::optional<MessageBoxInfo> waitForMessageBox(DWORD milliseconds = 20000);
    // A visible top-level window of this process with the given class.
    HWND waitForWindow(const wchar_t* className, DWORD milliseconds = 20000);
    // The current directory of the running launcher, without a trailing separator.
    std::wstring currentDirectory();
    std::string standardOutput();
    std::string standardError();

private:
    // Thread start routines are stdcall functions (a lambda is not, in the 32-bit build).
    static DWORD WINAPI drainOutput(void* self);
    static DWORD WINAPI drainError(void* self);

    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
    HANDLE outputRead_ = nullptr;
    HANDLE errorRead_ = nullptr;
    HANDLE readers_[2] = {nullptr, nullptr};
    std::string output_;
    std::string error_;
};

// Presses a dialog button the way a click does.
void pressButton(HWND dialog, int id);

// How a run ended: its exit code (none after the time-out), the message box it showed (answered
// with `button`), and its output, with standard error's CR LF line breaks made plain.
struct Finished {
    std::optional<DWORD> exitCode;
    std::optional<MessageBoxInfo> box;
    std::string output;
    std::string error;
};
Finished runToEnd(const std::wstring& executable, const RunOptions& options, int button = IDOK,
                  DWORD boxWait = 8000);

// Files in the way of the folders a launcher makes to test whether a folder is writable
// ("lmbtw<process id><random number>"), so that it finds none of the given folders writable.
// The number comes from the C runtime's generator seeded with the time in seconds times the
// process id, the same generator as in this program: a file is placed for every second from a
// little before now to `seconds` after. They go with the object.
class ProbeBlockers {
public:
    ProbeBlockers() = default;
    ProbeBlockers(const ProbeBlockers&) = delete;
    ProbeBlockers& operator=(const ProbeBlockers&) = delete;
    ~ProbeBlockers();
    void block(DWORD processId, const std::vector<std::wstring>& folders, unsigned seconds = 180);

private:
    std::vector<std::wstring> files_;
};

// The temporary base's candidates that are no folders of the user's: the common application
// data's "corvane\temp", the Windows temp folder, c:\temp, c:\tmp and the Windows folder
// (those the launcher would create are created).
std::vector<std::wstring> sharedTemporaryCandidates();

// Texts of the launcher logs ("cvn_nlog_*.log") in a folder, decoded from UTF-8.
std::vector<std::wstring> launcherLogs(const std::wstring& folder);

// A registry value set for a test's time, and put back as it was (or removed) at the end.
class RegistryValue {
public:
    RegistryValue(HKEY root, const std::wstring& key, const wchar_t* name, DWORD type, const void* data, DWORD size);
    RegistryValue(const RegistryValue&) = delete;
    RegistryValue& operator=(const RegistryValue&) = delete;
    ~RegistryValue();

private:
    HKEY root_;
    std::wstring key_;
    const wchar_t* name_;
    bool had_ = false;
    DWORD oldType_ = 0;
    std::string old_;
};

// The machine reports Windows 11 (10.0, build 22000) for a test's time: Wine knows no Windows 11
// by name, and the version it reports comes from the "Windows NT\CurrentVersion" values.
class Windows11Version {
public:
    Windows11Version();

private:
    static constexpr const wchar_t* kKey = L"Software\\Microsoft\\Windows NT\\CurrentVersion";
    static constexpr DWORD kTen = 10;
    static constexpr DWORD kZero = 0;
    RegistryValue major_;
    RegistryValue minor_;
    RegistryValue version_;
    RegistryValue build_;
    RegistryValue buildNumber_;
};

}  // namespace e2e
