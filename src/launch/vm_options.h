// The option lines of the virtual machine: configured option strings, VM options files with
// their directives ("-include-options ", "-classpath ", "-classpath/p ", "-classpath/a "),
// version-specific option lines and "-J" arguments all end in one option line processor.
// Portable: the system is reached through OptionServices.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/variable_expansion.h"

namespace launch {

// Include files nested deeper than this are not read (a file including itself would otherwise
// recurse without end).
constexpr int kMaxIncludeDepth = 16;
// Nor are more files than this read in one launch: a file including itself twice would
// otherwise be read 2^16 times before the depth bound stopped it.
constexpr int kMaxIncludedFiles = 64;

// Where every option line goes during one launch.
struct OptionSink {
    std::vector<std::string> options;  // narrow, in the file-API code page
    std::optional<std::string> classpathOverride;
    std::optional<std::string> classpathPrefix;
    std::optional<std::string> classpathSuffix;
    int filesIncluded = 0;  // VM options files read through "-include-options" so far
    // Both bounds are smaller in the fuzz target, where each input should reach them quickly.
    int includedFileLimit = kMaxIncludedFiles;
    int includeDepthLimit = kMaxIncludeDepth;
};

class OptionServices {
public:
    virtual ~OptionServices() = default;
    virtual void expand(std::wstring& text, files::ExpansionMode mode) = 0;
    virtual void expandNarrow(std::string& text) = 0;
    // To the file-API code page, "?" for what it lacks.
    virtual std::string toAnsi(std::wstring_view text) = 0;
    // The whole file, opened shared for reading and writing; none when it cannot be opened.
    virtual std::optional<std::string> readFile(const std::wstring& path) = 0;
    // The full path of a file name (the path itself when the system cannot say).
    virtual std::wstring fullPath(const std::wstring& path) = 0;
    // The executable's folder in its long form, without a trailing backslash.
    virtual std::wstring executableLongDirectory() = 0;
};

// One option line: a directive, or one option appended as it stands. `includeBase` is the VM
// options file the line came from, against whose folder relative include paths resolve.
void processOptionLine(const std::optional<std::wstring>& includeBase, const std::wstring& line, OptionSink& sink,
                       OptionServices& services, int depth = 0);

// Every line of a VM options file's text: line ends and surrounding blanks removed, empty and
// "#" lines skipped, bytes widened one to one, variables expanded (ANSI-safe).
void readVmOptionsText(std::string_view content, const std::optional<std::wstring>& includeBase, OptionSink& sink,
                       OptionServices& services, int depth = 0);

// A configured option string: expanded, split without escapes, "-include-options" joined with
// the token after it, each token one option line.
void addOptionString(std::wstring text, OptionSink& sink, OptionServices& services);

// The major number of a version ("1.8.0_301" gives 8, "17.0.2" gives 17); -1 without one.
int versionMajor(std::string_view version);
// "*pattern" (wildcards "*" and "?", covering the whole version) or "MIN-MAX" on the major
// number. Logs its verdict.
bool matchesVersionCondition(std::string_view condition, std::string_view version);
bool wildcardMatch(std::string_view pattern, std::string_view text);

// Config ids 123 (after "adding options"), then the first matching version-specific line of
// ids 10200.. for the loaded runtime's version (none when no runtime version is known).
void addConfiguredOptions(OptionSink& sink, OptionServices& services, const std::optional<std::string>& version);

// "-J" arguments without their two characters, each an option line as it stands.
void addJavaArguments(const std::vector<std::wstring>& arguments, OptionSink& sink, OptionServices& services);

}  // namespace launch
