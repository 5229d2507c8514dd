// Misc: system facts against the system's own answers, the environment, the process list and
// the windows of natives_peer.exe processes as another program sees them, delayed moves read
// back from the registry, and reboot through its seam.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "harness/natives_test.h"
#include "natives/misc_seams.h"
#include "privileges.h"
#include "peer_process.h"

namespace natives_test {
namespace {

class MiscNatives : public NativesTest {};

constexpr wchar_t kTitle[] = L"Misc natives peer";

struct WindowSearch {
    DWORD process;
    bool found;
};

BOOL CALLBACK findVisible(HWND window, LPARAM parameter) {
    auto& search = *reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search.process && IsWindowVisible(window)) search.found = true;
    return TRUE;
}

bool hasVisibleWindow(DWORD process) {
    WindowSearch search{process, false};
    EnumWindows(findVisible, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void waitForWindow(const Peer& peer) {
    for (int i = 0; i < 200 && !hasVisibleWindow(peer.id()); ++i) Sleep(25);
    ASSERT_TRUE(hasVisibleWindow(peer.id()));
}

TEST_F(MiscNatives, SystemFactsAreTheSystemsOwn) {
    // The system's machine, not the process's: x64 also for a 32-bit process on it, i386 only on a
    // 32-bit system (Wine's 32-bit prefix is one).
    SYSTEM_INFO system = {};
    GetNativeSystemInfo(&system);
    EXPECT_EQ(callInt("Misc.getMachine0", {}),
              system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ? 0x8664 : 0x14C);

    OSVERSIONINFOW version = {sizeof(version)};
    GetVersionExW(&version);
    EXPECT_EQ(callInt("Misc.getOsBuildNumber0", {}), static_cast<jint>(version.dwBuildNumber));

    MEMORYSTATUSEX memory = {sizeof(memory)};
    GlobalMemoryStatusEx(&memory);
    EXPECT_EQ(callLong("Misc.getPhysicalMemory0", {}), static_cast<jlong>(memory.ullTotalPhys));

    EXPECT_GT(callLong("Misc.getFreeDiskSpace0", {javaString(L"C:\\")}), 0);
    EXPECT_EQ(callLong("Misc.getFreeDiskSpace0", {javaString(L"C:\\no\\such\\folder")}), -1);

    Peer peer(L"hidden");
    ASSERT_TRUE(peer.started());
    EXPECT_EQ(callInt("Misc.getPidFromHandle0", {jni::toJavaHandle(peer.handle())}), static_cast<jint>(peer.id()));
}

TEST_F(MiscNatives, EnvironmentAndRunningProcesses) {
    ASSERT_TRUE(SetEnvironmentVariableW(L"MISC_NATIVES_TEST", L"a=b c"));
    const auto pairs = textsOf(callObject("Misc.getEnvVarPairs0", {}));
    ASSERT_TRUE(pairs);
    EXPECT_NE(std::find(pairs->begin(), pairs->end(), L"MISC_NATIVES_TEST=a=b c"), pairs->end());
    SetEnvironmentVariableW(L"MISC_NATIVES_TEST", nullptr);

    Peer peer(L"hidden");
    ASSERT_TRUE(peer.started());
    const std::wstring wanted = std::to_wstring(peer.id()) + L" " + peerPath();
    for (const jboolean keepDebugPrivilegeOff : {JNI_FALSE, JNI_TRUE}) {
        const auto modules = textsOf(callObject("Misc.getRunningModules0", {keepDebugPrivilegeOff}));
        ASSERT_TRUE(modules);
        const bool found = std::any_of(modules->begin(), modules->end(),
                                       [&](const std::wstring& entry) { return _wcsicmp(entry.c_str(), wanted.c_str()) == 0; });
        EXPECT_TRUE(found) << "no entry " << std::string(wanted.begin(), wanted.end());
    }
}

std::vector<std::wstring> pendingRenames() {
    HKEY key = nullptr;
    std::vector<std::wstring> entries;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Session Manager", 0, KEY_READ, &key)) {
        return entries;
    }
    DWORD bytes = 0;
    if (RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, nullptr, &bytes) == ERROR_SUCCESS) {
        std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
        RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, reinterpret_cast<BYTE*>(value.data()), &bytes);
        value.resize(bytes / sizeof(wchar_t));
        // Pairs of source and target; an empty target (deletion) is an empty string.
        for (std::size_t at = 0; at < value.size();) {
            const std::size_t end = value.find(L'\0', at);
            if (end == std::wstring::npos) break;
            entries.push_back(value.substr(at, end - at));
            at = end + 1;
        }
    }
    RegCloseKey(key);
    return entries;
}

TEST_F(MiscNatives, DelayedMovesAreRegisteredForTheNextStart) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring source = std::wstring(temp) + L"misc_delayed_source.txt";
    const std::wstring target = std::wstring(temp) + L"misc_delayed_target.txt";
    CloseHandle(CreateFileW(source.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));

    ASSERT_TRUE(callBoolean("Misc.moveWithDelayUntilReboot0", {javaString(source), javaString(target)}));
    ASSERT_TRUE(callBoolean("Misc.moveWithDelayUntilReboot0", {javaString(source), nullptr}));
    const std::vector<std::wstring> entries = pendingRenames();
    auto pair = [&](const std::wstring& from, const std::wstring& to) {
        for (std::size_t i = 0; i + 1 < entries.size(); i += 2) {
            if (entries[i] == L"\\??\\" + from && entries[i + 1] == to) return true;
        }
        return false;
    };
    EXPECT_TRUE(pair(source, L"\\??\\" + target));
    EXPECT_TRUE(pair(source, L""));  // deletion
    EXPECT_FALSE(callBoolean("Misc.moveWithDelayUntilReboot0", {nullptr, nullptr}));
    DeleteFileW(source.c_str());
}

struct RebootSteps {
    static inline bool privilegeGranted = false;
    static inline std::vector<std::string> taken;
    static void sleep(DWORD) { taken.push_back("sleep"); }
    static bool enable() { return taken.push_back("privilege"), privilegeGranted; }
    static bool exitWindows() { return taken.push_back("exit"), true; }
};

TEST_F(MiscNatives, RebootNeedsTheShutdownPrivilege) {
    static const services::RebootActions actions = {RebootSteps::sleep, RebootSteps::enable, RebootSteps::exitWindows};
    natives::setRebootActions(&actions);
    RebootSteps::privilegeGranted = false;
    callVoid("Misc.reboot0", {});
    EXPECT_EQ(RebootSteps::taken, (std::vector<std::string>{"privilege"}));
    RebootSteps::taken.clear();
    RebootSteps::privilegeGranted = true;
    callVoid("Misc.reboot0", {});
    EXPECT_EQ(RebootSteps::taken, (std::vector<std::string>{"privilege", "exit"}));
    natives::setRebootActions(nullptr);
}

// The system's own privilege step on the process's token; only the reboot itself is held back.
TEST_F(MiscNatives, RebootEnablesTheShutdownPrivilegeOfTheProcess) {
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token));
    TOKEN_PRIVILEGES off = {1, {{{}, 0}}};
    LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &off.Privileges[0].Luid);
    AdjustTokenPrivileges(token, FALSE, &off, 0, nullptr, nullptr);
    CloseHandle(token);
    ASSERT_FALSE(privilegeEnabled(L"SeShutdownPrivilege"));

    static const services::RebootActions actions = {RebootSteps::sleep,
                                                    services::systemRebootActions().enableShutdownPrivilege,
                                                    RebootSteps::exitWindows};
    natives::setRebootActions(&actions);
    RebootSteps::taken.clear();
    callVoid("Misc.reboot0", {});
    natives::setRebootActions(nullptr);
    EXPECT_TRUE(privilegeEnabled(L"SeShutdownPrivilege"));
    EXPECT_EQ(RebootSteps::taken, (std::vector<std::string>{"exit"}));
}

// The broadcast reaches a window of this thread, which sees the text the native sent.
LRESULT CALLBACK settingListener(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    static std::wstring* heard = nullptr;
    if (message == WM_NCCREATE) heard = static_cast<std::wstring*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    if (message == WM_SETTINGCHANGE && heard && lParam) *heard = reinterpret_cast<const wchar_t*>(lParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND makeWindow(const wchar_t* title, void* parameter = nullptr) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = settingListener;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"MiscNativesTestWindow";
    RegisterClassW(&windowClass);
    return CreateWindowExW(0, windowClass.lpszClassName, title, WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                           windowClass.hInstance, parameter);
}

TEST_F(MiscNatives, SettingChangeIsBroadcast) {
    std::wstring heard;
    const HWND window = makeWindow(L"listener", &heard);
    callVoid("Misc.broadcastSettingChange0", {});
    EXPECT_EQ(heard, L"Environment");
    DestroyWindow(window);
}

TEST_F(MiscNatives, WindowsOfAnotherProcess) {
    Peer peer(std::wstring(L"untitled \"") + kTitle + L"\"");
    ASSERT_TRUE(peer.started());
    for (int i = 0; i < 200 && !FindWindowW(L"NativesPeerWindow", kTitle); ++i) Sleep(25);
    const jclass recordClass = env()->FindClass("com/corvane/api/windows/WindowInfo");
    const jobject records = callObject("Misc.getTopLevelWindows0", {recordClass, static_cast<jint>(peer.id())});
    ASSERT_NE(records, nullptr);
    ASSERT_EQ(env()->GetArrayLength(static_cast<jarray>(records)), 2);
    const HWND titled = FindWindowW(L"NativesPeerWindow", kTitle);
    const jobject first = env()->GetObjectArrayElement(static_cast<jobjectArray>(records), 0);
    EXPECT_EQ(toStringOf(first), std::to_wstring(reinterpret_cast<std::uintptr_t>(titled)) + L"|" +
                                     std::to_wstring(static_cast<jint>(GetWindowLongW(titled, GWL_STYLE))) +
                                     L"|NativesPeerWindow|" + kTitle);
    EXPECT_EQ(env()->GetObjectArrayElement(static_cast<jobjectArray>(records), 1), nullptr);
    EXPECT_EQ(textOf(callObject("Misc.getWindowTitle0", {static_cast<jint>(peer.id())})), kTitle);

    {
        DiagnosticsCapture lines;
        HiddenClass hidden("com/corvane/api/windows/WindowInfo.<init>");
        EXPECT_EQ(callObject("Misc.getTopLevelWindows0", {recordClass, static_cast<jint>(peer.id())}), nullptr);
        EXPECT_EQ(lines.error(), "window info constructor not found");
        EXPECT_NE(takePendingException().find("NoSuchMethodError"), std::string::npos);
    }
    Peer hidden(L"hidden");
    EXPECT_EQ(callObject("Misc.getTopLevelWindows0", {recordClass, static_cast<jint>(hidden.id())}), nullptr);
    EXPECT_EQ(textOf(callObject("Misc.getWindowTitle0", {static_cast<jint>(hidden.id())})), L"");
}

TEST_F(MiscNatives, ProcessesAreClosedOrEnded) {
    auto ids = [&](std::initializer_list<DWORD> list) {
        const jintArray array = env()->NewIntArray(static_cast<jsize>(list.size()));
        std::vector<jint> values(list.begin(), list.end());
        env()->SetIntArrayRegion(array, 0, static_cast<jsize>(values.size()), values.data());
        return array;
    };
    {  // One without a visible window: 0 at once, the others still get WM_CLOSE.
        Peer closing(L"window closing");
        Peer hidden(L"hidden");
        waitForWindow(closing);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(callInt("Misc.terminateProcesses0", {ids({closing.id(), hidden.id()}), JNI_FALSE, 20000}), 0);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
        EXPECT_TRUE(closing.endsWithin(10000));
        EXPECT_TRUE(hidden.running());
        // Forced: ended with code 0; an id of no process counts as not ended.
        EXPECT_EQ(callInt("Misc.terminateProcesses0", {ids({hidden.id()}), JNI_TRUE, 0}), 1);
        EXPECT_TRUE(hidden.endsWithin(10000));
        EXPECT_EQ(hidden.exitCode(), 0u);
        EXPECT_EQ(callInt("Misc.terminateProcesses0", {ids({0x7FFFFFFC}), JNI_TRUE, 0}), 0);
    }
    {
        Peer closing(L"window closing");
        waitForWindow(closing);
        EXPECT_EQ(callInt("Misc.terminateProcesses0", {ids({closing.id()}), JNI_FALSE, 20000}), 1);
        EXPECT_FALSE(closing.running());
    }
    {
        Peer stubborn(L"stubborn ignoring");
        waitForWindow(stubborn);
        EXPECT_EQ(callInt("Misc.terminateProcesses0", {ids({stubborn.id()}), JNI_FALSE, 300}), 3);
        EXPECT_TRUE(stubborn.running());
    }
}

TEST_F(MiscNatives, WindowsComeToTheFront) {
    const HWND own = makeWindow(L"own");
    ShowWindow(own, SW_SHOWMINIMIZED);
    ASSERT_TRUE(IsIconic(own));
    callVoid("Misc.setForegroundWindow0", {jni::toJavaHandle(own)});
    EXPECT_FALSE(IsIconic(own));
    EXPECT_EQ(GetForegroundWindow(), own);

    Peer other(L"window other");
    waitForWindow(other);
    SetForegroundWindow(FindWindowW(L"NativesPeerWindow", L"other"));
    callVoid("Misc.toFront0", {});
    EXPECT_EQ(GetForegroundWindow(), own);
    DestroyWindow(own);
}

}  // namespace
}  // namespace natives_test
