// Launcher variables in configured paths, options and VM options file lines: the launcher's
// directories ("%LUMBRA_EXEDIR%", "${launcher:sys.jvmHome}", ...) and "${NAME}" for every
// environment variable. The values come from an ExpansionSource, asked afresh on every call,
// so that the rules here run the same on the host (tests, fuzzing) and in the launcher.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace files {

// Expansion stops inserting once a text would grow beyond this many characters: values that
// refer to one another can otherwise double the text with every environment entry.
constexpr size_t kMaxExpandedLength = size_t{1} << 22;

// ANSI-safe: text that goes back to ANSI and on to the virtual machine, so every value is the
// narrow one widened byte by byte. Unicode: text that stays wide (file names, main arguments).
enum class ExpansionMode { AnsiSafe, Unicode };

class ExpansionSource {
public:
    virtual ~ExpansionSource() = default;
    // Directory of the executable narrow path: absolute, ending in a backslash.
    virtual std::string executableDirectoryNarrow() = 0;
    // Directory of the executable long path, ending in a backslash.
    virtual std::wstring executableDirectoryWide() = 0;
    virtual std::string extractionDirectory() = 0;
    // Home of the loaded runtime; empty while none is loaded.
    virtual std::string runtimeHome() = 0;
    // May end the process when there is no usable temporary base.
    virtual std::string temporaryBaseNarrow() = 0;
    virtual std::wstring temporaryBaseWide() = 0;
    // The environment block's entries ("NAME=VALUE") in block order.
    virtual std::vector<std::string> environmentNarrow() = 0;
    virtual std::vector<std::wstring> environmentWide() = 0;
};

// `limit`: see kMaxExpandedLength (a smaller one lets the fuzz target reach the bound quickly).
void expandNarrow(std::string& text, ExpansionSource& source, size_t limit = kMaxExpandedLength);
void expandWide(std::wstring& text, ExpansionMode mode, ExpansionSource& source, size_t limit = kMaxExpandedLength);

// One pass: every occurrence of `name` (case-sensitive) becomes `value`, the search going on
// behind each inserted value so that a value holding its own name cannot loop. Logs each hit.
void replaceVariable(std::string& text, std::string_view name, std::string_view value);
void replaceVariable(std::wstring& text, std::wstring_view name, std::wstring_view value);

// Each byte becomes the code unit of the same value.
std::wstring widenBytes(std::string_view text);

}  // namespace files
