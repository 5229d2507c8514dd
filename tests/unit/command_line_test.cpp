#include <gtest/gtest.h>

#include "services/command_line.h"

using services::splitCommandLine;

namespace {

std::vector<std::wstring> split(std::wstring_view text, bool escapes = true) {
    std::vector<std::wstring> arguments;
    splitCommandLine(text, arguments, escapes);
    return arguments;
}

using Args = std::vector<std::wstring>;

}  // namespace

TEST(CommandLine, BlanksSeparateAndQuotesGroup) {
    EXPECT_EQ(split(L"a b\tc"), (Args{L"a", L"b", L"c"}));
    EXPECT_EQ(split(L"\"C:\\Program Files\\x.exe\" -q"), (Args{L"C:\\Program Files\\x.exe", L"-q"}));
    EXPECT_EQ(split(L"a\"b c\"d"), (Args{L"ab cd"}));
    EXPECT_EQ(split(L"\"\""), (Args{L""}));
    EXPECT_EQ(split(L"a  \"\"  b"), (Args{L"a", L"", L"b"}));
}

TEST(CommandLine, LeadingTrailingAndOnlyBlanks) {
    EXPECT_EQ(split(L""), Args{});
    EXPECT_EQ(split(L"   "), (Args{L""}));
    EXPECT_EQ(split(L" a"), (Args{L"", L"a"}));
    EXPECT_EQ(split(L"a  "), (Args{L"a"}));
    EXPECT_EQ(split(L"\t"), (Args{L""}));
}

TEST(CommandLine, BackslashesBeforeQuotesWithEscapes) {
    // Three backslashes and a quote: one backslash and a literal quote.
    EXPECT_EQ(split(L"a\\\\\\\"b"), (Args{L"a\\\"b"}));
    // Two backslashes and a quote: one backslash, and the quote opens quoting.
    EXPECT_EQ(split(L"a\\\\\"b c\""), (Args{L"a\\b c"}));
    // One backslash and a quote: a literal quote.
    EXPECT_EQ(split(L"\\\"x\\\""), (Args{L"\"x\""}));
    // Backslashes not before a quote stay as they are.
    EXPECT_EQ(split(L"C:\\dir\\\\x\\"), (Args{L"C:\\dir\\\\x\\"}));
    EXPECT_EQ(split(L"a\\\\ b"), (Args{L"a\\\\", L"b"}));
    EXPECT_EQ(split(L"\"C:\\dir\\\\\" next"), (Args{L"C:\\dir\\", L"next"}));
}

TEST(CommandLine, BackslashesAreOrdinaryWithoutEscapes) {
    EXPECT_EQ(split(L"a\\\\\\\"b c\"", false), (Args{L"a\\\\\\b c"}));
    EXPECT_EQ(split(L"-Dx=C:\\a\\ -Dy", false), (Args{L"-Dx=C:\\a\\", L"-Dy"}));
}

TEST(CommandLine, DoubledQuotesAfterAClosingQuote) {
    // "a""b": the quote after the closing one is literal and reopens quoting.
    EXPECT_EQ(split(L"\"a\"\"b c\""), (Args{L"a\"b c"}));
    EXPECT_EQ(split(L"\"a\"\"\"b"), (Args{L"a\"b"}));
    EXPECT_EQ(split(L"x\"\"\"y z"), (Args{L"x\"y z"}));
}

TEST(CommandLine, UnbalancedAndHugeInputsAreHandled) {
    EXPECT_EQ(split(L"\"open quote never closed"), (Args{L"open quote never closed"}));
    EXPECT_EQ(split(L"a\\"), (Args{L"a\\"}));
    const std::wstring huge(100000, L'\\');
    const Args hugeResult = split(huge + L"\"" + std::wstring(100000, L'x'));
    ASSERT_EQ(hugeResult.size(), 1u);
    EXPECT_EQ(hugeResult[0].size(), 50000u + 100000u);
    std::wstring many;
    for (int i = 0; i < 20000; ++i) many += L"\"a b\" ";
    EXPECT_EQ(split(many).size(), 20000u);
    const std::wstring withNul(L"a\0b c", 5);
    EXPECT_EQ(split(withNul), (Args{std::wstring(L"a\0b", 3), L"c"}));
}
