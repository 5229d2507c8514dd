#include "jre/packed_archives.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "base/format.h"
#include "base/win/handles.h"
#include "files/path_operations.h"
#include "services/cancel.h"
#include "services/error_path.h"
#include "services/log.h"
#include "services/platform.h"

namespace jre {

namespace {

using services::logMessage;

constexpr int kUnpackerNotStartedMessage = 1021;
constexpr char kPackSuffix[] = ".pack";
constexpr size_t kPackSuffixLength = sizeof kPackSuffix - 1;
// Searched in this order below the runtime directory.
constexpr const char* kLibraryDirectories[] = {"lib", "lib\\ext"};

// Find handles are closed with FindClose, not CloseHandle.
class FindHandle {
public:
    explicit FindHandle(HANDLE handle) : handle_(handle) {}
    ~FindHandle() {
        if (valid()) FindClose(handle_);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

// The path without its ".pack"; never cut into nothing on a name too short to carry one.
std::string withoutPackSuffix(const std::string& path) {
    return path.substr(0, path.size() - std::min(path.size(), kPackSuffixLength));
}

bool endsWithPackSuffix(const char* name) {
    const size_t length = std::strlen(name);
    return length > kPackSuffixLength && _stricmp(name + length - kPackSuffixLength, kPackSuffix) == 0;
}

// Whether a packed file needed expanding: the first one of a call starts the messages.
struct Expansion {
    bool started = false;
};

void expandInLibraryDirectory(const std::string& runtimeHome, const char* sub, Expansion& expansion) {
    WIN32_FIND_DATAA found = {};
    const FindHandle find(
        FindFirstFileA(base::formatNarrow("%s\\%s\\*.jar.pack", runtimeHome, sub).c_str(), &found));
    if (!find.valid()) return;
    do {
        if (services::isCancelled()) return;
        // A folder of that name, or a short-name match whose long name ends otherwise, is no
        // packed file.
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || !endsWithPackSuffix(found.cFileName)) {
            continue;
        }
        const std::string jarName = withoutPackSuffix(found.cFileName);
        const std::string jarPath = base::formatNarrow("%s\\%s\\%s", runtimeHome, sub, jarName);
        services::logMessage(L"checking %S", jarPath);
        // Expanded before: the packed file is left alone.
        if (files::pathExists(jarPath)) continue;
        if (!expansion.started) {
            services::logMessage(L"Unpacking JRE");
            services::writeStandardOutput("Preparing JRE ...\n");
            expansion.started = true;
        }
        const std::string relativeJar = base::formatNarrow("%s\\%s", sub, jarName);
        unpackFile(runtimeHome, base::formatNarrow("%s\\%s.pack", runtimeHome, relativeJar));
    } while (FindNextFileA(find.get(), &found));
}

}  // namespace

void expandPackedJars(const std::string& runtimeHome) {
    Expansion expansion;
    for (const char* sub : kLibraryDirectories) expandInLibraryDirectory(runtimeHome, sub, expansion);
    if (expansion.started) services::logMessage(L"Unpacking JRE done");
}

void unpackFile(const std::string& runtimeHome, const std::string& packedPath) {
    const std::string jarPath = withoutPackSuffix(packedPath);
    if (!files::pathExists(packedPath)) {
        services::logMessage(L"pack path doesn't exists");
        return;
    }

    const std::string program = base::formatNarrow("%s\\bin\\unpack200.exe", runtimeHome);
    // The program goes to the system as the image name only; the command line starts with the
    // options.
    std::string commandLine = base::formatNarrow("-r \"%s\" \"%s\"", packedPath, jarPath);
    services::logMessage(L"%S", program);
    services::logMessage(L"%S", commandLine);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr,
                        nullptr, &startup, &started)) {
        services::logMessage(L"could not create unpack process");
        services::failWithMessage(kUnpackerNotStartedMessage, std::string_view(program));
    }
    {
        const base::win::KernelHandle process(started.hProcess);
        const base::win::KernelHandle thread(started.hThread);
        services::logMessage(L"waiting for unpack200 to finish");
        WaitForSingleObject(process.get(), INFINITE);
        services::logMessage(L"unpack done");
    }

    if (!DeleteFileA(packedPath.c_str())) {
        const DWORD error = GetLastError();
        // The unpacker may have removed the packed file itself.
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            services::logMessage(L"could not delete packed file (error %d)", static_cast<int>(error));
        }
    }
}

}  // namespace jre
