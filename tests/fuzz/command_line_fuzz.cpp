// The argument splitter over arbitrary UTF-16 texts, with and without backslash escapes: every
// input ends, and the arguments hold no more characters than the text.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "services/command_line.h"

// Byte 0 picks escapes or none; the rest is the text, two bytes a code unit (little-endian).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::wstring text;
    for (size_t i = 1; i + 1 < size; i += 2) text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
    std::vector<std::wstring> arguments{L"kept"};
    services::splitCommandLine(text, arguments, (data[0] & 1) != 0);
    if (arguments.empty() || arguments.front() != L"kept") std::abort();
    size_t characters = 0;
    for (size_t i = 1; i < arguments.size(); ++i) characters += arguments[i].size();
    if (characters > text.size()) std::abort();
    // A token needs at least one character of the text, but for a leading empty one.
    if (arguments.size() - 1 > text.size() + 1) std::abort();
    return 0;
}

std::vector<std::vector<uint8_t>> fuzzSeeds() {
    auto seed = [](uint8_t escapes, const std::u16string& text) {
        std::vector<uint8_t> bytes{escapes};
        for (const char16_t unit : text) {
            bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
            bytes.push_back(static_cast<uint8_t>(unit >> 8));
        }
        return bytes;
    };
    return {
        seed(1, u"\"C:\\Program Files\\app.exe\" -q \"a \\\"b\\\" c\" d\\\\\\\"e \"\" x\t\"unterminated \\\\"),
        seed(0, u" -Dx=\"a b\" \u00e9\u65e5 -include-options \"C:\\dir\\\" tail\""),
    };
}
