// The registration reports are wide printf-style formats with their arguments, passed through
// a C variadic callback. Their formats are this executable's own: "%d" with an int, "%S" with
// a narrow text, "%s" with a wide one.
#pragma once

#include <cstdarg>
#include <string>

namespace natives {

// Formats such a report. Any other conversion is copied as written and takes no argument, so
// a format can never make it read what was not passed.
std::wstring formatReport(const wchar_t* format, va_list arguments);

}  // namespace natives
