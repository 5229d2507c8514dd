// The deletion file: what a launcher (or the Java side) hands to the deletion child. UTF-16LE
// without byte-order mark, lines ended by CR LF:
//   semaphore name / mode / message lines, "EOSMARKER" / failure lines, "EOSMARKER" /
//   files, one per line / an empty line / directories, one per line.
// The writer and the reader live together here so that they cannot drift apart.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace files {

inline constexpr std::wstring_view kEndOfSectionMarker = L"EOSMARKER";
inline constexpr std::wstring_view kForceRebootMode = L"force_reboot";
inline constexpr std::wstring_view kRebootDeletionMode = L"reboot_deletion";
inline constexpr std::wstring_view kNoRebootDeletionMode = L"no_reboot_deletion";

struct DeletionFile {
    std::wstring semaphoreName;
    std::wstring mode = std::wstring(kNoRebootDeletionMode);
    // Shown before a reboot and when a reboot fails; lines separated by "\n".
    std::wstring messageText;
    std::wstring failureText;
    std::vector<std::wstring> files;
    // Subdirectories before their parents: the child removes them in this order.
    std::vector<std::wstring> directories;
};

// The file's bytes. Entries that would break the line structure (empty, or holding a line
// break or a NUL) are left out; a text line that would read as a marker gets a leading blank.
std::string encodeDeletionFile(const DeletionFile& file);

// The lines of a deletion file, line ends removed. Any bytes are accepted: an odd last byte is
// dropped, a leading byte-order mark is skipped, lines are kept whole at any length, and a
// last line without its line end (a cut-off file) is dropped.
std::vector<std::wstring> decodeDeletionLines(std::string_view bytes);

// The content of decoded lines, read the way the deletion child walks them: the first line is
// the semaphore name (an empty first line means none), then the mode line and the two text
// sections; files follow up to an empty line, and every later non-empty line is a directory.
// None when the mode line and both "EOSMARKER" lines are not all there: such a file is
// damaged or not a deletion file, and nothing it names is touched.
std::optional<DeletionFile> parseDeletionLines(const std::vector<std::wstring>& lines);

bool startsWithMarker(std::wstring_view line);

}  // namespace files
