#include "stand_in_runtimes.h"
#include "windows_tree.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace stand_in {

namespace {

constexpr char kCacheRoot[] = "SOFTWARE\\halvern\\lumbra\\jvms2";

std::wstring directoryOfThisProgram() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path.substr(0, path.find_last_of(L'\\'));
}

std::wstring withBackslashes(std::wstring path) {
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    return path;
}

void createDirectories(const std::wstring& path) {
    const size_t parent = path.find_last_of(L'\\');
    if (parent != std::wstring::npos && parent > 2) createDirectories(path.substr(0, parent));
    CreateDirectoryW(path.c_str(), nullptr);
}

void copyFile(const std::wstring& from, const std::wstring& to) {
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) {
        throw std::runtime_error("cannot copy the stand-in " + std::string(from.begin(), from.end()));
    }
}

void copyExecutable(const std::wstring& name, const std::wstring& toDirectory) {
    copyFile(standInBinDirectory() + L"\\" + name, toDirectory + L"\\" + name);
}

// The libraries of one bin folder; returns the path of jvm.dll when it laid one out.
std::wstring layOutLibraries(const std::wstring& bin, const Libraries& libraries, bool withJvmDll, Runtime& runtime) {
    if (libraries.jli) {
        runtime.jliDll = bin + L"\\jli.dll";
        copyFile(standInBinDirectory() + L"\\jli.dll", runtime.jliDll);
    }
    if (!withJvmDll || libraries.jvmFolder.empty()) return {};
    createDirectories(bin + L"\\" + libraries.jvmFolder);
    const std::wstring jvm = bin + L"\\" + libraries.jvmFolder + L"\\jvm.dll";
    copyFile(standInJvmDll(), jvm);
    return jvm;
}

// A runtime home with bin\java.exe and, unless left out, bin\javaw.exe.
void layOutHome(const std::wstring& home, bool withJavaw, const Behaviour& behaviour) {
    createDirectories(home + L"\\bin");
    copyExecutable(L"java.exe", home + L"\\bin");
    if (withJavaw) copyExecutable(L"javaw.exe", home + L"\\bin");
    describe(home, behaviour);
}

// The launcher names cache keys by the lower-cased full path with slashes, in the ANSI code
// page the registry's narrow functions use.
std::string cacheKeyPrefix(const std::wstring& folder) {
    std::wstring lowered = folder + L"\\";
    for (wchar_t& c : lowered) {
        if (c == L'\\') c = L'/';
        else if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    const int size = WideCharToMultiByte(CP_ACP, 0, lowered.data(), static_cast<int>(lowered.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string prefix(static_cast<size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_ACP, 0, lowered.data(), static_cast<int>(lowered.size()), prefix.data(), size, nullptr,
                        nullptr);
    return prefix;
}

void removeCacheEntriesBelow(const std::wstring& folder) {
    HKEY root = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kCacheRoot, 0, KEY_READ | KEY_WRITE, &root) != ERROR_SUCCESS) return;
    const std::string prefix = cacheKeyPrefix(folder);
    std::vector<std::string> doomed;
    char name[1024];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof name;
        if (RegEnumKeyExA(root, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        const std::string key(name, length);
        if (key.compare(0, prefix.size(), prefix) == 0) doomed.push_back(key);
    }
    for (const std::string& key : doomed) RegDeleteKeyA(root, key.c_str());
    RegCloseKey(root);
}

}  // namespace

std::wstring standInBinDirectory() {
    return directoryOfThisProgram() + L"\\" + withBackslashes(STAND_IN_BIN_FROM_TESTS);
}

std::wstring standInJvmDll() { return standInBinDirectory() + L"\\server\\jvm.dll"; }

Runtime layOutRuntime(const std::wstring& root, Shape shape, const Behaviour& behaviour, const Libraries& libraries) {
    Runtime runtime;
    runtime.root = root;
    createDirectories(root);
    switch (shape) {
    case Shape::JreBin:
        runtime.home = root + L"\\jre";
        layOutHome(runtime.home, true, behaviour);
        break;
    case Shape::Bin:
        runtime.home = root;
        layOutHome(runtime.home, true, behaviour);
        break;
    case Shape::JdkWithJre: {
        runtime.home = root;
        layOutHome(runtime.home, true, behaviour);
        createDirectories(root + L"\\lib");
        std::ofstream((root + L"\\lib\\tools.jar").c_str(), std::ios::binary) << "PK\x05\x06" << std::string(18, '\0');
        runtime.embeddedHome = root + L"\\jre";
        layOutHome(runtime.embeddedHome, true, behaviour);
        runtime.embeddedJavaExe = runtime.embeddedHome + L"\\bin\\java.exe";
        break;
    }
    case Shape::NoJavaw:
        runtime.home = root;
        layOutHome(runtime.home, false, behaviour);
        break;
    case Shape::OtherMachine: {
        runtime.home = root;
        Behaviour foreign = behaviour;
        foreign.becomeMachine = otherMachine();
        layOutHome(runtime.home, true, foreign);
        patchMachine(root + L"\\bin\\javaw.exe", otherMachine());
        break;
    }
    }
    runtime.javaExe = runtime.home + L"\\bin\\java.exe";
    if (shape != Shape::NoJavaw) runtime.javawExe = runtime.home + L"\\bin\\javaw.exe";
    const bool jdk = shape == Shape::JdkWithJre;
    runtime.jvmDll = layOutLibraries(runtime.home + L"\\bin", libraries, !jdk, runtime);
    if (jdk) runtime.jvmDll = layOutLibraries(runtime.embeddedHome + L"\\bin", libraries, true, runtime);
    return runtime;
}

void describe(const std::wstring& home, const Behaviour& behaviour) {
    std::ofstream file((home + L"\\stand-in.txt").c_str(), std::ios::binary | std::ios::trunc);
    file << "version=" << behaviour.version << "\r\n"
         << "exit=" << behaviour.exitCode << "\r\n"
         << "delay=" << behaviour.delay << "\r\n"
         << "quote=" << (behaviour.closingQuote ? 1 : 0) << "\r\n"
         << "machine=" << behaviour.becomeMachine << "\r\n";
}

std::vector<std::string> runLog(const std::wstring& home) {
    std::vector<std::string> lines;
    std::ifstream file((home + L"\\runs.log").c_str(), std::ios::binary);
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

uint16_t otherMachine() { return sizeof(void*) == 8 ? 0x14C : 0x8664; }

void patchMachine(const std::wstring& executable, uint16_t machine) {
    std::fstream file(executable.c_str(), std::ios::binary | std::ios::in | std::ios::out);
    unsigned char offset[4] = {};
    file.seekg(60);
    file.read(reinterpret_cast<char*>(offset), 4);
    const uint32_t peOffset = offset[0] | offset[1] << 8 | offset[2] << 16 | static_cast<uint32_t>(offset[3]) << 24;
    file.seekp(peOffset + 4);
    const char field[2] = {static_cast<char>(machine & 0xFF), static_cast<char>(machine >> 8)};
    file.write(field, 2);
    if (!file) throw std::runtime_error("cannot patch the machine field");
}

void touch(const std::wstring& file) {
    const HANDLE handle = CreateFileW(file.c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                      nullptr);
    if (handle == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open a file to touch");
    FILETIME written;
    GetFileTime(handle, nullptr, nullptr, &written);
    ULARGE_INTEGER time;
    time.LowPart = written.dwLowDateTime;
    time.HighPart = written.dwHighDateTime;
    time.QuadPart += 3600ULL * 10000000ULL;
    written.dwLowDateTime = time.LowPart;
    written.dwHighDateTime = time.HighPart;
    SetFileTime(handle, nullptr, nullptr, &written);
    CloseHandle(handle);
}

namespace {

// A runtime whose jvm.dll a test loaded cannot be removed by that test's process: the library
// stays loaded to its end. The next test program removes such folders once their process is gone.
void removeFoldersOfEndedTests(const std::wstring& temp) {
    WIN32_FIND_DATAW data;
    const HANDLE find = FindFirstFileW((temp + L"\\stand_in_*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        const DWORD owner = wcstoul(data.cFileName + wcslen(L"stand_in_"), nullptr, 10);
        if (owner == 0 || owner == GetCurrentProcessId()) continue;
        if (const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, owner)) {
            const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
            CloseHandle(process);
            if (running) continue;
        }
        test_support::removeTree(temp + L"\\" + data.cFileName);
    } while (FindNextFileW(find, &data));
    FindClose(find);
}

}  // namespace

RuntimeFolder::RuntimeFolder() {
    wchar_t base[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, base);
    std::wstring temp(base, length);
    if (!temp.empty() && temp.back() == L'\\') temp.pop_back();
    static LONG counter = 0;
    if (InterlockedCompareExchange(&counter, 0, 0) == 0) removeFoldersOfEndedTests(temp);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::wstring candidate = temp + L"\\stand_in_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                                       std::to_wstring(InterlockedIncrement(&counter));
        if (CreateDirectoryW(candidate.c_str(), nullptr)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a folder for stand-in runtimes");
}

RuntimeFolder::~RuntimeFolder() {
    removeCacheEntriesBelow(path_);
    test_support::removeTree(path_);
}

}  // namespace stand_in
