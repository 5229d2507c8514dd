#include "launcher/dialog_rules.h"

#include "base/bitness.h"
#include "base/format.h"

namespace launcher {

bool isWindows11(uint32_t major, uint32_t minor, uint32_t build) {
    build &= 0x0FFFFFFF;
    return major > 10 || (major == 10 && (minor != 0 || build >= 22000));
}

bool wantsDarkMode(int configuredMode, std::optional<uint32_t> appsUseLightTheme) {
    if (configuredMode == 2) return true;
    if (configuredMode != 0) return false;
    return appsUseLightTheme && *appsUseLightTheme == 0;
}

std::wstring jreSelectionText(std::wstring_view selectionMessage, std::wstring_view minimumLabel,
                              std::wstring_view maximumLabel, std::string_view minimumVersion,
                              std::string_view maximumVersion) {
    // The message is a format of the payload's author: only its "%S" is filled, with the
    // bitness of runtime this launcher can load, as narrow text like every argument of its kind.
    std::wstring text = base::formatWide(selectionMessage, base::kOwnBitness);
    if (!minimumVersion.empty()) {
        text += L" (";
        text += minimumLabel;
        text += base::formatWide(L" %S", minimumVersion);
    }
    if (!maximumVersion.empty()) {
        text += minimumVersion.empty() ? L" (" : L", ";
        text += maximumLabel;
        text += base::formatWide(L" %S", maximumVersion);
        text += L")";
    } else if (!minimumVersion.empty()) {
        text += L")";
    }
    return text;
}

}  // namespace launcher
