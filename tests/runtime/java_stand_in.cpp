// Stand-in for a runtime's java.exe and javaw.exe: prints a version the way a real runtime
// does (on standard error, Windows line ends) and behaves as the "stand-in.txt" file in its
// home (the folder above bin) says. Each start appends a line to "runs.log" in the home, so a
// test can tell a run from an answer out of the launcher's version cache.
//
// stand-in.txt, one "key=value" a line:
//   version=17.0.2   the version string
//   exit=0           the exit code
//   delay=0          milliseconds to wait after the output, standard error still open
//   quote=1          0 leaves out the closing quotation mark of the version
//   machine=0        non-zero: after the run, java.exe is replaced by a copy of itself with this
//                    PE machine field and the same last-write time, so that the launcher finds
//                    a runtime of another machine that nevertheless ran (a foreign binary
//                    cannot start here)
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// Plain file calls rather than the C++ streams keep the copies the tests lay out small.
std::string readFile(const std::wstring& path) {
    std::string bytes;
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    char piece[4096];
    DWORD got = 0;
    while (ReadFile(file, piece, sizeof piece, &got, nullptr) && got > 0) bytes.append(piece, got);
    CloseHandle(file);
    return bytes;
}

bool writeFile(const std::wstring& path, const std::string& bytes, DWORD disposition) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    if (disposition == OPEN_ALWAYS) SetFilePointer(file, 0, nullptr, FILE_END);
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != FALSE;
    CloseHandle(file);
    return ok;
}

struct Behaviour {
    std::string version = "17.0.2";
    int exitCode = 0;
    DWORD delay = 0;
    bool closingQuote = true;
    unsigned long machine = 0;
};

std::wstring modulePath() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path;
}

std::wstring parentOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

std::string narrow(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

Behaviour readBehaviour(const std::wstring& home) {
    Behaviour behaviour;
    const std::string text = readFile(home + L"\\stand-in.txt");
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = line.substr(0, equals);
        const std::string value = line.substr(equals + 1);
        if (key == "version") behaviour.version = value;
        else if (key == "exit") behaviour.exitCode = std::atoi(value.c_str());
        else if (key == "delay") behaviour.delay = std::strtoul(value.c_str(), nullptr, 10);
        else if (key == "quote") behaviour.closingQuote = value != "0";
        else if (key == "machine") behaviour.machine = std::strtoul(value.c_str(), nullptr, 0);
    }
    return behaviour;
}

// The command line, the Java options variables and PATH this run saw.
void appendRunLog(const std::wstring& home) {
    std::string line = narrow(GetCommandLineW());
    for (const wchar_t* name : {L"_JAVA_OPTIONS", L"JAVA_TOOL_OPTIONS", L"JDK_JAVA_OPTIONS", L"PATH"}) {
        wchar_t value[4096];
        const DWORD length = GetEnvironmentVariableW(name, value, 4096);
        if (length > 0 && length < 4096) line += "\t" + narrow(name) + "=" + narrow(std::wstring(value, length));
    }
    writeFile(home + L"\\runs.log", line + "\r\n", OPEN_ALWAYS);
}

void writeError(const std::string& text) {
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (error == nullptr || error == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(error, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// A running executable cannot be rewritten but can be renamed: the copy takes its place.
void becomeMachine(const std::wstring& self, unsigned long machine) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(self.c_str(), GetFileExInfoStandard, &data)) return;
    std::string bytes = readFile(self);
    if (bytes.size() < 64) return;
    const uint32_t peOffset = static_cast<uint8_t>(bytes[60]) | static_cast<uint8_t>(bytes[61]) << 8 |
                              static_cast<uint8_t>(bytes[62]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(bytes[63])) << 24;
    if (peOffset + 6 > bytes.size()) return;
    bytes[peOffset + 4] = static_cast<char>(machine & 0xFF);
    bytes[peOffset + 5] = static_cast<char>((machine >> 8) & 0xFF);
    if (!MoveFileExW(self.c_str(), (self + L".replaced").c_str(), MOVEFILE_REPLACE_EXISTING)) return;
    if (!writeFile(self, bytes, CREATE_ALWAYS)) return;
    const HANDLE file = CreateFileW(self.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    SetFileTime(file, nullptr, nullptr, &data.ftLastWriteTime);
    CloseHandle(file);
}

}  // namespace

int main() {
    const std::wstring self = modulePath();
    const std::wstring home = parentOf(parentOf(self));
    appendRunLog(home);
    const Behaviour behaviour = readBehaviour(home);

    const std::string& v = behaviour.version;
    writeError("openjdk version \"" + v + (behaviour.closingQuote ? "\" 2024-01-16" : "") + "\r\n");
    writeError("OpenJDK Runtime Environment (build " + v + "+7)\r\n");
    writeError("OpenJDK " + std::string(sizeof(void*) == 8 ? "64-Bit " : "") + "Server VM (build " + v +
               "+7, mixed mode)\r\n");
    if (behaviour.delay > 0) Sleep(behaviour.delay);
    if (behaviour.machine != 0) becomeMachine(self, behaviour.machine);
    return behaviour.exitCode;
}
