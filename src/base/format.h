// printf-style formatting with the Windows conventions the launcher's messages are written in:
// in a wide format "%s" takes wide text and "%S" narrow text, in a narrow format the reverse;
// "%I64d" is a 64-bit value, "%p" a pointer as upper-case hex. Arguments are type-checked
// at the call site, so a format that names the wrong kind prints a marker instead of reading
// the wrong thing, and nothing is handed to the C runtime's printf family (whose %s/%S
// meaning differs between MinGW settings and Linux).
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace base {

class FormatArg {
public:
    enum class Kind { Signed, Unsigned, Narrow, Wide, Pointer, Double };

    FormatArg(int v) : kind_(Kind::Signed), signed_(v) {}
    FormatArg(long v) : kind_(Kind::Signed), signed_(v) {}
    FormatArg(long long v) : kind_(Kind::Signed), signed_(v) {}
    FormatArg(short v) : kind_(Kind::Signed), signed_(v) {}
    FormatArg(unsigned v) : kind_(Kind::Unsigned), unsigned_(v) {}
    FormatArg(unsigned long v) : kind_(Kind::Unsigned), unsigned_(v) {}
    FormatArg(unsigned long long v) : kind_(Kind::Unsigned), unsigned_(v) {}
    FormatArg(unsigned short v) : kind_(Kind::Unsigned), unsigned_(v) {}
    FormatArg(char v) : kind_(Kind::Signed), signed_(v) {}
    FormatArg(wchar_t v) : kind_(Kind::Unsigned), unsigned_(static_cast<unsigned long long>(v)) {}
    FormatArg(bool v) : kind_(Kind::Signed), signed_(v ? 1 : 0) {}
    FormatArg(double v) : kind_(Kind::Double), double_(v) {}
    FormatArg(const char* v) : kind_(Kind::Narrow), narrow_(v ? std::string_view(v) : std::string_view()), isNull_(!v) {}
    FormatArg(const std::string& v) : kind_(Kind::Narrow), narrow_(v) {}
    FormatArg(std::string_view v) : kind_(Kind::Narrow), narrow_(v) {}
    FormatArg(const wchar_t* v) : kind_(Kind::Wide), wide_(v ? std::wstring_view(v) : std::wstring_view()), isNull_(!v) {}
    FormatArg(const std::wstring& v) : kind_(Kind::Wide), wide_(v) {}
    FormatArg(std::wstring_view v) : kind_(Kind::Wide), wide_(v) {}
    FormatArg(const void* v) : kind_(Kind::Pointer), unsigned_(reinterpret_cast<uintptr_t>(v)) {}
    FormatArg(void* v) : kind_(Kind::Pointer), unsigned_(reinterpret_cast<uintptr_t>(v)) {}

    Kind kind() const { return kind_; }
    long long asSigned() const;
    unsigned long long asUnsigned() const;
    double asDouble() const { return kind_ == Kind::Double ? double_ : static_cast<double>(asSigned()); }
    std::string_view narrow() const { return narrow_; }
    std::wstring_view wide() const { return wide_; }
    bool isNull() const { return isNull_; }

private:
    Kind kind_;
    long long signed_ = 0;
    unsigned long long unsigned_ = 0;
    double double_ = 0;
    std::string_view narrow_;
    std::wstring_view wide_;
    bool isNull_ = false;
};

using FormatArgs = std::initializer_list<FormatArg>;

std::wstring formatWideList(std::wstring_view format, FormatArgs args);
std::string formatNarrowList(std::string_view format, FormatArgs args);

template <class... Args>
std::wstring formatWide(std::wstring_view format, const Args&... args) {
    return formatWideList(format, {FormatArg(args)...});
}

template <class... Args>
std::string formatNarrow(std::string_view format, const Args&... args) {
    return formatNarrowList(format, {FormatArg(args)...});
}

// Bounded forms for callers that keep fixed buffers: at most size - 1 characters and a
// terminator. Returns the length written, or -1 when the text did not fit (the buffer then
// holds the cut text) or size is 0.
int copyBounded(wchar_t* buffer, size_t size, std::wstring_view text);
int copyBounded(char* buffer, size_t size, std::string_view text);

template <class... Args>
int formatWideInto(wchar_t* buffer, size_t size, std::wstring_view format, const Args&... args) {
    return copyBounded(buffer, size, formatWide(format, args...));
}

template <class... Args>
int formatNarrowInto(char* buffer, size_t size, std::string_view format, const Args&... args) {
    return copyBounded(buffer, size, formatNarrow(format, args...));
}

}  // namespace base
