// Decisions of the startup dialogs that need no window: whether the dialogs go dark, and the
// text of the runtime-selection dialog.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace launcher {

// Only Windows 11 has the dark title bars and controls: major above 10, or 10 with a minor
// other than 0 or a build of at least 22000 (the build's top four bits are flags).
bool isWindows11(uint32_t major, uint32_t minor, uint32_t build);

// Config id 10013: 0 follows the system (the "AppsUseLightTheme" value, when it could be read,
// 0 meaning dark), 2 is always dark, anything else never.
bool wantsDarkMode(int configuredMode, std::optional<uint32_t> appsUseLightTheme);

// Message 20006 with the launcher's bitness ("32" or "64") for its "%S", then the version range:
// " (" 20019 " " minimum, ", " (or " (") 20020 " " maximum, ")".
std::wstring jreSelectionText(std::wstring_view selectionMessage, std::wstring_view minimumLabel,
                              std::wstring_view maximumLabel, std::string_view minimumVersion,
                              std::string_view maximumVersion);

}  // namespace launcher
