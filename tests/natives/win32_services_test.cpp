// Win32Services against Wine's real Service Control Manager and a real service program
// (test_service.exe) that records its arguments and stops quickly, stalls or reports progress;
// failure actions and delayed start, which Wine does not keep, through a stand-in for
// ChangeServiceConfig2W, and the manager's refusal through a stand-in for opening it.
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

fs::path programFolder() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return fs::path(path).parent_path();
}

std::wstring readRecord(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
}

struct Config {
    DWORD startType = 0;
    std::wstring dependencies, account, displayName, binary;
};

Config configOf(const std::wstring& name) {
    Config config;
    const SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    const SC_HANDLE service = OpenServiceW(manager, name.c_str(), SERVICE_QUERY_CONFIG);
    std::vector<unsigned char> buffer(16384);
    DWORD needed = 0;
    if (service && QueryServiceConfigW(service, reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data()),
                                       static_cast<DWORD>(buffer.size()), &needed)) {
        const auto* q = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
        config.startType = q->dwStartType;
        for (const wchar_t* d = q->lpDependencies; d && *d; d += wcslen(d) + 1) config.dependencies += std::wstring(d) + L"|";
        config.account = q->lpServiceStartName ? q->lpServiceStartName : L"";
        config.displayName = q->lpDisplayName ? q->lpDisplayName : L"";
        config.binary = q->lpBinaryPathName ? q->lpBinaryPathName : L"";
    }
    if (service) CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return config;
}

class ServiceNatives : public NativesTest {
protected:
    // Installs test_service.exe under a name of this test, in the given mode.
    void install(const wchar_t* mode) {
        name_ = L"cvnTest" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                std::wstring(mode) + std::to_wstring(++serial_);
        record_ = fs::temp_directory_path() / (name_ + L".txt");
        fs::remove(record_);
        binary_ = L"\"" + (programFolder() / L"test_service.exe").wstring() + L"\" \"" + record_.wstring() + L"\" " + mode;
        ASSERT_EQ(callInt("Win32Services.installService0", {javaString(name_), javaString(name_ + L" shown"), javaString(binary_)}), 0);
    }
    void TearDown() override {
        if (!name_.empty()) {
            if (status() == -4) callInt("Win32Services.stopService0", {javaString(name_), 10000});
            callInt("Win32Services.uninstallService0", {javaString(name_)});
            fs::remove(record_);
        }
        NativesTest::TearDown();
    }
    jint status() { return callInt("Win32Services.queryStatus0", {javaString(name_)}); }
    // Waits up to ten seconds for the state; the state reached.
    jint awaitStatus(jint state) {
        for (int i = 0; i < 100 && status() != state; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return status();
    }
    // stopService0's result and how long it took, in milliseconds.
    std::pair<jint, long long> timedStop(jint timeout) {
        const auto start = std::chrono::steady_clock::now();
        const jint result = callInt("Win32Services.stopService0", {javaString(name_), timeout});
        const auto took = std::chrono::steady_clock::now() - start;
        return {result, std::chrono::duration_cast<std::chrono::milliseconds>(took).count()};
    }

    std::wstring name_;
    std::wstring binary_;
    fs::path record_;
    static inline int serial_ = 0;
};

TEST_F(ServiceNatives, ALifeCycle) {
    install(L"quick");
    EXPECT_EQ(callInt("Win32Services.installService0", {javaString(name_), nullptr, javaString(binary_)}),
              ERROR_SERVICE_EXISTS);
    EXPECT_EQ(textOf(callObject("Win32Services.getServiceBinary0", {javaString(name_)})), binary_);
    EXPECT_EQ(callInt("Win32Services.getStartType0", {javaString(name_)}), -3);
    EXPECT_EQ(status(), -1);
    EXPECT_EQ(callInt("Win32Services.stopService0", {javaString(name_), 0}), ERROR_SERVICE_NOT_ACTIVE);

    EXPECT_EQ(callInt("Win32Services.startService0", {javaString(name_), javaStrings({L"alpha", L"b c"})}), 0);
    EXPECT_EQ(awaitStatus(-4), -4);
    EXPECT_EQ(readRecord(record_), name_ + L"\nalpha\nb c\n");
    // It stops within its wait hint: a time-out of 0 still sees it stopped.
    EXPECT_EQ(timedStop(0).first, 0);
    EXPECT_EQ(status(), -1);

    EXPECT_EQ(callInt("Win32Services.startService0", {javaString(name_), nullptr}), 0);
    EXPECT_EQ(awaitStatus(-4), -4);
    EXPECT_EQ(readRecord(record_), name_ + L"\n");
    EXPECT_EQ(timedStop(0).first, 0);

    EXPECT_EQ(callInt("Win32Services.uninstallService0", {javaString(name_)}), 0);
    EXPECT_EQ(status(), ERROR_SERVICE_DOES_NOT_EXIST);
    EXPECT_EQ(callInt("Win32Services.getStartType0", {javaString(name_)}), ERROR_SERVICE_DOES_NOT_EXIST);
    EXPECT_EQ(textOf(callObject("Win32Services.getServiceBinary0", {javaString(name_)})), L" 1060");
    EXPECT_EQ(callInt("Win32Services.startService0", {javaString(name_), nullptr}), ERROR_SERVICE_DOES_NOT_EXIST);
    EXPECT_EQ(callInt("Win32Services.uninstallService0", {javaString(name_)}), ERROR_SERVICE_DOES_NOT_EXIST);
    name_.clear();
}

TEST_F(ServiceNatives, AStalledStopIsGivenUpAfterItsHintAndTheTimeOut) {
    install(L"stall");
    ASSERT_EQ(callInt("Win32Services.startService0", {javaString(name_), nullptr}), 0);
    ASSERT_EQ(awaitStatus(-4), -4);
    const auto [result, took] = timedStop(2000);
    EXPECT_EQ(result, 50001);
    EXPECT_GE(took, 2000);
    EXPECT_LT(took, 5000);
    EXPECT_EQ(awaitStatus(-1), -1);
}

TEST_F(ServiceNatives, AServiceReportingProgressIsWaitedForPastTheTimeOut) {
    install(L"progress");
    ASSERT_EQ(callInt("Win32Services.startService0", {javaString(name_), nullptr}), 0);
    ASSERT_EQ(awaitStatus(-4), -4);
    const auto [result, took] = timedStop(500);
    EXPECT_EQ(result, 0);
    EXPECT_GE(took, 3000);
    EXPECT_EQ(status(), -1);
}

TEST_F(ServiceNatives, ChangedConfiguration) {
    install(L"quick");
    EXPECT_EQ(callInt("Win32Services.changeServiceConfig0",
                      {javaString(name_), javaString(L"Shown name"), nullptr, -1, SERVICE_AUTO_START,
                       javaString(L"Tcpip,,RpcSs,"), javaString(L"NT AUTHORITY\\LocalSystem"), javaString(L"pw"),
                       javaString(L"What it does")}),
              0);
    Config config = configOf(name_);
    EXPECT_EQ(config.account, L"LocalSystem");
    EXPECT_EQ(config.displayName, L"Shown name");
    EXPECT_EQ(config.binary, binary_);
    EXPECT_EQ(callInt("Win32Services.getStartType0", {javaString(name_)}), -2);

    // Null keeps the texts, SERVICE_NO_CHANGE keeps the start type.
    EXPECT_EQ(callInt("Win32Services.changeServiceConfig0",
                      {javaString(name_), nullptr, nullptr, -1, -1, nullptr, nullptr, nullptr, nullptr}),
              0);
    config = configOf(name_);
    EXPECT_EQ(config.displayName, L"Shown name");
    EXPECT_EQ(callInt("Win32Services.getStartType0", {javaString(name_)}), -2);

    // Wine takes failure actions without keeping them and knows no delayed start: only the
    // answers can be seen here, the structures through the stand-in below.
    EXPECT_EQ(callInt("Win32Services.setRestartServiceConfig0", {javaString(name_), true, 60000, 3, 86400}), 0);
    EXPECT_EQ(callInt("Win32Services.setDelayedAutoStart0", {javaString(name_), true}), ERROR_INVALID_LEVEL);

    EXPECT_EQ(callInt("Win32Services.changeServiceConfig0",
                      {javaString(L"cvnNoSuchService"), nullptr, nullptr, -1, -1, nullptr, nullptr, nullptr, nullptr}),
              ERROR_SERVICE_DOES_NOT_EXIST);
}

// ---- Stand-ins ---------------------------------------------------------------------------------

struct Change {
    DWORD level = 0;
    DWORD resetPeriod = 0;
    bool actionPointer = false;
    std::vector<std::pair<int, DWORD>> actions;
    BOOL delayed = FALSE;
    std::wstring description;
};
std::vector<Change> changes;

BOOL WINAPI recordChange(SC_HANDLE, DWORD level, LPVOID info) {
    Change change;
    change.level = level;
    if (level == SERVICE_CONFIG_FAILURE_ACTIONS) {
        const auto* failure = static_cast<SERVICE_FAILURE_ACTIONSW*>(info);
        change.resetPeriod = failure->dwResetPeriod;
        change.actionPointer = failure->lpsaActions != nullptr;
        for (DWORD i = 0; i < failure->cActions; ++i)
            change.actions.emplace_back(failure->lpsaActions[i].Type, failure->lpsaActions[i].Delay);
        EXPECT_EQ(failure->lpRebootMsg, nullptr);
        EXPECT_EQ(failure->lpCommand, nullptr);
    } else if (level == SERVICE_CONFIG_DELAYED_AUTO_START_INFO) {
        change.delayed = static_cast<SERVICE_DELAYED_AUTO_START_INFO*>(info)->fDelayedAutostart;
    } else if (level == SERVICE_CONFIG_DESCRIPTION) {
        change.description = static_cast<SERVICE_DESCRIPTIONW*>(info)->lpDescription;
    }
    changes.push_back(change);
    SetLastError(ERROR_ACCESS_DENIED);
    return level != SERVICE_CONFIG_DELAYED_AUTO_START_INFO;
}

struct ConfigCall {
    DWORD serviceType = 0, startType = 0, errorControl = 0;
    std::wstring dependencies, account, password;
    bool binaryNull = false, accountNull = false, passwordNull = false;
};
std::vector<ConfigCall> configCalls;

BOOL WINAPI recordConfig(SC_HANDLE service, DWORD serviceType, DWORD startType, DWORD errorControl, LPCWSTR binary,
                         LPCWSTR group, LPDWORD tag, LPCWSTR dependencies, LPCWSTR account, LPCWSTR password,
                         LPCWSTR displayName) {
    ConfigCall call{serviceType, startType, errorControl};
    // The list as the manager reads it: names up to the empty one.
    for (const wchar_t* d = dependencies; d && *d; d += wcslen(d) + 1) call.dependencies += std::wstring(d) + L"|";
    if (!dependencies) call.dependencies = L"<null>";
    call.account = account ? account : L"";
    call.password = password ? password : L"";
    call.binaryNull = binary == nullptr;
    call.accountNull = account == nullptr;
    call.passwordNull = password == nullptr;
    configCalls.push_back(call);
    return ChangeServiceConfigW(service, serviceType, startType, errorControl, binary, group, tag, dependencies,
                                account, password, displayName);
}

TEST_F(ServiceNatives, DependenciesAccountAndPasswordAsPassed) {
    install(L"quick");
    configCalls.clear();
    const natives::ServiceFunctions standIn{&OpenSCManagerW, recordConfig, nullptr};
    natives::ReplacedServiceFunctions replaced(standIn);
    const jstring name = javaString(name_);
    EXPECT_EQ(callInt("Win32Services.changeServiceConfig0",
                      {name, nullptr, nullptr, SERVICE_WIN32_OWN_PROCESS, SERVICE_DISABLED,
                       javaString(L",Tcpip,,RpcSs,"), javaString(L"NT AUTHORITY\\System"), javaString(L"s3cret"), nullptr}),
              0);
    EXPECT_EQ(callInt("Win32Services.changeServiceConfig0",
                      {name, nullptr, nullptr, -1, -1, nullptr, javaString(L"nt authority\\system"), nullptr, nullptr}),
              0);
    EXPECT_EQ(callInt("Win32Services.changeServiceConfig0",
                      {name, nullptr, nullptr, -1, -1, javaString(L""), nullptr, nullptr, nullptr}),
              0);
    ASSERT_EQ(configCalls.size(), 3u);
    EXPECT_EQ(configCalls[0].serviceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
    EXPECT_EQ(configCalls[0].startType, static_cast<DWORD>(SERVICE_DISABLED));
    EXPECT_EQ(configCalls[0].errorControl, SERVICE_NO_CHANGE);
    EXPECT_TRUE(configCalls[0].binaryNull);
    EXPECT_EQ(configCalls[0].dependencies, L"Tcpip|RpcSs|");
    EXPECT_EQ(configCalls[0].account, L"LocalSystem");
    EXPECT_EQ(configCalls[0].password, L"s3cret");
    // Only the two exact spellings are rewritten; null dependencies clear the list.
    EXPECT_EQ(configCalls[1].startType, SERVICE_NO_CHANGE);
    EXPECT_EQ(configCalls[1].account, L"nt authority\\system");
    EXPECT_EQ(configCalls[1].dependencies, L"");
    EXPECT_TRUE(configCalls[1].passwordNull);
    EXPECT_EQ(configCalls[2].dependencies, L"");
    EXPECT_TRUE(configCalls[2].accountNull);
    EXPECT_EQ(callInt("Win32Services.getStartType0", {name}), -4);
}

SC_HANDLE WINAPI refuseManager(LPCWSTR, LPCWSTR, DWORD) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
}

TEST_F(ServiceNatives, FailureActionsAndDelayedStartAsPassed) {
    install(L"quick");
    changes.clear();
    const natives::ServiceFunctions standIn{&OpenSCManagerW, &ChangeServiceConfigW, recordChange};
    natives::ReplacedServiceFunctions replaced(standIn);
    const jstring name = javaString(name_);
    using Actions = std::vector<std::pair<int, DWORD>>;

    EXPECT_EQ(callInt("Win32Services.setRestartServiceConfig0", {name, true, 60000, 3, 86400}), 0);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].level, static_cast<DWORD>(SERVICE_CONFIG_FAILURE_ACTIONS));
    EXPECT_EQ(changes[0].resetPeriod, 86400u);
    EXPECT_EQ(changes[0].actions, (Actions{{SC_ACTION_RESTART, 60000}, {SC_ACTION_RESTART, 60000},
                                           {SC_ACTION_RESTART, 60000}, {SC_ACTION_NONE, 60000}}));
    EXPECT_EQ(callInt("Win32Services.setRestartServiceConfig0", {name, true, 500, 0, 0}), 0);
    EXPECT_EQ(changes[1].actions, (Actions{{SC_ACTION_RESTART, 500}}));
    EXPECT_EQ(callInt("Win32Services.setRestartServiceConfig0", {name, true, 500, -2, 0}), 0);
    EXPECT_EQ(changes[2].actions, (Actions{{SC_ACTION_RESTART, 500}}));
    EXPECT_EQ(callInt("Win32Services.setRestartServiceConfig0", {name, false, 500, 3, 0}), 0);
    EXPECT_TRUE(changes[3].actions.empty());
    EXPECT_TRUE(changes[3].actionPointer);

    EXPECT_EQ(callInt("Win32Services.setDelayedAutoStart0", {name, true}), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(changes[4].delayed);
    EXPECT_EQ(callInt("Win32Services.setDelayedAutoStart0", {name, false}), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(changes[5].delayed);

    // The description is set after the configuration; its failure does not count.
    EXPECT_EQ(callInt("Win32Services.changeServiceConfig0",
                      {name, nullptr, nullptr, -1, -1, nullptr, nullptr, nullptr, javaString(L"About it")}),
              0);
    ASSERT_EQ(changes.size(), 7u);
    EXPECT_EQ(changes[6].description, L"About it");

    const natives::ServiceFunctions withoutChange{&OpenSCManagerW, &ChangeServiceConfigW, nullptr};
    natives::ReplacedServiceFunctions missing(withoutChange);
    EXPECT_EQ(callInt("Win32Services.setRestartServiceConfig0", {name, true, 500, 1, 0}), 1);
    EXPECT_EQ(callInt("Win32Services.setRestartServiceConfig0", {javaString(L"cvnNoSuchService"), true, 500, 1, 0}),
              ERROR_SERVICE_DOES_NOT_EXIST);
}

TEST_F(ServiceNatives, AManagerThatCannotBeOpened) {
    const natives::ServiceFunctions refusing{refuseManager, &ChangeServiceConfigW, recordChange};
    natives::ReplacedServiceFunctions replaced(refusing);
    const jstring name = javaString(L"anything");
    EXPECT_EQ(callInt("Win32Services.installService0", {name, nullptr, javaString(L"x.exe")}), 5000);
    EXPECT_EQ(callInt("Win32Services.changeServiceConfig0", {name, nullptr, nullptr, -1, -1, nullptr, nullptr, nullptr, nullptr}), 5000);
    EXPECT_EQ(callInt("Win32Services.setRestartServiceConfig0", {name, true, 1, 1, 1}), 5000);
    EXPECT_EQ(callInt("Win32Services.setDelayedAutoStart0", {name, true}), 5000);
    EXPECT_EQ(callInt("Win32Services.stopService0", {name, 0}), 5000);
    EXPECT_EQ(callInt("Win32Services.startService0", {name, nullptr}), 5000);
    EXPECT_EQ(callInt("Win32Services.uninstallService0", {name}), 5000);
    EXPECT_EQ(callInt("Win32Services.queryStatus0", {name}), 5000);
    EXPECT_EQ(callInt("Win32Services.getStartType0", {name}), 5000);
    EXPECT_EQ(textOf(callObject("Win32Services.getServiceBinary0", {name})), L" 5000");
}

}  // namespace
}  // namespace natives_test
