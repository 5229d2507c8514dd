// Stand-in Java runtimes laid out in the shapes the launcher must handle, each a copy of the
// stand-in java.exe/javaw.exe with its own "stand-in.txt" (what it prints and how it exits) and
// "runs.log" (one line per start) in its home, and on request the stand-in jvm.dll and jli.dll.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace stand_in {

struct Behaviour {
    std::string version = "17.0.2";
    int exitCode = 0;
    // Milliseconds the runtime waits after its output, standard error still open.
    unsigned delay = 0;
    bool closingQuote = true;
    // Non-zero: after its first run java.exe replaces itself by a copy with this PE machine
    // field and the same last-write time.
    uint16_t becomeMachine = 0;
};

enum class Shape {
    JreBin,        // root\jre\bin\java.exe, javaw.exe
    Bin,           // root\bin\java.exe, javaw.exe
    JdkWithJre,    // root\bin\..., root\lib\tools.jar and an embedded root\jre\bin\...
    NoJavaw,       // root\bin\java.exe only
    OtherMachine,  // root\bin: java.exe runs once and then carries the other machine field
                   // (otherMachine()); javaw.exe carries it from the start
};

// The libraries a runtime gets besides its executables.
struct Libraries {
    // The folder under bin that holds jvm.dll ("client", "server" or any other name); empty for
    // a runtime without one. A JDK with an embedded runtime gets it only in its jre\bin, as a
    // JDK 8 is laid out.
    std::wstring jvmFolder;
    bool jli = false;  // bin\jli.dll (in a JDK both bin folders)
};
inline Libraries withJvm(std::wstring folder = L"server", bool jli = true) { return {std::move(folder), jli}; }

struct Runtime {
    std::wstring root;      // the folder a configured location names
    std::wstring home;      // the folder above java.exe's bin folder
    std::wstring javaExe;
    std::wstring javawExe;  // empty when the shape has none
    // The embedded runtime of a JDK: its home and java.exe (empty for other shapes).
    std::wstring embeddedHome;
    std::wstring embeddedJavaExe;
    // The laid-out libraries, empty when there is none.
    std::wstring jvmDll;
    std::wstring jliDll;
};

// The folder of the built stand-in java.exe, javaw.exe and jli.dll (jvm.dll is in its server
// folder).
std::wstring standInBinDirectory();
std::wstring standInJvmDll();

// Creates `root` (and its parents) and lays the runtime out in it, e.g.
// layOutRuntime(folder / L"jdk", Shape::JdkWithJre, {}, withJvm(L"client")).
Runtime layOutRuntime(const std::wstring& root, Shape shape, const Behaviour& behaviour = {},
                      const Libraries& libraries = {});
// Rewrites the home's "stand-in.txt".
void describe(const std::wstring& home, const Behaviour& behaviour);
// The lines of the home's "runs.log": one per start, the command line, then any Java options
// variables and PATH as the run saw them ("\tNAME=value").
std::vector<std::string> runLog(const std::wstring& home);

// The x86 machine for an x86-64 build and the reverse: a runtime the launcher must refuse.
uint16_t otherMachine();
// Rewrites the PE machine field of an executable in place (it can then no longer start here).
void patchMachine(const std::wstring& executable, uint16_t machine);
// Moves the file's last-write time on, as replacing the runtime in place would.
void touch(const std::wstring& file);

// A private folder under the temporary folder for laid-out runtimes. Removes everything in it
// at the end, and the launcher's version cache entries of every executable below it.
class RuntimeFolder {
public:
    RuntimeFolder();
    ~RuntimeFolder();
    RuntimeFolder(const RuntimeFolder&) = delete;
    RuntimeFolder& operator=(const RuntimeFolder&) = delete;
    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

}  // namespace stand_in
