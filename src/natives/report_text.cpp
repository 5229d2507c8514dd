#include "natives/report_text.h"

#include "base/text.h"

namespace natives {

std::wstring formatReport(const wchar_t* format, va_list arguments) {
    std::wstring text;
    if (!format) return text;
    for (const wchar_t* c = format; *c; ++c) {
        if (c[0] != L'%' || c[1] == 0) {
            text += *c;
            continue;
        }
        switch (c[1]) {
            case L'd':
                text += std::to_wstring(va_arg(arguments, int));
                break;
            case L'S': {
                const char* narrow = va_arg(arguments, const char*);
                text += narrow ? base::narrowToWide(narrow) : L"(null)";
                break;
            }
            case L's': {
                const wchar_t* wide = va_arg(arguments, const wchar_t*);
                text += wide ? wide : L"(null)";
                break;
            }
            case L'%':
                text += L'%';
                break;
            default:
                text += c[0];
                text += c[1];
        }
        ++c;
    }
    return text;
}

}  // namespace natives
