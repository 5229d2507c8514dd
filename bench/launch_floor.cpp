// The floor of a launcher run up to the virtual machine: the least a Windows program does to
// get from its start to a runtime's JNI_CreateJavaVM for the same media file. It reads the media
// file once (the verification's read), writes the included files, unpacks "jre.tar.gz" into
// "jre" beside them, loads jre\bin\server\jvm.dll and calls its JNI_CreateJavaVM with no options.
// Usage: launch_floor MEDIA FOLDER
// After the call it prints the seconds of its four steps (read, write, unpack, load and call)
// and then those from its process's creation to its first line (the system's start-up of it).
// Built twice: as a console program, and as a GUI-subsystem program importing the launcher's
// system libraries (launch_floor_gui, with floor_gui_imports.cpp).
#include <windows.h>

#include <jni.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "floor_steps.h"

namespace {

uint64_t ticksOf(const FILETIME& time) { return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime; }

// Seconds from the process's creation to now.
double secondsSinceCreation() {
    FILETIME now, created, exited, kernel, user;
    GetSystemTimePreciseAsFileTime(&now);
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    return static_cast<double>(ticksOf(now) - ticksOf(created)) / 1e7;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const double startup = secondsSinceCreation();
    if (argc != 3) return 2;
    const std::wstring folder = argv[2];
    LARGE_INTEGER frequency, steps[5];
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&steps[0]);
    std::vector<char> buffer(1 << 20);
    bench::readWholeFile(argv[1], buffer);
    QueryPerformanceCounter(&steps[1]);
    bench::writeIncludedFiles(argv[1], folder, buffer);
    QueryPerformanceCounter(&steps[2]);
    const std::string narrowFolder(folder.begin(), folder.end());
    if (!bench::unpackTarGz((narrowFolder + "\\jre.tar.gz").c_str(), narrowFolder + "\\jre", buffer)) return 3;
    DeleteFileW((folder + L"\\jre.tar.gz").c_str());
    QueryPerformanceCounter(&steps[3]);
    const HMODULE jvm = LoadLibraryW((folder + L"\\jre\\bin\\server\\jvm.dll").c_str());
    if (!jvm) return 4;
    using Create = jint(JNICALL*)(JavaVM**, void**, void*);
    const auto create = reinterpret_cast<Create>(reinterpret_cast<void*>(GetProcAddress(jvm, "JNI_CreateJavaVM")));
    if (!create) return 5;
    JavaVMInitArgs args = {JNI_VERSION_1_2, 0, nullptr, JNI_TRUE};
    JavaVM* vm = nullptr;
    void* env = nullptr;
    const jint created = create(&vm, &env, &args);
    QueryPerformanceCounter(&steps[4]);
    for (int step = 1; step < 5; ++step) {
        std::printf("%.4f ", static_cast<double>(steps[step].QuadPart - steps[step - 1].QuadPart) / frequency.QuadPart);
    }
    std::printf("%.4f\n", startup);
    return created == JNI_OK ? 0 : 6;
}
