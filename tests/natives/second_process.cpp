#include "second_process.h"

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "base/win/handles.h"

namespace natives_test {

int runProcess(const std::wstring& commandLine) {
    std::wstring line = commandLine;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &process)) {
        return -1;
    }
    const base::win::KernelHandle processHandle(process.hProcess);
    const base::win::KernelHandle threadHandle(process.hThread);
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    return static_cast<int>(code);
}

std::wstring registryExport(const std::wstring& key) {
    wchar_t folder[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, folder);
    const std::wstring file = std::wstring(folder) + L"natives-tests-" + std::to_wstring(GetCurrentProcessId()) + L".reg";
    DeleteFileW(file.c_str());
    if (runProcess(L"reg.exe export \"" + key + L"\" \"" + file + L"\" /y") != 0) return {};
    std::ifstream in(std::filesystem::path(file), std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    in.close();
    DeleteFileW(file.c_str());
    std::wstring text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    if (!text.empty() && text[0] == 0xFEFF) text.erase(0, 1);
    return text;
}

}  // namespace natives_test
