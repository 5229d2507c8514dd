// Conversions between narrow text (the file-API code page under Windows) and wide text
// (UTF-16 code units, one per wchar_t on every platform), and UTF-8 for files we write.
#pragma once

#include <string>
#include <string_view>

namespace base {

// Narrow text in the code page the file functions use (ANSI or OEM) to wide text. On the host
// build each byte becomes the code unit of the same value.
std::wstring narrowToWide(std::string_view text);

// Wide text to narrow. `lossy` (optional) is set when a character had no narrow form and was
// replaced. On the host build code units above 255 become '?'.
std::string wideToNarrow(std::wstring_view text, bool* lossy = nullptr);

// UTF-16 code units to UTF-8; unpaired surrogates become U+FFFD.
std::string wideToUtf8(std::wstring_view text);
// UTF-8 to UTF-16 code units; malformed sequences become U+FFFD.
std::wstring utf8ToWide(std::string_view text);
// True when every byte belongs to a well-formed UTF-8 sequence (shortest form, no surrogate,
// at most U+10FFFF).
bool isUtf8(std::string_view text);

// C `atoi` rules without its undefined behaviour: leading blanks, an optional sign, the
// leading digits; 0 when there are none; saturated at the 32-bit limits as the Windows C
// runtime does.
int parseDecimalInt(std::string_view text);

}  // namespace base
