// The launcher log as the rest of the code sees it. Formats are wide, with the Windows
// conventions of base/format.h (wide %s, narrow %S, %I64d). Usable from any thread; a process
// without a log drops the lines.
#pragma once

#include <string_view>

#include "base/format.h"

namespace services {

// Appends one line. Provided by the launcher log under Windows (launcher/launcher_log.cpp) and by
// a recording sink in the host tests.
void writeLogLine(bool isError, std::wstring_view text);

template <class... Args>
void logMessage(std::wstring_view format, const Args&... args) {
    writeLogLine(false, base::formatWide(format, args...));
}

// The same with "ERROR: " before the text.
template <class... Args>
void logError(std::wstring_view format, const Args&... args) {
    writeLogLine(true, base::formatWide(format, args...));
}

}  // namespace services
