// Tests of the Windows pieces that need no running launcher.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/text.h"
#include "services/error_path.h"
#include "services/launcher_log.h"
#include "services/log.h"
#include "services/platform.h"
#include "log_capture.h"
#include "media/media_file.h"

namespace {

std::wstring logPath() {
    const auto path = services::retainLogFile();
    return path ? *path : std::wstring();
}

// The log of this test program is kept while it runs (the tests read it) and removed at the end.
class RemoveLogAtEnd : public ::testing::Environment {
public:
    void TearDown() override {
        const std::wstring path = logPath();
        if (!path.empty()) DeleteFileW(path.c_str());
    }
};
const auto* removeLog = ::testing::AddGlobalTestEnvironment(new RemoveLogAtEnd);

}  // namespace

std::vector<std::wstring> capturedLogLines() {
    std::ifstream file(base::wideToNarrow(logPath()), std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    const std::wstring text = base::utf8ToWide(content.str());
    std::vector<std::wstring> lines;
    std::wstringstream stream(text);
    std::wstring line;
    while (std::getline(stream, line)) {
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        // Drop the "[s:ms] " prefix.
        const size_t prefix = line.find(L"] ");
        if (!line.empty() && line[0] == L'[' && prefix != std::wstring::npos) line = line.substr(prefix + 2);
        lines.push_back(line);
    }
    return lines;
}

TEST(LauncherLog, WritesAUtf8FileWithHeaderAndTimedLines) {
    services::logMessage(L"plain %s %d", L"line", 7);
    services::logError(L"bad %S", "thing");
    services::logMessage(L"caf\u00e9 \u4e2d");
    const std::wstring path = logPath();
    ASSERT_FALSE(path.empty());
    EXPECT_NE(path.find(L"cvn_nlog_"), std::wstring::npos);

    std::ifstream file(base::wideToNarrow(path), std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    const std::string bytes = content.str();
    ASSERT_GE(bytes.size(), 3u);
    EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_EQ(bytes.find("Started executable "), 3u);
    // The header's time text ends in its own line break, which leaves an empty line.
    EXPECT_NE(bytes.find("\r\n\r\n["), std::string::npos);
    EXPECT_NE(bytes.find("] plain line 7\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("] ERROR: bad thing\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("caf\xC3\xA9 \xE4\xB8\xAD"), std::string::npos);
}

TEST(ErrorPath, OnlyTheFirstPlaceholderIsReplaced) {
    EXPECT_EQ(services::substituteFirstPlaceholder(L"a {0} b {0}", L"X"), L"a X b {0}");
    EXPECT_EQ(services::substituteFirstPlaceholder(L"none", L"X"), L"none");
    EXPECT_EQ(services::substituteFirstPlaceholder(L"{0}", L""), L"");
    EXPECT_EQ(services::substituteFirstPlaceholder(L"{0", L"X"), L"{0");
}

TEST(MediaFile, HandleSourceReadsSeeksAndReportsTheEnd) {
    wchar_t folder[MAX_PATH];
    wchar_t path[MAX_PATH];
    ASSERT_NE(GetTempPathW(MAX_PATH, folder), 0u);
    ASSERT_NE(GetTempFileNameW(folder, L"hbs", 0, path), 0u);
    {
        base::win::FileHandle file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file.get(), "0123456789", 10, &written, nullptr));
    }
    base::win::FileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file.valid());
    media::HandleByteSource source(file.get());
    char buffer[8] = {};
    uint32_t got = 0;
    EXPECT_TRUE(source.seek(6));
    EXPECT_TRUE(source.read(buffer, 8, got));
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(std::string(buffer, got), "6789");
    EXPECT_EQ(source.position(), 10);
    EXPECT_TRUE(source.seek(100));
    EXPECT_TRUE(source.read(buffer, 8, got));
    EXPECT_EQ(got, 0u);
    file.reset();
    DeleteFileW(path);
}

namespace {
struct RebootTrace {
    static inline std::vector<std::string> steps;
    static inline bool privilege = true;
    static void sleep(DWORD milliseconds) { steps.push_back("sleep " + std::to_string(milliseconds)); }
    static bool enable() {
        steps.push_back("privilege");
        return privilege;
    }
    static bool exitWindows() {
        steps.push_back("reboot");
        return true;
    }
};
}  // namespace

TEST(RebootMode, WaitsThenRebootsOnlyWithThePrivilege) {
    const services::RebootActions fake = {RebootTrace::sleep, RebootTrace::enable, RebootTrace::exitWindows};
    RebootTrace::steps.clear();
    services::runDelayedReboot(fake);
    EXPECT_EQ(RebootTrace::steps, (std::vector<std::string>{"sleep 5000", "privilege", "reboot"}));

    RebootTrace::steps.clear();
    RebootTrace::privilege = false;
    EXPECT_FALSE(services::rebootNow(fake));
    EXPECT_EQ(RebootTrace::steps, (std::vector<std::string>{"privilege"}));
}

// What the task dialog native relies on: waiting loads nothing by itself, and an initialisation
// begun on its thread has comctl32 loaded once it is waited for.
TEST(CommonControls, AreLoadedOnceTheInitialisationBegunIsAwaited) {
    if (GetModuleHandleW(L"comctl32.dll")) GTEST_SKIP() << "comctl32.dll is already loaded in this process";
    services::awaitCommonControls();
    EXPECT_EQ(GetModuleHandleW(L"comctl32.dll"), nullptr);
    services::startCommonControls();
    services::awaitCommonControls();
    EXPECT_NE(GetModuleHandleW(L"comctl32.dll"), nullptr);
    services::initCommonControls();
}
