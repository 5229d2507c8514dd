// One argument of a command line that a test program builds for CreateProcessW, written so that
// the C runtime's splitter and CommandLineToArgvW give it back unchanged.
#pragma once

#include <string>

namespace test_support {

// The argument as it is when it needs no quotes; else in quotes, with a quote inside escaped and
// the backslashes before a quote (or before the closing one) doubled, since only there do
// backslashes escape.
inline std::wstring quotedArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

}  // namespace test_support
