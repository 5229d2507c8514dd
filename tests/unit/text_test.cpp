#include <gtest/gtest.h>

#include <climits>

#include "base/text.h"

TEST(Text, Utf8RoundTripsEveryPlane) {
    const std::wstring text = {L'a', static_cast<wchar_t>(0xE9), static_cast<wchar_t>(0x4E2D),
                               static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
    const std::string utf8 = base::wideToUtf8(text);
    EXPECT_EQ(utf8, "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80");
    EXPECT_EQ(base::utf8ToWide(utf8), text);
}

TEST(Text, BrokenUnicodeBecomesReplacementCharacters) {
    const std::wstring lone = {static_cast<wchar_t>(0xD800), L'x'};
    EXPECT_EQ(base::wideToUtf8(lone), "\xEF\xBF\xBDx");
    const std::wstring decoded = base::utf8ToWide("\xC3\x28\xE4\xB8");
    ASSERT_GE(decoded.size(), 2u);
    EXPECT_EQ(static_cast<unsigned>(decoded[0]), 0xFFFDu);
    // An overlong encoding of '/' must not decode to '/'.
    EXPECT_EQ(base::utf8ToWide("\xC0\xAF").find(L'/'), std::wstring::npos);
}

TEST(Text, DecimalParsingFollowsAtoiAndSaturates) {
    EXPECT_EQ(base::parseDecimalInt(""), 0);
    EXPECT_EQ(base::parseDecimalInt("abc"), 0);
    EXPECT_EQ(base::parseDecimalInt("  \t-42xyz"), -42);
    EXPECT_EQ(base::parseDecimalInt("+7"), 7);
    EXPECT_EQ(base::parseDecimalInt("2147483647"), INT_MAX);
    EXPECT_EQ(base::parseDecimalInt("2147483648"), INT_MAX);
    EXPECT_EQ(base::parseDecimalInt("-2147483648"), INT_MIN);
    EXPECT_EQ(base::parseDecimalInt(std::string(5000, '9')), INT_MAX);
    EXPECT_EQ(base::parseDecimalInt("- 5"), 0);
}

TEST(Text, AsciiSurvivesTheNarrowRoundTrip) {
    bool lossy = true;
    EXPECT_EQ(base::wideToNarrow(L"C:\\Temp\\x.log", &lossy), "C:\\Temp\\x.log");
    EXPECT_FALSE(lossy);
    EXPECT_EQ(base::narrowToWide("C:\\Temp"), L"C:\\Temp");
    base::wideToNarrow(std::wstring(1, static_cast<wchar_t>(0x4E2D)), &lossy);
    EXPECT_TRUE(lossy);
}
