// The Windows language identifiers that the locale choice starts from.
#include <windows.h>

#include "launch/locale_selection.h"

namespace launch {

SystemLanguages systemLanguages() {
    SystemLanguages languages;
    languages.regionalFormat = static_cast<uint16_t>(GetUserDefaultLCID() & 0xFFFF);
    // Looked up at run time: the executable must start on systems without it.
    using UiLanguageFunction = LANGID(WINAPI*)();
    if (HMODULE kernel = GetModuleHandleW(L"Kernel32.DLL")) {
        if (const auto function = reinterpret_cast<UiLanguageFunction>(
                reinterpret_cast<void*>(GetProcAddress(kernel, "GetUserDefaultUILanguage")))) {
            languages.userInterface = function();
        }
    }
    return languages;
}

}  // namespace launch
