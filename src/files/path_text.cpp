#include "files/path_text.h"

namespace files {

namespace {

template <class Char>
constexpr Char ch(char c) {
    return static_cast<Char>(c);
}

template <class Char>
bool driveRoot(std::basic_string_view<Char> path) {
    if (path.size() < 3) return false;
    const std::basic_string_view<Char> rest = path.substr(1);
    const Char root[] = {ch<Char>(':'), ch<Char>('\\'), ch<Char>('.'), ch<Char>('\\'), ch<Char>('.')};
    // ":\", ":\." and ":\.\." are prefixes of ":\.\." of length 2, 3 and 5.
    const size_t n = rest.size();
    if (n != 2 && n != 3 && n != 5) return false;
    return rest == std::basic_string_view<Char>(root, n);
}

template <class Char>
bool relative(std::basic_string_view<Char> path) {
    if (path.size() <= 2) return true;
    if (path[0] == ch<Char>('"')) {
        if (path.size() < 4) return true;
        path.remove_prefix(1);
    }
    if (path[1] == ch<Char>(':') && path[2] == ch<Char>('\\')) return false;
    if (path[0] == ch<Char>('\\') && path[1] == ch<Char>('\\')) return false;
    return true;
}

// Folds from `start` on; a run that begins at `origin` (where the path proper starts) keeps
// its first two characters, since it is a UNC or device prefix.
template <class Char>
void fold(std::basic_string<Char>& path, size_t start, size_t origin) {
    if (start >= path.size()) return;
    // Nothing to fold (the usual path): left as it is.
    const std::basic_string_view<Char> view(path);
    const Char doubled[] = {ch<Char>('\\'), ch<Char>('\\'), Char(0)};
    bool changes = false;
    for (size_t p = view.find(doubled, start); p != view.npos && !changes; p = view.find(doubled, p + 1)) {
        changes = p != origin || (p + 2 < view.size() && view[p + 2] == ch<Char>('\\'));
    }
    if (!changes) return;
    std::basic_string<Char> out;
    out.reserve(path.size());
    out.append(view.substr(0, start));
    size_t i = start;
    while (i < path.size()) {
        if (path[i] != ch<Char>('\\')) {
            const size_t end = std::min(view.find(ch<Char>('\\'), i), view.size());
            out.append(view.substr(i, end - i));
            i = end;
            continue;
        }
        size_t end = i;
        while (end < path.size() && path[end] == ch<Char>('\\')) ++end;
        out.append(i == origin && end - i >= 2 ? 2 : 1, ch<Char>('\\'));
        i = end;
    }
    path.swap(out);
}

template <class Char>
bool bang(std::basic_string_view<Char> path) {
    if (!path.empty() && path.back() == ch<Char>('!')) return true;
    for (size_t i = 0; i + 1 < path.size(); ++i) {
        if (path[i] == ch<Char>('!') && path[i + 1] == ch<Char>('\\')) return true;
    }
    return false;
}

template <class Char>
std::basic_string<Char> directoryOf(std::basic_string_view<Char> path) {
    const size_t slash = path.find_last_of(ch<Char>('\\'));
    if (slash == std::basic_string_view<Char>::npos) return std::basic_string<Char>();
    return std::basic_string<Char>(path.substr(0, slash + 1));
}

template <class Char>
void resolved(std::basic_string<Char>& out, std::basic_string_view<Char> path, std::basic_string_view<Char> directory) {
    const size_t origin = out.size();
    size_t joint = origin;
    if (relative(path) && !directory.empty()) {
        out.append(directory);
        joint = out.size();
        // Fold from the directory's own trailing separator too, so that a path beginning with
        // a backslash leaves no doubled one at the joint.
        if (joint > origin + 1 && out[joint - 1] == ch<Char>('\\')) --joint;
    }
    out.append(path);
    fold(out, joint, origin);
}

}  // namespace

bool isDriveRoot(std::string_view path) { return driveRoot(path); }
bool isDriveRoot(std::wstring_view path) { return driveRoot(path); }

bool isRelativePath(std::string_view path) { return relative(path); }
bool isRelativePath(std::wstring_view path) { return relative(path); }

void foldSeparators(std::string& path, size_t start) { fold(path, start, 0); }
void foldSeparators(std::wstring& path, size_t start) { fold(path, start, 0); }

bool endsWithExe(std::string_view path) {
    if (path.size() < 5) return false;
    const std::string_view tail = path.substr(path.size() - 4);
    const char* expected = ".exe";
    for (size_t i = 0; i < 4; ++i) {
        char c = tail[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != expected[i]) return false;
    }
    return true;
}

bool hasBangSeparator(std::string_view path) { return bang(path); }
bool hasBangSeparator(std::wstring_view path) { return bang(path); }

std::string directoryPart(std::string_view path) { return directoryOf(path); }
std::wstring directoryPart(std::wstring_view path) { return directoryOf(path); }

void appendResolved(std::string& out, std::string_view path, std::string_view directory) {
    resolved(out, path, directory);
}
void appendResolved(std::wstring& out, std::wstring_view path, std::wstring_view directory) {
    resolved(out, path, directory);
}

bool isFullPath(std::wstring_view path) {
    if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') {
        const wchar_t drive = path[0];
        return (drive >= L'A' && drive <= L'Z') || (drive >= L'a' && drive <= L'z');
    }
    return path.size() >= 3 && path[0] == L'\\' && path[1] == L'\\';
}

namespace {

wchar_t lowerAscii(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool equalsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    return true;
}

bool isHexDigit(wchar_t c) {
    c = lowerAscii(c);
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f');
}

}  // namespace

bool isReservationName(std::wstring_view name) {
    if (name.size() < 8 || name.size() > 11) return false;
    if (!equalsIgnoringAsciiCase(name.substr(0, 3), L"lmb")) return false;
    if (!equalsIgnoringAsciiCase(name.substr(name.size() - 4), L".tmp")) return false;
    for (const wchar_t c : name.substr(3, name.size() - 7))
        if (!isHexDigit(c)) return false;
    return true;
}

bool isReservedDirectoryName(std::wstring_view reservation, std::wstring_view name) {
    const size_t prefix = reservation.size() + 4;
    if (!isReservationName(reservation) || name.size() <= prefix) return false;
    if (!equalsIgnoringAsciiCase(name.substr(0, reservation.size()), reservation)) return false;
    if (!equalsIgnoringAsciiCase(name.substr(reservation.size(), 4), L"_dir")) return false;
    for (const wchar_t c : name.substr(prefix))
        if (c < L'0' || c > L'9') return false;
    return true;
}

bool isLauncherDirectoryPath(std::wstring_view path) {
    return path.find(L"lmb") != std::wstring_view::npos && path.find(L".tmp_dir") != std::wstring_view::npos;
}

std::wstring extendedLengthPath(std::wstring_view path, bool whateverItsLength) {
    // MAX_PATH; the prefix only for full paths, since it switches off every normalisation.
    constexpr size_t kShortLimit = 260;
    if ((path.size() < kShortLimit - 12 && !whateverItsLength) || !isFullPath(path)) return std::wstring(path);
    if (path.substr(0, 4) == L"\\\\?\\" || path.substr(0, 4) == L"\\\\.\\") return std::wstring(path);
    if (path[0] == L'\\') return L"\\\\?\\UNC\\" + std::wstring(path.substr(2));
    return L"\\\\?\\" + std::wstring(path);
}

}  // namespace files
