#include "files/variable_expansion.h"

#include <array>
#include <utility>

#include "services/log.h"

namespace files {

namespace {

// The fixed variables in the order of their passes. Later passes see the text inserted by
// earlier ones, so the order is part of the behaviour.
enum class Value { ExecutableDirectory, ExtractionDirectory, PathListSeparator, RuntimeHome, TemporaryBase };

struct FixedVariable {
    const char* name;
    Value value;
};

constexpr std::array<FixedVariable, 21> kFixedVariables{{
    {"%LUMBRA_EXEDIR%", Value::ExecutableDirectory},
    {"%CORVANE_EXEDIR%", Value::ExecutableDirectory},
    {"%LUMBRA_TEMPDIR%", Value::ExtractionDirectory},
    {"%CORVANE_TEMPDIR%", Value::ExtractionDirectory},
    {"%LUMBRA_PATHLIST_SEPARATOR%", Value::PathListSeparator},
    {"%CORVANE_PATHLIST_SEPARATOR%", Value::PathListSeparator},
    {"%LUMBRA_JVM_HOME%", Value::RuntimeHome},
    {"%CORVANE_JVM_HOME%", Value::RuntimeHome},
    {"${LUMBRA_EXEDIR}", Value::ExecutableDirectory},
    {"${CORVANE_EXEDIR}", Value::ExecutableDirectory},
    {"${LUMBRA_TEMPDIR}", Value::ExtractionDirectory},
    {"${CORVANE_TEMPDIR}", Value::ExtractionDirectory},
    {"${LUMBRA_PATHLIST_SEPARATOR}", Value::PathListSeparator},
    {"${CORVANE_PATHLIST_SEPARATOR}", Value::PathListSeparator},
    {"${LUMBRA_JVM_HOME}", Value::RuntimeHome},
    {"${CORVANE_JVM_HOME}", Value::RuntimeHome},
    {"${launcher:sys.launcherDirectory}", Value::ExecutableDirectory},
    {"${launcher:sys.launcherTempDirectory}", Value::ExtractionDirectory},
    {"${launcher:sys.pathlistSeparator}", Value::PathListSeparator},
    {"${launcher:sys.jvmHome}", Value::RuntimeHome},
    {"${launcher:sys.tempDir}", Value::TemporaryBase},
}};

template <class Char>
struct Values {
    std::basic_string<Char> executableDirectory;
    std::basic_string<Char> extractionDirectory;
    std::basic_string<Char> runtimeHome;
    std::basic_string<Char> temporaryBase;

    const std::basic_string<Char>& operator[](Value value) const {
        static const std::basic_string<Char> separator(1, Char(';'));
        switch (value) {
        case Value::ExecutableDirectory: return executableDirectory;
        case Value::ExtractionDirectory: return extractionDirectory;
        case Value::RuntimeHome: return runtimeHome;
        case Value::TemporaryBase: return temporaryBase;
        case Value::PathListSeparator: break;
        }
        return separator;
    }
};

// The line every hit of one pass logs; formatted once per pass, as a value may be long.
std::wstring hitLine(std::string_view name, std::string_view value) {
    return base::formatWide(L"expanding2 %S to %S.", name, value);
}

std::wstring hitLine(std::wstring_view name, std::wstring_view value) {
    return base::formatWide(L"expanding2 %s to %s.", name, value);
}

// Searched through a view: programs that link the core without a launcher log (the media
// tool) must not pick this file out of the library for a string member it happens to define.
template <class Char>
size_t findFrom(const std::basic_string<Char>& text, std::basic_string_view<Char> name, size_t from) {
    return std::basic_string_view<Char>(text).find(name, from);
}

// The result is built beside the text: replacing in place moved the text's whole tail at every
// hit, and values that double the text with each entry then took seconds to reach the limit.
// A text already at the limit is left as it is, not copied: once values have doubled it that
// far, every later pass would otherwise copy it whole only to insert nothing.
template <class Char>
void replaceAll(std::basic_string<Char>& text, std::basic_string_view<Char> name,
                std::basic_string_view<Char> value, size_t limit) {
    if (name.empty()) return;
    size_t at = findFrom(text, name, 0);
    if (at == std::basic_string_view<Char>::npos) return;
    std::basic_string<Char> result;
    result.reserve(text.size());
    std::wstring line;
    size_t done = 0;  // text before this offset is in the result, replaced
    while (at != std::basic_string_view<Char>::npos) {
        const size_t size = result.size() + (text.size() - done);
        if (value.size() > name.size() && size - name.size() + value.size() > limit) break;
        result.append(text, done, at - done);
        result.append(value);
        if (line.empty()) line = hitLine(name, value);
        services::writeLogLine(false, line);
        done = at + name.size();
        at = findFrom(text, name, done);
    }
    if (done == 0) return;
    result.append(text, done, std::basic_string<Char>::npos);
    text = std::move(result);
}

template <class Char>
std::basic_string<Char> literal(const char* ascii) {
    return std::basic_string<Char>(ascii, ascii + std::char_traits<char>::length(ascii));
}

// Names compare with their exact spelling first and then in upper case, so that "${PATH}"
// finds the entry Windows writes as "Path" while "${path}" stays a distinct name.
template <class Char>
void replaceEnvironmentEntries(std::basic_string<Char>& text, const std::vector<std::basic_string<Char>>& entries,
                               size_t limit) {
    for (const auto& entry : entries) {
        // Windows keeps per-drive directories as entries like "=C:=C:\dir", whose name is "=C:";
        // splitting those at their leading "=" would give every "${}" in a text their value.
        const size_t equals = entry.find(Char('='), 1);
        if (equals == std::basic_string<Char>::npos) continue;
        const std::basic_string_view<Char> value = std::basic_string_view<Char>(entry).substr(equals + 1);
        std::basic_string<Char> pattern = literal<Char>("${");
        pattern.append(entry, 0, equals);
        pattern += Char('}');
        replaceAll<Char>(text, pattern, value, limit);

        std::basic_string<Char> upper = pattern;
        for (Char& c : upper) {
            if (c >= Char('a') && c <= Char('z')) c = static_cast<Char>(c - Char('a') + Char('A'));
        }
        // A name already in upper case has had its pass; a second one would expand a value's
        // reference to its own name once more.
        if (upper != pattern) replaceAll<Char>(text, upper, value, limit);
    }
}

template <class Char>
void expand(std::basic_string<Char>& text, const Values<Char>& values,
            const std::vector<std::basic_string<Char>>& environment, size_t limit) {
    for (const FixedVariable& variable : kFixedVariables) {
        replaceAll<Char>(text, literal<Char>(variable.name), values[variable.value], limit);
    }
    replaceEnvironmentEntries(text, environment, limit);
}

}  // namespace

std::wstring widenBytes(std::string_view text) {
    std::wstring wide;
    wide.reserve(text.size());
    for (unsigned char c : text) wide.push_back(static_cast<wchar_t>(c));
    return wide;
}

void replaceVariable(std::string& text, std::string_view name, std::string_view value) {
    replaceAll<char>(text, name, value, kMaxExpandedLength);
}

void replaceVariable(std::wstring& text, std::wstring_view name, std::wstring_view value) {
    replaceAll<wchar_t>(text, name, value, kMaxExpandedLength);
}

// Every value is gathered before the first pass, the temporary base included: computing it is
// where a launcher without a usable base learns so, whatever the text holds.
void expandNarrow(std::string& text, ExpansionSource& source, size_t limit) {
    Values<char> values;
    values.executableDirectory = source.executableDirectoryNarrow();
    values.extractionDirectory = source.extractionDirectory();
    values.runtimeHome = source.runtimeHome();
    values.temporaryBase = source.temporaryBaseNarrow();
    expand(text, values, source.environmentNarrow(), limit);
}

void expandWide(std::wstring& text, ExpansionMode mode, ExpansionSource& source, size_t limit) {
    Values<wchar_t> values;
    const bool unicode = mode == ExpansionMode::Unicode;
    values.executableDirectory =
        unicode ? source.executableDirectoryWide() : widenBytes(source.executableDirectoryNarrow());
    values.extractionDirectory = widenBytes(source.extractionDirectory());
    values.runtimeHome = widenBytes(source.runtimeHome());
    values.temporaryBase = unicode ? source.temporaryBaseWide() : widenBytes(source.temporaryBaseNarrow());
    expand(text, values, source.environmentWide(), limit);
}

}  // namespace files
