// The launcher's argument splitter, for the process command line (with backslash escapes, as
// the C runtime reads argv) and for argument strings from the configuration (without).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace services {

// Appends the arguments of `text` to `arguments`. Every token is appended, also an empty one
// (a text beginning with a blank yields an empty first element); an empty text yields none.
void splitCommandLine(std::wstring_view text, std::vector<std::wstring>& arguments, bool escapes);

}  // namespace services
