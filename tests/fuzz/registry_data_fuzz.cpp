// The registry data conversions over arbitrary stored bytes: every form reads without fault, and
// what the natives write reads back as it was written.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "natives/registry_data.h"

using namespace natives::registry;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<unsigned char> stored(data, data + size);
    const std::wstring units = unitsOf(stored);
    const std::wstring text = textOf(stored);
    const std::vector<std::wstring> texts = multiStringOf(stored);
    if (units.size() != size / 2 || text.size() + 1 < units.size()) std::abort();
    size_t characters = 0;
    for (const std::wstring& each : texts) {
        if (each.empty() || each.find(L'\0') != std::wstring::npos) std::abort();
        characters += each.size() + 1;
    }
    if (characters > units.size() + 1) std::abort();

    // Written as the natives write: a text with its terminator, a list with its final one.
    std::vector<unsigned char> written;
    appendUnits(written, text);
    appendUnits(written, std::wstring_view(L"\0", 1));
    if (textOf(written) != text) std::abort();
    written.clear();
    for (const std::wstring& each : texts) {
        appendUnits(written, each);
        appendUnits(written, std::wstring_view(L"\0", 1));
    }
    appendUnits(written, std::wstring_view(L"\0", 1));
    if (multiStringOf(written) != texts) std::abort();

    const uint64_t dword = numberOf(stored, 4);
    const uint64_t qword = numberOf(stored, 8);
    if (dword > 0xFFFFFFFFu || (qword & 0xFFFFFFFFu) != dword) std::abort();
    written.clear();
    appendNumber(written, qword, 8);
    if (written.size() != 8 || numberOf(written, 8) != qword) std::abort();
    return 0;
}

std::vector<std::vector<uint8_t>> fuzzSeeds() {
    using namespace std::string_literals;
    const std::u16string list = u"first\0second \u00e9\0\0after"s;
    std::vector<uint8_t> multi;
    for (const char16_t unit : list) {
        multi.push_back(static_cast<uint8_t>(unit & 0xFF));
        multi.push_back(static_cast<uint8_t>(unit >> 8));
    }
    return {multi, {0x78, 0x56, 0x34, 0x12}, {1, 2, 3, 4, 5, 6, 7, 8, 9}, {0x41}};
}
