#include <gtest/gtest.h>

#include <algorithm>

#ifdef _WIN32
#include <windows.h>
#endif

#include "log_capture.h"
#include "services/tables.h"

using namespace services;

namespace {

bool logHas(const std::wstring& text) {
    const auto lines = capturedLogLines();
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::wstring& line) { return line.find(text) != std::wstring::npos; });
}

}  // namespace

TEST(Tables, AbsentIdsReadAsEmptyOrZero) {
    setConfigTable({{107, "1"}});
    setMessageTable({});
    EXPECT_EQ(configInteger(999), 0);
    EXPECT_EQ(configString(999), "");
    EXPECT_EQ(configWide(999), L"");
    EXPECT_EQ(messageText(999), L"");
    char buffer[8] = "garbage";
    EXPECT_EQ(configCopy(999, buffer, sizeof buffer), 0u);
    EXPECT_STREQ(buffer, "");
}

TEST(Tables, IntegersFollowAtoi) {
    setConfigTable({{1, "12abc"}, {2, " -3"}, {3, "x"}, {4, "99999999999"}});
    EXPECT_EQ(configInteger(1), 12);
    EXPECT_EQ(configInteger(2), -3);
    EXPECT_EQ(configInteger(3), 0);
    EXPECT_EQ(configInteger(4), 2147483647);
}

TEST(Tables, OverlongValuesAreCutAndTheCutIsLogged) {
    setConfigTable({{146, "7" + std::string(6500, '1')}, {147, std::string(5999, 'a')}});
    // 5999 characters of an overlong number still saturate; the truncation is logged.
    EXPECT_EQ(configInteger(146), 2147483647);
    EXPECT_TRUE(logHas(L"ERROR: config string 146 truncated (6000 6501)"));

    char small[4];
    EXPECT_EQ(configCopy(146, small, sizeof small), 3u);
    EXPECT_STREQ(small, "711");
    EXPECT_TRUE(logHas(L"ERROR: config string 146 truncated (4 6501)"));

    // A value that fits exactly is not reported.
    std::string fits(kTextBufferSize, '\0');
    EXPECT_EQ(configCopy(147, fits.data(), fits.size()), 5999u);
    EXPECT_FALSE(logHas(L"config string 147"));

    EXPECT_EQ(configWide(146, 10).size(), 10u);
    EXPECT_EQ(configString(146).size(), 6501u);
}

TEST(Tables, MessageTextFallsBackToTheConfigTable) {
    setConfigTable({{1001, "from config"}, {1002, "config two"}});
    setMessageTable({{1002, L"from messages"}, {1003, L""}});
    EXPECT_EQ(messageText(1001), L"from config");
    EXPECT_EQ(messageText(1002), L"from messages");
    EXPECT_EQ(messageText(1003), L"");
    EXPECT_EQ(messageEntry(1001), L"");

    std::wstring wide = L"x";
    configAppendWide(1001, wide);
    EXPECT_EQ(wide, L"xfrom config");
    std::string narrow = "y";
    configAppendNarrow(404, narrow);
    EXPECT_EQ(narrow, "y");

#ifdef _WIN32
    // Wide config texts are read in the file functions' code page, so that a configured path
    // widened and narrowed again names the same file (the C runtime's conversion would make
    // byte 0x80 U+0080, where the Western code page has the euro sign).
    if (GetACP() == 1252) {
        setConfigTable({{1001, "\x80 \xe9"}});
        EXPECT_EQ(configWide(1001, 10), L"\u20ac \u00e9");
    }
#endif
}
