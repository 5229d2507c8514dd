#include "base/text.h"

#include <climits>

#ifdef _WIN32
#include <windows.h>
#endif

namespace base {

#ifdef _WIN32

namespace {
UINT fileApiCodePage() { return AreFileApisANSI() ? CP_ACP : CP_OEMCP; }
}  // namespace

std::wstring narrowToWide(std::string_view text) {
    if (text.empty()) return std::wstring();
    // Texts beyond INT_MAX bytes do not occur; cut rather than overflow the API's int.
    const int length = static_cast<int>(std::min<size_t>(text.size(), INT_MAX / 2));
    const int needed = MultiByteToWideChar(fileApiCodePage(), 0, text.data(), length, nullptr, 0);
    if (needed <= 0) return std::wstring();
    std::wstring out(static_cast<size_t>(needed), L'\0');
    MultiByteToWideChar(fileApiCodePage(), 0, text.data(), length, out.data(), needed);
    return out;
}

std::string wideToNarrow(std::wstring_view text, bool* lossy) {
    if (lossy) *lossy = false;
    if (text.empty()) return std::string();
    const int length = static_cast<int>(std::min<size_t>(text.size(), INT_MAX / 4));
    const UINT codePage = fileApiCodePage();
    BOOL usedDefault = FALSE;
    const int needed = WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) {
        if (lossy) *lossy = true;
        return std::string();
    }
    std::string out(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), length, out.data(), needed, nullptr,
                        lossy ? &usedDefault : nullptr);
    if (lossy) *lossy = usedDefault != FALSE;
    return out;
}

#else

std::wstring narrowToWide(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (unsigned char c : text) out.push_back(static_cast<wchar_t>(c));
    return out;
}

std::string wideToNarrow(std::wstring_view text, bool* lossy) {
    if (lossy) *lossy = false;
    std::string out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        const auto unit = static_cast<unsigned long>(c);
        if (unit > 0xFF) {
            out.push_back('?');
            if (lossy) *lossy = true;
        } else {
            out.push_back(static_cast<char>(unit));
        }
    }
    return out;
}

#endif

std::string wideToUtf8(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned long code = static_cast<unsigned long>(text[i]) & 0xFFFF;
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size()) {
            const unsigned long low = static_cast<unsigned long>(text[i + 1]) & 0xFFFF;
            if (low >= 0xDC00 && low <= 0xDFFF) {
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (code >= 0xD800 && code <= 0xDFFF) code = 0xFFFD;
        if (code < 0x80) {
            out.push_back(static_cast<char>(code));
        } else if (code < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (code >> 6)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (code >> 12)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (code >> 18)));
            out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }
    return out;
}

std::wstring utf8ToWide(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        unsigned long code = 0xFFFD;
        size_t extra = 0;
        unsigned long minimum = 0;
        if (lead < 0x80) { code = lead; }
        else if ((lead & 0xE0) == 0xC0) { code = lead & 0x1F; extra = 1; minimum = 0x80; }
        else if ((lead & 0xF0) == 0xE0) { code = lead & 0x0F; extra = 2; minimum = 0x800; }
        else if ((lead & 0xF8) == 0xF0) { code = lead & 0x07; extra = 3; minimum = 0x10000; }
        else { extra = 0; code = 0xFFFD; }
        size_t used = 1;
        bool valid = true;
        for (size_t k = 0; k < extra; ++k) {
            if (i + used >= text.size() || (static_cast<unsigned char>(text[i + used]) & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            code = (code << 6) | (static_cast<unsigned char>(text[i + used]) & 0x3F);
            ++used;
        }
        if (!valid || code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            code = 0xFFFD;
        }
        i += used;
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<wchar_t>(code));
        }
    }
    return out;
}

bool isUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        size_t extra = 0;
        unsigned long code = 0;
        unsigned long minimum = 0;
        if (lead < 0x80) { ++i; continue; }
        if ((lead & 0xE0) == 0xC0) { code = lead & 0x1F; extra = 1; minimum = 0x80; }
        else if ((lead & 0xF0) == 0xE0) { code = lead & 0x0F; extra = 2; minimum = 0x800; }
        else if ((lead & 0xF8) == 0xF0) { code = lead & 0x07; extra = 3; minimum = 0x10000; }
        else return false;
        if (text.size() - i <= extra) return false;
        for (size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

int parseDecimalInt(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

}  // namespace base
