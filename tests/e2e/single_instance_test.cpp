// One instance per launcher path: in single-instance mode a second start of the same file
// (in any letter case) brings the first one's window forward and ends with 0, a copy elsewhere
// runs on its own, and outside the mode concurrent starts hold numbered semaphores. The names
// are read from the launcher logs and from what the Java side received.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/text.h"
#include "harness.h"
#include "jvm_record.h"

using namespace e2e;

namespace {

constexpr wchar_t kPidsKey[] = L"SOFTWARE\\halvern\\lumbra\\pids";
constexpr wchar_t kJavaWindow[] = L"StandInJavaWindow";

// An installer whose Java side shows a window for `milliseconds` and records into `record`
// (unless empty: a "-J-Dstandin.record=" argument can name it per run).
media::MediaDescription installer(const std::wstring& record, int milliseconds, bool singleInstance) {
    media::MediaDescription description;
    description.config[107] = "1";
    description.config[122] = "com.example.Main";
    description.config[2001] = "i";
    description.config[123] = "-Dstandin.scenario=window:" + std::to_string(milliseconds);
    description.config[125] = "1";  // "-J" arguments are options of the virtual machine
    if (!record.empty()) description.config[123] += " \"-Dstandin.record=" + base::wideToNarrow(record) + "\"";
    if (singleInstance) {
        description.config[10005] = "1";
        description.config[10008] = "1";
    }
    description.files.push_back({"cvnruntime.jar", {"", "jar"}});
    description.files.push_back({"cvnparams.conf", {"", "params"}});
    return description;
}

RunOptions quietRun(const TempFolder& temp, std::wstring record = {}) {
    RunOptions options{{L"-q"}, {{L"LUMBRA_LOG", L"yes"}}, temp.path()};
    if (!record.empty()) options.arguments.push_back(L"-J-Dstandin.record=" + record);
    return options;
}

std::wstring logOf(const TempFolder& temp) {
    const auto logs = launcherLogs(temp.path());
    return logs.empty() ? std::wstring() : logs.front();
}

// The name of the "semaphore name %S, code %d, value %p" line.
std::wstring semaphoreNameIn(const std::wstring& log) {
    const std::wstring start = L"semaphore name ";
    const size_t at = log.find(start);
    if (at == std::wstring::npos) return L"(no semaphore line)";
    const size_t end = log.find(L", code ", at);
    return log.substr(at + start.size(), end - at - start.size());
}

std::string semaphoreOptionOf(const std::wstring& record) {
    const std::string prefix = "-Dlumbra.semaphoreName=";
    for (const std::string& option : stand_in::JvmRecord::read(record).options())
        if (option.rfind(prefix, 0) == 0) return option.substr(prefix.size());
    return "(missing)";
}

// What follows the scope in a name: the lower-cased path, "\" and blanks as "_".
std::wstring pathPart(std::wstring path) {
    CharLowerBuffW(path.data(), static_cast<DWORD>(path.size()));
    std::replace(path.begin(), path.end(), L'\\', L'_');
    std::replace(path.begin(), path.end(), L' ', L'_');
    return path;
}

bool endsWith(const std::wstring& text, const std::wstring& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::optional<DWORD> recordedPid(const std::wstring& valueName) {
    DWORD pid = 0;
    DWORD size = sizeof pid;
    if (RegGetValueW(HKEY_CURRENT_USER, kPidsKey, valueName.c_str(), RRF_RT_REG_DWORD, nullptr, &pid, &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    return pid;
}

std::wstring lower(std::wstring text) {
    CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

// A window of the test that takes the foreground from the first instance.
HWND foregroundThief() {
    const HWND window = CreateWindowExW(0, L"STATIC", L"thief", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr,
                                        nullptr, GetModuleHandleW(nullptr), nullptr);
    SetForegroundWindow(window);
    return window;
}

}  // namespace

TEST(SingleInstance, ASecondStartOfTheSameFileInAnyLetterCaseBringsTheFirstForwardAndEnds) {
    TempFolder folder;
    TempFolder firstTemp;
    const std::wstring record = folder.file(L"record.txt");
    const std::wstring media = buildMedia(folder, installer(record, 8000, true), L"My Setup.exe");
    LauncherProcess first(media, quietRun(firstTemp));
    const HWND window = first.waitForWindow(kJavaWindow);
    ASSERT_NE(window, nullptr);
    const HWND thief = foregroundThief();
    ASSERT_EQ(GetForegroundWindow(), thief);

    std::wstring upperCase = media;
    CharUpperBuffW(upperCase.data(), static_cast<DWORD>(upperCase.size()));
    for (const std::wstring& path : {media, upperCase}) {
        TempFolder temp;
        const Finished second = runToEnd(path, quietRun(temp), IDOK, 500);
        EXPECT_EQ(second.exitCode, 0u) << base::wideToUtf8(path);
        EXPECT_FALSE(second.box);
        const std::wstring log = logOf(temp);
        EXPECT_NE(log.find(L"single instance mode"), std::wstring::npos) << base::wideToUtf8(log);
        EXPECT_NE(log.find(L"other pid " + std::to_wstring(first.processId()) + L"\r\n"), std::wstring::npos)
            << base::wideToUtf8(log);
        EXPECT_NE(log.find(L"exiting"), std::wstring::npos);
        EXPECT_EQ(log.find(L"Creating JVM"), std::wstring::npos);
    }
    EXPECT_EQ(GetForegroundWindow(), window);
    DestroyWindow(thief);

    // A copy in another folder has a name of its own and runs beside the first.
    TempFolder otherFolder;
    TempFolder otherTemp;
    const std::wstring otherRecord = otherFolder.file(L"record.txt");
    const std::wstring copy = buildMedia(otherFolder, installer(otherRecord, 0, true), L"My Setup.exe");
    EXPECT_EQ(runToEnd(copy, quietRun(otherTemp), IDOK, 500).exitCode, 0u);
    EXPECT_EQ(stand_in::JvmRecord::read(otherRecord).outcome(), stand_in::JvmRecord::Line{"returned"});
    EXPECT_EQ(logOf(otherTemp).find(L"other pid"), std::wstring::npos);
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kPidsKey, lower(copy).c_str());
    EXPECT_EQ(first.wait(), 0u);

    // The first instance recorded its process id under its lower-cased path and handed the name
    // ("Global\" and the user's SID in the default scope) to the Java side.
    const std::wstring valueName = lower(media);
    EXPECT_EQ(recordedPid(valueName), first.processId());
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kPidsKey, valueName.c_str());
    const std::wstring name = base::narrowToWide(semaphoreOptionOf(record));
    EXPECT_EQ(name, semaphoreNameIn(logOf(firstTemp)));
    EXPECT_EQ(name.rfind(L"Global\\S-1-", 0), 0u) << base::wideToUtf8(name);
    EXPECT_TRUE(endsWith(name, pathPart(media))) << base::wideToUtf8(name);
}

TEST(SingleInstance, OutsideTheModeConcurrentStartsHoldNumberedSemaphores) {
    TempFolder folder;
    TempFolder firstTemp;
    TempFolder secondTemp;
    const std::wstring media = buildMedia(folder, installer(L"", 5000, false));
    LauncherProcess first(media, quietRun(firstTemp, folder.file(L"first.txt")));
    ASSERT_NE(first.waitForWindow(kJavaWindow), nullptr);
    LauncherProcess second(media, quietRun(secondTemp, folder.file(L"second.txt")));
    ASSERT_NE(second.waitForWindow(kJavaWindow), nullptr);
    EXPECT_EQ(first.wait(), 0u);
    EXPECT_EQ(second.wait(), 0u);

    const std::wstring firstName = semaphoreNameIn(logOf(firstTemp));
    const std::wstring secondName = semaphoreNameIn(logOf(secondTemp));
    EXPECT_TRUE(endsWith(firstName, pathPart(media) + L"0")) << base::wideToUtf8(firstName);
    EXPECT_EQ(secondName, firstName.substr(0, firstName.size() - 1) + L"1");
    EXPECT_EQ(base::narrowToWide(semaphoreOptionOf(folder.file(L"first.txt"))), firstName);
    EXPECT_EQ(base::narrowToWide(semaphoreOptionOf(folder.file(L"second.txt"))), secondName);
    EXPECT_EQ(logOf(secondTemp).find(L"single instance mode"), std::wstring::npos);
}
