// A small Windows service for the service natives' tests:
//   test_service.exe <record file> <quick|stall|progress>
// It writes the arguments its ServiceMain receives to the record file (UTF-16, one a line),
// runs until told to stop, and then stops as its mode says: "quick" within its wait hint,
// "stall" with a short hint and no progress for six seconds, "progress" advancing its
// checkpoint every 0.7 s for 3.5 s, past a hint of 1 s.
#include <windows.h>

#include <string>

namespace {

std::wstring recordPath;
std::wstring mode;
SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE stopRequested = nullptr;
SERVICE_STATUS status{};

void report(DWORD state, DWORD checkpoint, DWORD waitHint) {
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    status.dwWin32ExitCode = NO_ERROR;
    status.dwCheckPoint = checkpoint;
    status.dwWaitHint = waitHint;
    SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI control(DWORD code, DWORD, void*, void*) {
    if (code == SERVICE_CONTROL_STOP) {
        report(SERVICE_STOP_PENDING, 1, mode == L"quick" ? 5000 : 1000);
        SetEvent(stopRequested);
    }
    return NO_ERROR;
}

void WINAPI serviceMain(DWORD count, LPWSTR* arguments) {
    statusHandle = RegisterServiceCtrlHandlerExW(arguments[0], control, nullptr);
    if (!statusHandle) return;
    stopRequested = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::wstring record;
    for (DWORD i = 0; i < count; ++i) record += std::wstring(arguments[i]) + L"\n";
    const HANDLE file = CreateFileW(recordPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, record.data(), static_cast<DWORD>(record.size() * sizeof(wchar_t)), &written, nullptr);
        CloseHandle(file);
    }
    report(SERVICE_RUNNING, 0, 0);
    WaitForSingleObject(stopRequested, INFINITE);
    if (mode == L"quick") {
        Sleep(1000);
    } else if (mode == L"stall") {
        Sleep(6000);
    } else {
        // Slower than the natives' polling, so that some polls see no progress and the time
        // since the last progress has to count.
        for (DWORD checkpoint = 2; checkpoint < 7; ++checkpoint) {
            Sleep(700);
            report(SERVICE_STOP_PENDING, checkpoint, 1000);
        }
    }
    report(SERVICE_STOPPED, 0, 0);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    recordPath = argv[1];
    mode = argv[2];
    wchar_t name[] = L"";
    SERVICE_TABLE_ENTRYW table[] = {{name, serviceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
