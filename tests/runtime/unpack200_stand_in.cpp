// Stand-in for a runtime's bin\unpack200.exe, in the real tool's form "unpack200 [-r] <packed>
// <jar>". A packed archive here is the jar's bytes behind a marker line (unpack200_stand_in.h):
// the stand-in checks the marker, writes the rest as the jar and, with -r, removes the packed
// file. Each start appends the command line as received to "unpack200.log" beside the
// executable, so that a test can count runs and see what it was given.
//
// Exit codes: 0 done, 2 wrong arguments, 3 packed file unreadable or without the marker, 4 jar
// not written.
#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

#include "unpack200_stand_in.h"

namespace {

std::string readFile(const std::wstring& path, bool& ok) {
    std::string bytes;
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ok = file != INVALID_HANDLE_VALUE;
    if (!ok) return bytes;
    char piece[4096];
    DWORD got = 0;
    while (ReadFile(file, piece, sizeof piece, &got, nullptr) && got > 0) bytes.append(piece, got);
    CloseHandle(file);
    return bytes;
}

bool writeFile(const std::wstring& path, const std::string& bytes, bool append) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS, 0,
                                    nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    if (append) SetFilePointer(file, 0, nullptr, FILE_END);
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != FALSE &&
                    written == bytes.size();
    CloseHandle(file);
    return ok;
}

std::string utf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                         nullptr);
    std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

std::wstring ownDirectory() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path.substr(0, path.find_last_of(L'\\'));
}

bool namesThisProgram(std::wstring token) {
    const size_t separator = token.find_last_of(L"\\/");
    if (separator != std::wstring::npos) token = token.substr(separator + 1);
    CharLowerBuffW(token.data(), static_cast<DWORD>(token.size()));
    return token == L"unpack200" || token == L"unpack200.exe";
}

// The tokens after the program's name. A caller may give the program only as the image name,
// so that the command line begins with the options; the first token then counts as well.
std::vector<std::wstring> arguments() {
    int count = 0;
    wchar_t** tokens = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> list(tokens, tokens + (tokens ? count : 0));
    LocalFree(tokens);
    if (!list.empty() && namesThisProgram(list.front())) list.erase(list.begin());
    return list;
}

}  // namespace

int main() {
    writeFile(ownDirectory() + L"\\unpack200.log", utf8(GetCommandLineW()) + "\r\n", true);

    std::vector<std::wstring> list = arguments();
    bool removePacked = false;
    while (!list.empty() && !list.front().empty() && list.front()[0] == L'-') {
        if (list.front() == L"-r") removePacked = true;
        list.erase(list.begin());
    }
    if (list.size() != 2) return 2;
    const std::wstring& packed = list[0];
    const std::wstring& jar = list[1];

    bool readable = false;
    const std::string bytes = readFile(packed, readable);
    const std::string marker = stand_in::kPackedMarker;
    if (!readable || bytes.compare(0, marker.size(), marker) != 0) return 3;
    if (!writeFile(jar, bytes.substr(marker.size()), false)) return 4;
    if (removePacked) DeleteFileW(packed.c_str());
    return 0;
}
