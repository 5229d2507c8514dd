#include "base/format.h"

#include <algorithm>
#include <cstdio>
#include <type_traits>

#include "base/text.h"

namespace base {

long long FormatArg::asSigned() const {
    switch (kind_) {
    case Kind::Signed: return signed_;
    case Kind::Unsigned:
    case Kind::Pointer: return static_cast<long long>(unsigned_);
    case Kind::Double: return static_cast<long long>(double_);
    default: return 0;
    }
}

unsigned long long FormatArg::asUnsigned() const {
    switch (kind_) {
    case Kind::Signed: return static_cast<unsigned long long>(signed_);
    case Kind::Unsigned:
    case Kind::Pointer: return unsigned_;
    case Kind::Double: return static_cast<unsigned long long>(double_);
    default: return 0;
    }
}

namespace {

struct FieldFormat {
    bool leftAlign = false;
    bool zeroPad = false;
    bool plus = false;
    bool space = false;
    bool alternate = false;
    int width = -1;
    int precision = -1;
    int bits = 32;  // integer width from the length modifier: 16, 32 or 64
    bool lengthLong = false;  // 'l' or 'w': wide text or character
    bool lengthShort = false;  // 'h': narrow text or character
};

// Width and precision come from the format; caps keep an absurd "%999999999d" from asking
// for gigabytes.
constexpr int kMaxFieldWidth = 65536;

template <class Char>
int parseNumber(std::basic_string_view<Char> format, size_t& i) {
    long long value = 0;
    while (i < format.size() && format[i] >= '0' && format[i] <= '9') {
        value = std::min<long long>(value * 10 + (format[i] - '0'), kMaxFieldWidth);
        ++i;
    }
    return static_cast<int>(value);
}

std::string digitsOf(unsigned long long value, unsigned base, bool upper) {
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string out;
    do {
        out.push_back(digits[value % base]);
        value /= base;
    } while (value != 0);
    std::reverse(out.begin(), out.end());
    return out;
}

unsigned long long truncateToBits(unsigned long long value, int bits) {
    if (bits >= 64) return value;
    return value & ((1ull << bits) - 1);
}

long long signExtend(long long value, int bits) {
    if (bits >= 64) return value;
    const unsigned long long masked = truncateToBits(static_cast<unsigned long long>(value), bits);
    const unsigned long long sign = 1ull << (bits - 1);
    return static_cast<long long>((masked ^ sign) - sign);
}

// Formats a number as ASCII, applying precision, sign and zero padding; width padding with
// blanks is applied by the caller for every conversion alike.
std::string formatInteger(const FieldFormat& field, char conversion, const FormatArg& arg) {
    std::string_view prefix;
    std::string digits;
    if (conversion == 'd' || conversion == 'i') {
        const long long value = signExtend(arg.asSigned(), field.bits);
        const unsigned long long magnitude =
            value < 0 ? 0ull - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
        digits = digitsOf(magnitude, 10, false);
        if (value < 0) prefix = "-";
        else if (field.plus) prefix = "+";
        else if (field.space) prefix = " ";
    } else {
        const unsigned long long value = truncateToBits(arg.asUnsigned(), field.bits);
        const unsigned base = conversion == 'o' ? 8 : (conversion == 'u' ? 10 : 16);
        digits = digitsOf(value, base, conversion == 'X');
        if (field.alternate && value != 0) {
            if (conversion == 'x') prefix = "0x";
            if (conversion == 'X') prefix = "0X";
            if (conversion == 'o') prefix = "0";
        }
    }
    if (field.precision >= 0) {
        if (field.precision == 0 && digits == "0") digits.clear();
        if (static_cast<int>(digits.size()) < field.precision) {
            digits.insert(0, static_cast<size_t>(field.precision) - digits.size(), '0');
        }
    } else if (field.zeroPad && !field.leftAlign && field.width > 0) {
        const int total = static_cast<int>(prefix.size() + digits.size());
        if (total < field.width) digits.insert(0, static_cast<size_t>(field.width - total), '0');
    }
    return std::string(prefix) + digits;
}

// Pointers print as upper-case hex, zero-filled to the pointer's width, like the Windows
// C runtime's %p.
std::string formatPointer(const FormatArg* arg) {
    std::string digits = digitsOf(arg ? arg->asUnsigned() : 0, 16, true);
    if (digits.size() < sizeof(void*) * 2) digits.insert(0, sizeof(void*) * 2 - digits.size(), '0');
    return digits;
}

std::string formatDouble(const FieldFormat& field, char conversion, const FormatArg& arg) {
    char pattern[16] = "%";
    size_t n = 1;
    if (field.plus) pattern[n++] = '+';
    if (field.alternate) pattern[n++] = '#';
    pattern[n++] = '.';
    pattern[n++] = '*';
    pattern[n++] = conversion;
    pattern[n] = '\0';
    char buffer[512];
    const int precision = field.precision < 0 ? 6 : std::min(field.precision, 100);
    const int written = std::snprintf(buffer, sizeof buffer, pattern, precision, arg.asDouble());
    if (written < 0) return std::string();
    return std::string(buffer, std::min<size_t>(static_cast<size_t>(written), sizeof buffer - 1));
}

template <class Char>
struct Traits;

template <>
struct Traits<wchar_t> {
    using String = std::wstring;
    static String fromAscii(const std::string& text) { return String(text.begin(), text.end()); }
    static std::wstring_view sameWidth(const FormatArg& arg) { return arg.wide(); }
    static String otherWidth(const FormatArg& arg) { return narrowToWide(arg.narrow()); }
    static String nullText() { return L"(null)"; }
    static String character(unsigned long long code, bool otherWidth) {
        if (otherWidth) return narrowToWide(std::string(1, static_cast<char>(code)));
        return String(1, static_cast<wchar_t>(code & 0xFFFF));
    }
};

template <>
struct Traits<char> {
    using String = std::string;
    static String fromAscii(const std::string& text) { return text; }
    static std::string_view sameWidth(const FormatArg& arg) { return arg.narrow(); }
    static String otherWidth(const FormatArg& arg) { return wideToNarrow(arg.wide()); }
    static String nullText() { return "(null)"; }
    static String character(unsigned long long code, bool otherWidth) {
        if (otherWidth) return wideToNarrow(std::wstring(1, static_cast<wchar_t>(code & 0xFFFF)));
        return String(1, static_cast<char>(code));
    }
};

template <class Char>
std::basic_string<Char> formatList(std::basic_string_view<Char> format, FormatArgs args) {
    using T = Traits<Char>;
    typename T::String out;
    // Room for the usual line at once: the format, its texts, a few digits per number.
    size_t estimate = format.size();
    for (const FormatArg& arg : args) {
        estimate += arg.kind() == FormatArg::Kind::Narrow ? arg.narrow().size()
                    : arg.kind() == FormatArg::Kind::Wide ? arg.wide().size()
                                                          : 12;
    }
    out.reserve(estimate);
    auto next = args.begin();
    const auto take = [&]() -> const FormatArg* { return next == args.end() ? nullptr : &*next++; };
    // Wide format: plain %s is wide. Narrow format: plain %s is narrow.
    constexpr bool wideFormat = std::is_same_v<Char, wchar_t>;

    for (size_t i = 0; i < format.size();) {
        if (format[i] != '%') {
            const size_t end = std::min(format.find('%', i), format.size());
            out.append(format.substr(i, end - i));
            i = end;
            continue;
        }
        const size_t start = i++;
        FieldFormat field;
        for (; i < format.size(); ++i) {
            const Char f = format[i];
            if (f == '-') field.leftAlign = true;
            else if (f == '0') field.zeroPad = true;
            else if (f == '+') field.plus = true;
            else if (f == ' ') field.space = true;
            else if (f == '#') field.alternate = true;
            else break;
        }
        if (i < format.size() && format[i] == '*') {
            ++i;
            const FormatArg* arg = take();
            long long w = arg ? arg->asSigned() : 0;
            if (w < 0) {
                field.leftAlign = true;
                w = -w;
            }
            field.width = static_cast<int>(std::min<long long>(w, kMaxFieldWidth));
        } else if (i < format.size() && format[i] >= '1' && format[i] <= '9') {
            field.width = parseNumber(format, i);
        }
        if (i < format.size() && format[i] == '.') {
            ++i;
            if (i < format.size() && format[i] == '*') {
                ++i;
                const FormatArg* arg = take();
                const long long p = arg ? arg->asSigned() : 0;
                field.precision = p < 0 ? -1 : static_cast<int>(std::min<long long>(p, kMaxFieldWidth));
            } else {
                field.precision = parseNumber(format, i);
            }
        }
        // Length modifiers.
        if (i + 2 < format.size() && format[i] == 'I' && format[i + 1] == '6' && format[i + 2] == '4') {
            field.bits = 64;
            i += 3;
        } else if (i + 2 < format.size() && format[i] == 'I' && format[i + 1] == '3' && format[i + 2] == '2') {
            i += 3;
        } else if (i < format.size() && format[i] == 'I') {
            field.bits = sizeof(void*) * 8;
            ++i;
        } else if (i + 1 < format.size() && format[i] == 'l' && format[i + 1] == 'l') {
            field.bits = 64;
            field.lengthLong = true;
            i += 2;
        } else if (i < format.size() && (format[i] == 'l' || format[i] == 'w')) {
            field.lengthLong = true;
            ++i;
        } else if (i < format.size() && format[i] == 'h') {
            field.bits = 16;
            field.lengthShort = true;
            ++i;
        } else if (i < format.size() && (format[i] == 'z' || format[i] == 'j' || format[i] == 't')) {
            field.bits = format[i] == 'j' ? 64 : static_cast<int>(sizeof(size_t) * 8);
            ++i;
        }
        if (i >= format.size()) {
            // A lone or unfinished conversion at the end is copied as it stands.
            out.append(format.substr(start));
            break;
        }
        const Char conversion = format[i++];
        typename T::String piece;
        bool numeric = false;
        switch (conversion) {
        case '%':
            out.push_back('%');
            continue;
        case 'd': case 'i': case 'u': case 'x': case 'X': case 'o': {
            const FormatArg* arg = take();
            if (!arg || arg->kind() == FormatArg::Kind::Narrow || arg->kind() == FormatArg::Kind::Wide) {
                piece = T::fromAscii("(bad)");
            } else {
                piece = T::fromAscii(formatInteger(field, static_cast<char>(conversion), *arg));
                numeric = true;
            }
            break;
        }
        case 'p': {
            piece = T::fromAscii(formatPointer(take()));
            break;
        }
        case 'f': case 'e': case 'E': case 'g': case 'G': {
            const FormatArg* arg = take();
            piece = T::fromAscii(arg && arg->kind() != FormatArg::Kind::Narrow && arg->kind() != FormatArg::Kind::Wide
                                     ? formatDouble(field, static_cast<char>(conversion), *arg)
                                     : std::string("(bad)"));
            numeric = true;
            break;
        }
        case 'c': case 'C': {
            const FormatArg* arg = take();
            // %c is the format's own width unless 'l'/'w' or 'h' says otherwise; %C the other.
            bool other = conversion == 'C';
            if (field.lengthLong) other = !wideFormat;
            if (field.lengthShort) other = wideFormat;
            piece = arg ? T::character(arg->asUnsigned(), other) : typename T::String();
            break;
        }
        case 's': case 'S': {
            const FormatArg* arg = take();
            // Which width the conversion expects; the argument itself says what it is, so a
            // mismatch is printed rather than misread.
            bool expectWide = (conversion == 's') == wideFormat;
            if (field.lengthLong) expectWide = true;
            if (field.lengthShort) expectWide = false;
            if (!arg) {
                piece = T::nullText();
            } else if (arg->kind() != (expectWide ? FormatArg::Kind::Wide : FormatArg::Kind::Narrow)) {
                piece = T::fromAscii("(bad)");
            } else if (arg->isNull()) {
                piece = T::nullText();
            } else if (expectWide != wideFormat) {
                piece = T::otherWidth(*arg);
            } else if (field.width <= 0 && field.precision < 0) {
                // The same width and nothing to shape it: straight into the line.
                out.append(T::sameWidth(*arg));
                continue;
            } else {
                piece.assign(T::sameWidth(*arg));
            }
            if (field.precision >= 0 && piece.size() > static_cast<size_t>(field.precision)) {
                piece.resize(static_cast<size_t>(field.precision));
            }
            break;
        }
        default:
            // Unknown conversions are copied as they stand, consuming nothing.
            out.append(format.substr(start, i - start));
            continue;
        }
        const size_t length = piece.size();
        if (field.width > 0 && length < static_cast<size_t>(field.width)) {
            const size_t pad = static_cast<size_t>(field.width) - length;
            if (field.leftAlign) {
                out.append(piece);
                out.append(pad, ' ');
                continue;
            }
            out.append(pad, (numeric && field.zeroPad && field.precision < 0) ? '0' : ' ');
        }
        out.append(piece);
    }
    return out;
}

template <class Char>
int copyBoundedImpl(Char* buffer, size_t size, std::basic_string_view<Char> text) {
    if (!buffer || size == 0) return -1;
    const size_t n = std::min(text.size(), size - 1);
    std::copy_n(text.data(), n, buffer);
    buffer[n] = Char(0);
    return n == text.size() ? static_cast<int>(n) : -1;
}

}  // namespace

std::wstring formatWideList(std::wstring_view format, FormatArgs args) {
    return formatList<wchar_t>(format, args);
}

std::string formatNarrowList(std::string_view format, FormatArgs args) {
    return formatList<char>(format, args);
}

int copyBounded(wchar_t* buffer, size_t size, std::wstring_view text) {
    return copyBoundedImpl(buffer, size, text);
}

int copyBounded(char* buffer, size_t size, std::string_view text) {
    return copyBoundedImpl(buffer, size, text);
}

}  // namespace base
