#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "base/format.h"

using base::formatNarrow;
using base::formatWide;

TEST(Format, WideFormatTakesWideForLowerSAndNarrowForUpperS) {
    EXPECT_EQ(formatWide(L"%s|%S", L"wide", "narrow"), L"wide|narrow");
    EXPECT_EQ(formatNarrow("%s|%S", "narrow", L"wide"), "narrow|wide");
    EXPECT_EQ(formatWide(L"%ls|%hs", std::wstring(L"a"), std::string("b")), L"a|b");
    // The wrong kind of text is marked, never misread.
    EXPECT_EQ(formatWide(L"%s", "narrow"), L"(bad)");
    EXPECT_EQ(formatWide(L"%d", L"text"), L"(bad)");
    EXPECT_EQ(formatWide(L"%s", static_cast<const wchar_t*>(nullptr)), L"(null)");
}

TEST(Format, IntegersFollowTheirLengthModifier) {
    EXPECT_EQ(formatWide(L"%d %d", -5, INT_MAX), L"-5 2147483647");
    EXPECT_EQ(formatWide(L"%u", -1), L"4294967295");
    EXPECT_EQ(formatWide(L"%I64d", int64_t{-9000000000}), L"-9000000000");
    EXPECT_EQ(formatWide(L"%I64d", INT64_MIN), L"-9223372036854775808");
    EXPECT_EQ(formatWide(L"%lld|%llu", int64_t{1} << 40, UINT64_MAX), L"1099511627776|18446744073709551615");
    // Without a 64-bit modifier a value is cut to 32 bits, as a C runtime reading an int would.
    EXPECT_EQ(formatWide(L"%d", int64_t{0x100000002}), L"2");
    EXPECT_EQ(formatWide(L"%x %X %#x %o", 255, 255, 255, 8), L"ff FF 0xff 10");
    EXPECT_EQ(formatWide(L"%hd", 70000), L"4464");
}

TEST(Format, WidthPrecisionAndFlags) {
    EXPECT_EQ(formatWide(L"[%5d][%-5d][%05d][%+d][% d]", 42, 42, -42, 42, 42), L"[   42][42   ][-0042][+42][ 42]");
    EXPECT_EQ(formatWide(L"[%.3d][%.0d]", 7, 0), L"[007][]");
    EXPECT_EQ(formatWide(L"[%6s][%-6s][%.2s]", L"ab", L"ab", L"abcdef"), L"[    ab][ab    ][ab]");
    EXPECT_EQ(formatWide(L"[%*d][%.*s]", 4, 1, 1, L"xyz"), L"[   1][x]");
    EXPECT_EQ(formatWide(L"%c%C", L'w', 'n'), L"wn");
    EXPECT_EQ(formatWide(L"%.2f", 2.5), L"2.50");
}

TEST(Format, PointersAreUpperCaseHexAtPointerWidth) {
    const std::wstring text = formatWide(L"%p", reinterpret_cast<void*>(0xABCD));
    EXPECT_EQ(text.size(), sizeof(void*) * 2);
    EXPECT_EQ(text.substr(text.size() - 4), L"ABCD");
    EXPECT_EQ(text.find_first_not_of(L'0'), text.size() - 4);
}

TEST(Format, MalformedFormatsNeverReadBeyondTheirArguments) {
    EXPECT_EQ(formatWide(L"%d %d %s", 1), L"1 (bad) (null)");
    EXPECT_EQ(formatWide(L"100%"), L"100%");
    EXPECT_EQ(formatWide(L"%I6"), L"%I6");
    EXPECT_EQ(formatWide(L"%y|%%", 3), L"%y|%");
    // An absurd width is capped instead of asking for gigabytes.
    EXPECT_LE(formatWide(L"%999999999999d", 1).size(), 65536u);
}

TEST(Format, BoundedCopiesCutAndReportIt) {
    wchar_t small[6];
    EXPECT_EQ(base::formatWideInto(small, 6, L"%s", L"abc"), 3);
    EXPECT_EQ(std::wstring(small), L"abc");
    EXPECT_EQ(base::formatWideInto(small, 6, L"%s", L"abcdefgh"), -1);
    EXPECT_EQ(std::wstring(small), L"abcde");
    char narrow[1];
    EXPECT_EQ(base::formatNarrowInto(narrow, 1, "x"), -1);
    EXPECT_EQ(narrow[0], '\0');
    EXPECT_EQ(base::copyBounded(static_cast<char*>(nullptr), 0, "x"), -1);
}
