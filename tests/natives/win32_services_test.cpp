// Win32Services against Wine's real Service Control Manager and a real service program
// (test_service.exe) that records its arguments and stops quickly, stalls or reports progress.
// What Wine does not keep (dependencies, failure actions, delayed start) is seen on its way
// through stand-ins for the configuration calls, and the manager's refusal is made by one.
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "harness/natives_test.h"
#include "natives/service_functions.h"

namespace natives_test {
namespace {

namespace fs = std::filesystem;

std::wstring readRecord(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
}

// The account and display name the manager keeps for the service.
std::wstring accountAndDisplayName(const std::wstring& name) {
    const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    const SC_HANDLE service = OpenServiceW(manager, name.c_str(), SERVICE_QUERY_CONFIG);
    std::vector<unsigned char> buffer(16384);
    DWORD needed = 0;
    std::wstring text = L"?";
    if (QueryServiceConfigW(service, reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data()), 16384, &needed)) {
        const auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
        text = std::wstring(config->lpServiceStartName) + L"|" + config->lpDisplayName;
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return text;
}

class ServiceNatives : public NativesTest {
protected:
    // Installs test_service.exe in the given mode under a name of this test.
    void install(const wchar_t* mode) {
        name_ = L"cvnTest" + std::to_wstring(GetCurrentProcessId()) + L"_" + mode;
        record_ = fs::temp_directory_path() / (name_ + L".txt");
        wchar_t program[MAX_PATH];
        GetModuleFileNameW(nullptr, program, MAX_PATH);
        binary_ = L"\"" + (fs::path(program).parent_path() / L"test_service.exe").wstring() + L"\" \"" +
                  record_.wstring() + L"\" " + mode;
        ASSERT_EQ(call("installService0", {name(), javaString(name_ + L" shown"), javaString(binary_)}), 0);
    }
    void remove() {
        if (!name_.empty()) {
            if (status() == -4) call("stopService0", {name(), 10000});
            call("uninstallService0", {name()});
            name_.clear();
        }
        if (record_.empty()) return;
        // The service's process may still hold its record a moment after it stopped.
        std::error_code error;
        for (int i = 0; i < 50 && !fs::remove(record_, error) && fs::exists(record_, error); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    void TearDown() override {
        remove();
        NativesTest::TearDown();
    }
    jstring name() { return javaString(name_); }
    static jint call(const std::string& method, std::initializer_list<JavaArgument> arguments) {
        return callInt("Win32Services." + method, arguments);
    }
    jint status() { return call("queryStatus0", {name()}); }
    // Waits up to ten seconds for the state; the state reached.
    jint awaitStatus(jint state) {
        for (int i = 0; i < 100 && status() != state; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return status();
    }
    void startRunning() {
        ASSERT_EQ(call("startService0", {name(), nullptr}), 0);
        ASSERT_EQ(awaitStatus(-4), -4);
    }
    // stopService0's result and how long it took, in milliseconds.
    std::pair<jint, long long> timedStop(jint timeout) {
        const auto start = std::chrono::steady_clock::now();
        const jint result = call("stopService0", {name(), timeout});
        return {result, std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count()};
    }

    std::wstring name_, binary_;
    fs::path record_;
};

TEST_F(ServiceNatives, ALifeCycle) {
    install(L"quick");
    EXPECT_EQ(call("installService0", {name(), nullptr, javaString(binary_)}), ERROR_SERVICE_EXISTS);
    EXPECT_EQ(textOf(callObject("Win32Services.getServiceBinary0", {name()})), binary_);
    EXPECT_EQ(call("getStartType0", {name()}), -3);
    EXPECT_EQ(status(), -1);
    EXPECT_EQ(call("stopService0", {name(), 0}), ERROR_SERVICE_NOT_ACTIVE);

    EXPECT_EQ(call("startService0", {name(), javaStrings({L"alpha", L"b c"})}), 0);
    EXPECT_EQ(awaitStatus(-4), -4);
    EXPECT_EQ(readRecord(record_), name_ + L"\nalpha\nb c\n");
    // It stops within its wait hint: a time-out of 0 still sees it stopped.
    EXPECT_EQ(timedStop(0).first, 0);
    EXPECT_EQ(status(), -1);
    startRunning();
    EXPECT_EQ(readRecord(record_), name_ + L"\n");
    EXPECT_EQ(timedStop(0).first, 0);

    EXPECT_EQ(call("uninstallService0", {name()}), 0);
    for (const char* method : {"queryStatus0", "getStartType0", "uninstallService0"})
        EXPECT_EQ(call(method, {name()}), ERROR_SERVICE_DOES_NOT_EXIST) << method;
    EXPECT_EQ(call("startService0", {name(), nullptr}), ERROR_SERVICE_DOES_NOT_EXIST);
    EXPECT_EQ(textOf(callObject("Win32Services.getServiceBinary0", {name()})), L" 1060");
    name_.clear();
}

TEST_F(ServiceNatives, StopWaits) {
    // A stall is given up after its wait hint (1 s) and the time-out (2 s)...
    install(L"stall");
    startRunning();
    const auto [stalled, stallTook] = timedStop(2000);
    EXPECT_EQ(stalled, 50001);
    EXPECT_GE(stallTook, 2000);
    EXPECT_LT(stallTook, 5000);
    EXPECT_EQ(awaitStatus(-1), -1);
    remove();

    // ...progress (a rising checkpoint for 3 s) is waited for past the time-out.
    install(L"progress");
    startRunning();
    const auto [progressed, progressTook] = timedStop(500);
    EXPECT_EQ(progressed, 0);
    EXPECT_GE(progressTook, 3000);
    EXPECT_EQ(status(), -1);
}

// ---- Stand-ins ---------------------------------------------------------------------------------

std::vector<std::wstring> calls;
// The configuration level the stand-in refuses, as Wine refuses delayed start; 0 for none.
DWORD refusedLevel = SERVICE_CONFIG_DELAYED_AUTO_START_INFO;

std::wstring text(const wchar_t* value) { return value ? L"'" + std::wstring(value) + L"'" : L"null"; }

BOOL WINAPI recordConfig(SC_HANDLE service, DWORD serviceType, DWORD startType, DWORD errorControl, LPCWSTR binary,
                         LPCWSTR group, LPDWORD tag, LPCWSTR dependencies, LPCWSTR account, LPCWSTR password,
                         LPCWSTR displayName) {
    // The list as the manager reads it: names up to the empty one.
    std::wstring list = dependencies ? L"" : L"null";
    for (const wchar_t* d = dependencies; d && *d; d += wcslen(d) + 1) list += std::wstring(d) + L"|";
    calls.push_back(std::to_wstring(serviceType) + L" " + std::to_wstring(startType) + L" " +
                    std::to_wstring(errorControl) + L" " + text(binary) + L" " + list + L" " + text(account) + L" " +
                    text(password) + L" " + text(displayName));
    return ChangeServiceConfigW(service, serviceType, startType, errorControl, binary, group, tag, dependencies,
                                account, password, displayName);
}

BOOL WINAPI recordChange(SC_HANDLE, DWORD level, LPVOID info) {
    std::wstring seen = L"level " + std::to_wstring(level);
    if (level == SERVICE_CONFIG_FAILURE_ACTIONS) {
        const auto* failure = static_cast<SERVICE_FAILURE_ACTIONSW*>(info);
        seen += L" reset " + std::to_wstring(failure->dwResetPeriod) + (failure->lpsaActions ? L" actions" : L" null");
        for (DWORD i = 0; i < failure->cActions; ++i)
            seen += L" " + std::to_wstring(failure->lpsaActions[i].Type) + L"/" + std::to_wstring(failure->lpsaActions[i].Delay);
        if (failure->lpRebootMsg || failure->lpCommand) seen += L" message or command";
    } else if (level == SERVICE_CONFIG_DELAYED_AUTO_START_INFO) {
        seen += L" " + std::to_wstring(static_cast<SERVICE_DELAYED_AUTO_START_INFO*>(info)->fDelayedAutostart);
    } else if (level == SERVICE_CONFIG_DESCRIPTION) {
        seen += L" " + text(static_cast<SERVICE_DESCRIPTIONW*>(info)->lpDescription);
    }
    calls.push_back(seen);
    SetLastError(ERROR_ACCESS_DENIED);
    return level != refusedLevel;
}

SC_HANDLE WINAPI refuseManager(LPCWSTR, LPCWSTR, DWORD) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
}

using Calls = std::vector<std::wstring>;

TEST_F(ServiceNatives, ChangedConfiguration) {
    install(L"quick");
    calls.clear();
    const natives::ServiceFunctions standIn{&OpenSCManagerW, recordConfig, recordChange};
    natives::ReplacedServiceFunctions replaced(standIn);
    EXPECT_EQ(call("changeServiceConfig0", {name(), javaString(L"Shown"), nullptr, -1, SERVICE_AUTO_START,
                                            javaString(L",Tcpip,,RpcSs,"), javaString(L"NT AUTHORITY\\LocalSystem"),
                                            javaString(L"s3cret"), javaString(L"About it")}),
              0);
    EXPECT_EQ(accountAndDisplayName(name_), L"LocalSystem|Shown");
    EXPECT_EQ(call("getStartType0", {name()}), -2);
    // Only the two exact spellings are rewritten; null or empty dependencies clear the list.
    EXPECT_EQ(call("changeServiceConfig0", {name(), nullptr, nullptr, SERVICE_WIN32_OWN_PROCESS, SERVICE_DISABLED,
                                            nullptr, javaString(L"NT AUTHORITY\\System"), nullptr, nullptr}),
              0);
    EXPECT_EQ(call("changeServiceConfig0",
                   {name(), nullptr, nullptr, -1, -1, javaString(L""), javaString(L"nt authority\\system"), nullptr, nullptr}),
              0);
    EXPECT_EQ(call("getStartType0", {name()}), -4);
    EXPECT_EQ(calls, (Calls{L"4294967295 2 4294967295 null Tcpip|RpcSs| 'LocalSystem' 's3cret' 'Shown'",
                            L"level 1 'About it'",  // the description, after the configuration
                            L"16 4 4294967295 null  'LocalSystem' null null",
                            L"4294967295 4294967295 4294967295 null  'nt authority\\system' null null"}));
    EXPECT_EQ(call("changeServiceConfig0", {javaString(L"cvnNoSuchService"), nullptr, nullptr, -1, -1, nullptr, nullptr,
                                            nullptr, nullptr}),
              ERROR_SERVICE_DOES_NOT_EXIST);

    // Failure actions: count restarts and a final no-action; a count of 0 (or below) restarts
    // once; no restart removes the actions through an empty, non-null list.
    calls.clear();
    EXPECT_EQ(call("setRestartServiceConfig0", {name(), true, 60000, 3, 86400}), 0);
    EXPECT_EQ(call("setRestartServiceConfig0", {name(), true, 500, 0, 0}), 0);
    EXPECT_EQ(call("setRestartServiceConfig0", {name(), true, 500, -2, 0}), 0);
    EXPECT_EQ(call("setRestartServiceConfig0", {name(), false, 500, 3, 0}), 0);
    EXPECT_EQ(call("setDelayedAutoStart0", {name(), true}), ERROR_ACCESS_DENIED);
    EXPECT_EQ(call("setDelayedAutoStart0", {name(), false}), ERROR_ACCESS_DENIED);
    EXPECT_EQ(calls, (Calls{L"level 2 reset 86400 actions 1/60000 1/60000 1/60000 0/60000",
                            L"level 2 reset 0 actions 1/500", L"level 2 reset 0 actions 1/500",
                            L"level 2 reset 0 actions", L"level 3 1", L"level 3 0"}));
    const natives::ServiceFunctions withoutChange2{&OpenSCManagerW, &ChangeServiceConfigW, nullptr};
    natives::ReplacedServiceFunctions missing(withoutChange2);
    EXPECT_EQ(call("setRestartServiceConfig0", {name(), true, 500, 1, 0}), 1);
    EXPECT_EQ(call("setDelayedAutoStart0", {name(), true}), ERROR_CALL_NOT_IMPLEMENTED);
}

// As Windows takes a delayed start (Wine knows none) and refuses failure actions to a caller
// without the right: zero for the one, the system's error for the other.
TEST_F(ServiceNatives, ADelayedStartTakenAndFailureActionsRefused) {
    install(L"quick");
    calls.clear();
    const natives::ServiceFunctions standIn{&OpenSCManagerW, recordConfig, recordChange};
    natives::ReplacedServiceFunctions replaced(standIn);
    refusedLevel = SERVICE_CONFIG_FAILURE_ACTIONS;
    EXPECT_EQ(call("setDelayedAutoStart0", {name(), true}), 0);
    EXPECT_EQ(call("setRestartServiceConfig0", {name(), true, 1000, 2, 60}), ERROR_ACCESS_DENIED);
    refusedLevel = SERVICE_CONFIG_DELAYED_AUTO_START_INFO;
    EXPECT_EQ(calls, (Calls{L"level 3 1", L"level 2 reset 60 actions 1/1000 1/1000 0/1000"}));
}

TEST_F(ServiceNatives, ABootDriversStartTypeIsZero) {
    const std::wstring driver = L"cvnTestDriver" + std::to_wstring(GetCurrentProcessId());
    const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    const SC_HANDLE service =
        CreateServiceW(manager, driver.c_str(), driver.c_str(), SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                       SERVICE_BOOT_START, SERVICE_ERROR_NORMAL, L"System32\\drivers\\cvn_test.sys", nullptr, nullptr,
                       nullptr, nullptr, nullptr);
    ASSERT_NE(service, nullptr) << GetLastError();
    EXPECT_EQ(call("getStartType0", {javaString(driver)}), 0);
    EXPECT_EQ(call("queryStatus0", {javaString(driver)}), -SERVICE_STOPPED);
    DeleteService(service);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
}

TEST_F(ServiceNatives, WhatWineAnswersForFailureActionsAndDelayedStart) {
    // Wine takes failure actions without keeping them and knows no delayed start.
    install(L"quick");
    EXPECT_EQ(call("setRestartServiceConfig0", {name(), true, 60000, 3, 86400}), 0);
    EXPECT_EQ(call("setDelayedAutoStart0", {name(), true}), ERROR_INVALID_LEVEL);
    EXPECT_EQ(call("setDelayedAutoStart0", {javaString(L"cvnNoSuchService"), true}), ERROR_SERVICE_DOES_NOT_EXIST);
}

TEST_F(ServiceNatives, AManagerThatCannotBeOpened) {
    const natives::ServiceFunctions refusing{refuseManager, recordConfig, recordChange};
    natives::ReplacedServiceFunctions replaced(refusing);
    const jstring name = javaString(L"anything");
    EXPECT_EQ(call("installService0", {name, nullptr, javaString(L"x.exe")}), 5000);
    EXPECT_EQ(call("changeServiceConfig0", {name, nullptr, nullptr, -1, -1, nullptr, nullptr, nullptr, nullptr}), 5000);
    EXPECT_EQ(call("setRestartServiceConfig0", {name, true, 1, 1, 1}), 5000);
    EXPECT_EQ(call("setDelayedAutoStart0", {name, true}), 5000);
    EXPECT_EQ(call("stopService0", {name, 0}), 5000);
    EXPECT_EQ(call("startService0", {name, nullptr}), 5000);
    for (const char* method : {"uninstallService0", "queryStatus0", "getStartType0"}) EXPECT_EQ(call(method, {name}), 5000);
    EXPECT_EQ(textOf(callObject("Win32Services.getServiceBinary0", {name})), L" 5000");
}

}  // namespace
}  // namespace natives_test
