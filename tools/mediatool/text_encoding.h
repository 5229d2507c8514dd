// Windows-1252, the ANSI code page the launcher's narrow calls see on Western systems: config
// texts are stored in it, and read back from it for display. Fixed here rather than taken from
// the machine that runs the tool, so a build gives the same bytes everywhere. (UTF-8 and UTF-16
// conversions are base/text.h.)
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace media {

struct Windows1252Result {
    std::string bytes;
    // The first code point that has no Windows-1252 byte, when the conversion failed.
    std::optional<char32_t> unmappable;
    bool malformed = false;  // the input was not UTF-8
    bool ok() const { return !unmappable && !malformed; }
};
Windows1252Result utf8ToWindows1252(std::string_view utf8);

std::string windows1252ToUtf8(std::string_view bytes);

// "U+00E9" style, for error messages.
std::string codePointName(char32_t codePoint);

}  // namespace media
