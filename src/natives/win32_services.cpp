// Natives of com/corvane/runtime/installer/platform/win32/Win32Services: each opens the local
// Service Control Manager and the named service, does one thing and answers with a code: 0,
// the failing call's error, 5000 when the manager cannot be opened, 50001/50002 from the stop
// wait, or a negated state or start type.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/format.h"
#include "jni/jni_toolkit.h"
#include "natives/jni_export.h"
#include "natives/secret_text.h"
#include "natives/service_functions.h"

using jni::WideString;

namespace {

constexpr jint kManagerUnavailable = 5000;
constexpr jint kStopTimedOut = 50001;
constexpr jint kStopQueryFailed = 50002;
constexpr DWORD kStopPollMilliseconds = 500;

struct ServiceHandleCloser {
    void operator()(SC_HANDLE handle) const { CloseServiceHandle(handle); }
};
using ServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ServiceHandleCloser>;

ServiceHandle openManager(DWORD access) {
    return ServiceHandle(natives::serviceFunctions().openManager(nullptr, nullptr, access));
}

// The manager and one service of it; `code` is 0 when both opened, else the native's answer.
struct OpenedService {
    ServiceHandle manager;
    ServiceHandle service;
    jint code = 0;
};

OpenedService openService(const WideString& name, DWORD managerAccess, DWORD serviceAccess) {
    OpenedService opened;
    opened.manager = openManager(managerAccess);
    if (!opened.manager) {
        opened.code = kManagerUnavailable;
        return opened;
    }
    opened.service.reset(OpenServiceW(opened.manager.get(), name.get(), serviceAccess));
    if (!opened.service) opened.code = static_cast<jint>(GetLastError());
    return opened;
}

// The service's configuration, sized by a first query: a long binary path or dependency list
// would not fit the fixed buffer a single query needs. Empty, with the error, when it fails.
std::vector<unsigned char> serviceConfig(SC_HANDLE service, DWORD& error) {
    std::vector<unsigned char> buffer(8192);
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD needed = 0;
        if (QueryServiceConfigW(service, reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data()),
                                static_cast<DWORD>(buffer.size()), &needed)) {
            return buffer;
        }
        error = GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size()) break;
        buffer.resize(needed);
    }
    return {};
}

// "a,,b" as the manager's list: each name with its zero, and one more zero at the end. Empty
// pieces are dropped, so null or "" gives the empty list that clears every dependency.
std::wstring dependencyList(std::wstring_view text) {
    std::wstring list;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(L',', start), text.size());
        if (comma > start) {
            list.append(text.substr(start, comma - start));
            list.push_back(L'\0');
        }
        start = comma + 1;
    }
    list.push_back(L'\0');
    if (list.size() == 1) list.push_back(L'\0');
    return list;
}

// After a successful stop control: waits while the service stops. A service that reports
// progress (a rising checkpoint) is waited for past the time-out; one that stalls is given at
// least its own wait hint. Tick differences are unsigned, so the counter's wrap is harmless.
jint waitForStop(SC_HANDLE service, DWORD timeout) {
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service, &status)) return kStopQueryFailed;
    const DWORD start = GetTickCount();
    DWORD lastProgress = start;
    DWORD lastCheckpoint = status.dwCheckPoint;
    while (status.dwCurrentState != SERVICE_STOPPED) {
        Sleep(kStopPollMilliseconds);
        if (!QueryServiceStatus(service, &status)) return kStopQueryFailed;
        const DWORD now = GetTickCount();
        if (status.dwCheckPoint > lastCheckpoint) {
            lastProgress = now;
            lastCheckpoint = status.dwCheckPoint;
            continue;
        }
        if (now - lastProgress > status.dwWaitHint && now - start > timeout)
            return status.dwCurrentState == SERVICE_STOPPED ? 0 : kStopTimedOut;
    }
    return 0;
}

}  // namespace

extern "C" JNIEXPORT jint JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32Services_installService0(
    JNIEnv* env, jclass, jstring name, jstring displayName, jstring binaryPath) {
    const WideString nameText(env, name);
    const WideString displayText(env, displayName);
    const WideString pathText(env, binaryPath);
    if (nameText.failed() || displayText.failed() || pathText.failed()) return ERROR_NOT_ENOUGH_MEMORY;
    const ServiceHandle manager = openManager(SC_MANAGER_ALL_ACCESS);
    if (!manager) return kManagerUnavailable;
    const ServiceHandle service(CreateServiceW(manager.get(), nameText.get(), displayText.get(), SERVICE_ALL_ACCESS,
                                               SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                               pathText.get(), nullptr, nullptr, nullptr, nullptr, nullptr));
    return service ? 0 : static_cast<jint>(GetLastError());
}

extern "C" JNIEXPORT jint JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32Services_changeServiceConfig0(
    JNIEnv* env, jclass, jstring name, jstring displayName, jstring binaryPath, jint serviceType, jint startType,
    jstring dependencies, jstring account, jstring password, jstring description) {
    const WideString nameText(env, name);
    const WideString displayText(env, displayName);
    const WideString pathText(env, binaryPath);
    const WideString dependencyText(env, dependencies);
    const WideString accountText(env, account);
    WideString passwordText(env, password);
    const natives::WipedOnExit wiped(passwordText);
    WideString descriptionText(env, description);
    for (const WideString* text : {&nameText, &displayText, &pathText, &dependencyText, &accountText,
                                   static_cast<const WideString*>(&passwordText), static_cast<const WideString*>(&descriptionText)}) {
        if (text->failed()) return ERROR_NOT_ENOUGH_MEMORY;
    }
    const OpenedService opened = openService(nameText, SC_MANAGER_ALL_ACCESS, SERVICE_ALL_ACCESS);
    if (opened.code != 0) return opened.code;

    // The manager knows the local system account only by this name.
    const wchar_t* accountName = accountText.get();
    if (accountText.text() == L"NT AUTHORITY\\System" || accountText.text() == L"NT AUTHORITY\\LocalSystem")
        accountName = L"LocalSystem";
    const std::wstring dependencyNames = dependencyList(dependencyText.text());
    if (!natives::serviceFunctions().changeServiceConfig(opened.service.get(), static_cast<DWORD>(serviceType), static_cast<DWORD>(startType),
                                                        SERVICE_NO_CHANGE, pathText.get(), nullptr, nullptr,
                                                        dependencyNames.c_str(), accountName, passwordText.get(),
                                                        displayText.get())) {
        return static_cast<jint>(GetLastError());
    }
    // The description is a nicety: the configuration above already took effect.
    if (!descriptionText.isNull()) {
        if (const auto change = natives::serviceFunctions().changeServiceConfig2) {
            SERVICE_DESCRIPTIONW info{descriptionText.data()};
            change(opened.service.get(), SERVICE_CONFIG_DESCRIPTION, &info);
        }
    }
    return 0;
}

extern "C" JNIEXPORT jint JNICALL
Java_com_corvane_runtime_installer_platform_win32_Win32Services_setRestartServiceConfig0(JNIEnv* env, jclass,
                                                                                         jstring name, jboolean restart,
                                                                                         jint delay, jint count,
                                                                                         jint resetPeriod) {
    const WideString nameText(env, name);
    if (nameText.failed()) return ERROR_NOT_ENOUGH_MEMORY;
    const OpenedService opened =
        openService(nameText, SC_MANAGER_ALL_ACCESS, SERVICE_CHANGE_CONFIG | SERVICE_START);
    if (opened.code != 0) return opened.code;
    const auto change = natives::serviceFunctions().changeServiceConfig2;
    if (!change) return 1;

    // Restarts then one final no-action; a count of 0 restarts once and for good. A negative
    // count is no count at all.
    std::vector<SC_ACTION> actions;
    if (restart) {
        const DWORD restarts = count > 0 ? static_cast<DWORD>(count) : 0;
        actions.assign(restarts == 0 ? 1 : restarts, SC_ACTION{SC_ACTION_RESTART, static_cast<DWORD>(delay)});
        if (restarts != 0) actions.push_back(SC_ACTION{SC_ACTION_NONE, static_cast<DWORD>(delay)});
    }
    // Without actions the pointer still has to be set: that is what removes the actions.
    SC_ACTION none{};
    SERVICE_FAILURE_ACTIONSW info{};
    info.dwResetPeriod = static_cast<DWORD>(resetPeriod);
    info.cActions = static_cast<DWORD>(actions.size());
    info.lpsaActions = actions.empty() ? &none : actions.data();
    if (!change(opened.service.get(), SERVICE_CONFIG_FAILURE_ACTIONS, &info)) return static_cast<jint>(GetLastError());
    return 0;
}

extern "C" JNIEXPORT jint JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32Services_setDelayedAutoStart0(
    JNIEnv* env, jclass, jstring name, jboolean delayed) {
    const WideString nameText(env, name);
    if (nameText.failed()) return ERROR_NOT_ENOUGH_MEMORY;
    const OpenedService opened = openService(nameText, SC_MANAGER_ALL_ACCESS, SERVICE_ALL_ACCESS);
    if (opened.code != 0) return opened.code;
    const auto change = natives::serviceFunctions().changeServiceConfig2;
    if (!change) return ERROR_CALL_NOT_IMPLEMENTED;
    SERVICE_DELAYED_AUTO_START_INFO info{delayed ? TRUE : FALSE};
    if (!change(opened.service.get(), SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &info))
        return static_cast<jint>(GetLastError());
    return 0;
}

extern "C" JNIEXPORT jint JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32Services_stopService0(
    JNIEnv* env, jclass, jstring name, jint timeout) {
    const WideString nameText(env, name);
    if (nameText.failed()) return ERROR_NOT_ENOUGH_MEMORY;
    const OpenedService opened = openService(nameText, SC_MANAGER_CONNECT, SERVICE_STOP | SERVICE_QUERY_STATUS);
    if (opened.code != 0) return opened.code;
    SERVICE_STATUS status{};
    if (!ControlService(opened.service.get(), SERVICE_CONTROL_STOP, &status)) return static_cast<jint>(GetLastError());
    return waitForStop(opened.service.get(), static_cast<DWORD>(timeout));
}

extern "C" JNIEXPORT jint JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32Services_startService0(
    JNIEnv* env, jclass, jstring name, jobjectArray arguments) {
    const WideString nameText(env, name);
    const jni::WideStringArray argumentTexts(env, arguments);
    if (nameText.failed() || argumentTexts.failed()) return ERROR_NOT_ENOUGH_MEMORY;
    // A null element goes as an empty argument: the manager copies every pointer it is given.
    std::vector<const wchar_t*> vector;
    for (const WideString& argument : argumentTexts) vector.push_back(argument.isNull() ? L"" : argument.get());
    const OpenedService opened = openService(nameText, SC_MANAGER_CONNECT, SERVICE_START);
    if (opened.code != 0) return opened.code;
    if (!StartServiceW(opened.service.get(), static_cast<DWORD>(vector.size()), vector.empty() ? nullptr : vector.data()))
        return static_cast<jint>(GetLastError());
    return 0;
}

extern "C" JNIEXPORT jint JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32Services_uninstallService0(
    JNIEnv* env, jclass, jstring name) {
    const WideString nameText(env, name);
    if (nameText.failed()) return ERROR_NOT_ENOUGH_MEMORY;
    const OpenedService opened = openService(nameText, SC_MANAGER_ALL_ACCESS, DELETE);
    if (opened.code != 0) return opened.code;
    return DeleteService(opened.service.get()) ? 0 : static_cast<jint>(GetLastError());
}

extern "C" JNIEXPORT jint JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32Services_queryStatus0(
    JNIEnv* env, jclass, jstring name) {
    const WideString nameText(env, name);
    if (nameText.failed()) return ERROR_NOT_ENOUGH_MEMORY;
    const OpenedService opened = openService(nameText, SC_MANAGER_CONNECT, SERVICE_QUERY_STATUS);
    if (opened.code != 0) return opened.code;
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(opened.service.get(), &status)) return static_cast<jint>(GetLastError());
    return -static_cast<jint>(status.dwCurrentState);
}

extern "C" JNIEXPORT jint JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32Services_getStartType0(
    JNIEnv* env, jclass, jstring name) {
    const WideString nameText(env, name);
    if (nameText.failed()) return ERROR_NOT_ENOUGH_MEMORY;
    const OpenedService opened = openService(nameText, SC_MANAGER_CONNECT, SERVICE_QUERY_CONFIG);
    if (opened.code != 0) return opened.code;
    DWORD error = 0;
    const std::vector<unsigned char> config = serviceConfig(opened.service.get(), error);
    if (config.empty()) return static_cast<jint>(error);
    return -static_cast<jint>(reinterpret_cast<const QUERY_SERVICE_CONFIGW*>(config.data())->dwStartType);
}

extern "C" JNIEXPORT jstring JNICALL Java_com_corvane_runtime_installer_platform_win32_Win32Services_getServiceBinary0(
    JNIEnv* env, jclass, jstring name) {
    const WideString nameText(env, name);
    if (nameText.failed()) return nullptr;
    const OpenedService opened = openService(nameText, SC_MANAGER_CONNECT, SERVICE_QUERY_CONFIG);
    if (opened.code != 0) return jni::newJavaString(env, base::formatWide(L" %d", opened.code));
    DWORD error = 0;
    const std::vector<unsigned char> config = serviceConfig(opened.service.get(), error);
    if (config.empty()) return jni::newJavaString(env, base::formatWide(L" %d", error));
    return jni::newJavaString(env, reinterpret_cast<const QUERY_SERVICE_CONFIGW*>(config.data())->lpBinaryPathName);
}
