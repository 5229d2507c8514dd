// A stand-in for a launcher run that fails after creating its extraction directory, until the
// work flow gives launcher.exe such a run: it fills an extraction directory the way the
// included files and the runtime would, optionally holds one file open, and ends through
// cleanUpAndExit(7). Started again as "__cvn_windel <file>" it is the deletion child; with
// "paths" it prints the narrow forms of its own path instead.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>

#include "base/text.h"
#include "files/cleanup.h"
#include "files/deletion_child.h"
#include "files/executable_paths.h"
#include "files/extraction_directory.h"
#include "files/path_operations.h"
#include "services/launcher_log.h"

namespace {

void writeFile(const std::string& path) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, "data", 4, &written, nullptr);
    CloseHandle(file);
}

}  // namespace

int main() {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (count >= 3 && std::wstring(arguments[1]) == L"__cvn_windel") {
        services::setLogDeletionMode(true);
        return files::runDeletionChild(arguments[2]);
    }
    if (count >= 2 && std::wstring(arguments[1]) == L"paths") {
        const auto viaShell = files::shortPathViaShell(files::executableLongPath());
        std::printf("%s\n%s\n%s\n", files::executableNarrowPath().c_str(), files::executableDirectory().c_str(),
                    viaShell ? viaShell->c_str() : "(none)");
        return 0;
    }
    const bool hold = count >= 2 && std::wstring(arguments[1]) == L"hold";

    files::createExtractionDirectory();
    const std::string directory = files::extractionDirectory();
    // Deeper than a runtime's usual folders, and a folder of the installer's own with more.
    std::string deep = directory + "\\jre\\legal";
    for (const char* folder : {"\\jre", "\\jre\\bin", "\\jre\\lib", "\\jre\\lib\\deep", "\\jre\\legal", "\\sub",
                               "\\sub\\a", "\\sub\\a\\b"}) {
        CreateDirectoryA((directory + folder).c_str(), nullptr);
    }
    for (const char* folder : {"\\1", "\\2", "\\3", "\\4", "\\5", "\\6", "\\7"}) {
        deep += folder;
        CreateDirectoryA(deep.c_str(), nullptr);
    }
    writeFile(deep + "\\notice.txt");
    for (const char* file : {"\\cvnruntime.jar", "\\jre\\bin\\jvm.dll", "\\jre\\lib\\deep\\rt.jar", "\\sub\\held.txt",
                             "\\sub\\a\\b\\c.txt"}) {
        writeFile(directory + file);
    }
    if (hold) {
        // Held until the process ends, like a file the Java side still has open.
        CreateFileA((directory + "\\sub\\held.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    }
    std::printf("%s\n", directory.c_str());
    std::fflush(stdout);
    files::cleanUpAndExit(7);
}
