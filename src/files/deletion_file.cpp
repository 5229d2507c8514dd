#include "files/deletion_file.h"

namespace files {

namespace {

bool breaksLine(std::wstring_view text) {
    return text.find_first_of(std::wstring_view(L"\r\n\0", 3)) != std::wstring_view::npos;
}

void putLine(std::string& out, std::wstring_view line) {
    for (wchar_t c : line) {
        const auto unit = static_cast<unsigned long>(c) & 0xFFFF;
        out.push_back(static_cast<char>(unit & 0xFF));
        out.push_back(static_cast<char>(unit >> 8));
    }
    out.append("\r\0\n\0", 4);
}

// A text section: its lines, none of which may end the section early.
void putText(std::string& out, std::wstring_view text) {
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(L'\n', start);
        std::wstring line(text.substr(start, end == std::wstring_view::npos ? std::wstring_view::npos : end - start));
        std::erase(line, L'\r');
        std::erase(line, L'\0');
        if (startsWithMarker(line)) line.insert(line.begin(), L' ');
        putLine(out, line);
        if (end == std::wstring_view::npos) break;
        start = end + 1;
    }
    putLine(out, kEndOfSectionMarker);
}

}  // namespace

bool startsWithMarker(std::wstring_view line) { return line.substr(0, kEndOfSectionMarker.size()) == kEndOfSectionMarker; }

std::string encodeDeletionFile(const DeletionFile& file) {
    std::string out;
    // A semaphore name or mode with a line break would shift every later line; such a name
    // cannot be waited for anyway, so it is written empty (no wait) rather than split.
    putLine(out, breaksLine(file.semaphoreName) ? std::wstring_view() : std::wstring_view(file.semaphoreName));
    putLine(out, breaksLine(file.mode) || file.mode.empty() ? kNoRebootDeletionMode : std::wstring_view(file.mode));
    putText(out, file.messageText);
    putText(out, file.failureText);
    for (const std::wstring& path : file.files) {
        if (!path.empty() && !breaksLine(path)) putLine(out, path);
    }
    putLine(out, std::wstring_view());
    for (const std::wstring& path : file.directories) {
        if (!path.empty() && !breaksLine(path)) putLine(out, path);
    }
    return out;
}

std::vector<std::wstring> decodeDeletionLines(std::string_view bytes) {
    std::vector<std::wstring> lines;
    std::wstring line;
    const size_t units = bytes.size() / 2;
    for (size_t i = 0; i < units; ++i) {
        const wchar_t c = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                               (static_cast<unsigned>(static_cast<unsigned char>(bytes[2 * i + 1])) << 8));
        if (i == 0 && c == static_cast<wchar_t>(0xFEFF)) continue;
        if (c != L'\n') {
            line.push_back(c);
            continue;
        }
        while (!line.empty() && (line.back() == L'\r' || line.back() == L'\n')) line.pop_back();
        lines.push_back(std::move(line));
        line.clear();
    }
    // A last line without its line end was cut off: "C:\dir\file.txt" cut to "C:\dir\fi"
    // would name something else, so it is not taken at all.
    return lines;
}

std::optional<DeletionFile> parseDeletionLines(const std::vector<std::wstring>& lines) {
    DeletionFile file;
    size_t i = 0;
    // Before the mode line each empty line moves one section on, so a file may start with an
    // empty semaphore name but not with two empty lines.
    if (i < lines.size() && !lines[i].empty()) file.semaphoreName = lines[i];
    ++i;
    if (i >= lines.size() || lines[i].empty()) return std::nullopt;
    file.mode = lines[i++];
    std::wstring* texts[] = {&file.messageText, &file.failureText};
    for (std::wstring* text : texts) {
        bool first = true;
        for (;; ++i) {
            if (i >= lines.size()) return std::nullopt;
            if (startsWithMarker(lines[i])) break;
            if (!first) *text += L'\n';
            *text += lines[i];
            first = false;
        }
        ++i;
    }
    bool inDirectories = false;
    for (; i < lines.size(); ++i) {
        if (lines[i].empty()) {
            inDirectories = true;
            continue;
        }
        (inDirectories ? file.directories : file.files).push_back(lines[i]);
    }
    return file;
}

}  // namespace files
