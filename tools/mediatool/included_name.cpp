#include "mediatool/included_name.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>
#include <vector>

#include "mediatool/build_error.h"
#include "base/text.h"

namespace media {

namespace {

bool isDeviceName(std::string_view component) {
    const std::string_view base = component.substr(0, component.find('.'));
    std::string upper(base);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    static constexpr std::array<std::string_view, 4> kPlain = {"CON", "PRN", "AUX", "NUL"};
    if (std::find(kPlain.begin(), kPlain.end(), upper) != kPlain.end()) return true;
    return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) &&
           upper[3] >= '1' && upper[3] <= '9';
}

void checkComponent(std::string_view component, std::string_view name) {
    const auto fail = [&](const std::string& why) {
        throw MediaBuildError("included file name \"" + std::string(name) + "\" " + why);
    };
    if (component.empty()) fail("has an empty component");
    if (component == "." || component == "..") fail("contains \"" + std::string(component) + "\"");
    for (const char c : component) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == ':') fail("contains ':' (a drive or stream name)");
        if (c == ';') fail("contains ';', the separator of the file list");
        if (byte < 0x20 || std::string_view("<>\"|?*").find(c) != std::string_view::npos) {
            fail("contains a character Windows does not allow in file names");
        }
    }
    // Windows drops these silently, so "a." would become "a" and collide with it.
    if (component.back() == '.' || component.back() == ' ') fail("ends with a dot or a blank");
    if (isDeviceName(component)) fail("is a Windows device name");
}

wchar_t foldCase(wchar_t unit) {
    const auto c = static_cast<uint32_t>(unit);
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB) ||
        (c >= 0x410 && c <= 0x42F)) {
        return static_cast<wchar_t>(c + 0x20);
    }
    if (c >= 0x400 && c <= 0x40F) return static_cast<wchar_t>(c + 0x50);
    // Latin Extended-A pairs capital and small letters as neighbours.
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return static_cast<wchar_t>(c | 1);
    if (((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) && (c & 1)) {
        return static_cast<wchar_t>(c + 1);
    }
    if (c == 0x178) return 0xFF;
    return unit;
}

}  // namespace

std::string storedIncludedName(std::string_view name) {
    if (name.empty()) throw MediaBuildError("included file name is empty");
    if (name.front() == '/' || name.front() == '\\') {
        throw MediaBuildError("included file name \"" + std::string(name) + "\" is absolute");
    }
    std::vector<std::string_view> components;
    size_t start = 0;
    while (true) {
        const size_t end = name.find_first_of("/\\", start);
        components.push_back(name.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    for (const std::string_view component : components) checkComponent(component, name);
    if (components.size() > 2) {
        throw MediaBuildError("included file name \"" + std::string(name) +
                              "\" has more than one directory level");
    }
    std::string stored(components[0]);
    if (components.size() == 2) stored += '\\' + std::string(components[1]);
    return stored;
}

std::wstring includedNameKey(std::string_view storedName) {
    std::wstring key = base::utf8ToWide(storedName);
    std::transform(key.begin(), key.end(), key.begin(), foldCase);
    return key;
}

}  // namespace media
