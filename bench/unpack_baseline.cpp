// The least a Windows program must do to unpack a runtime archive: inflate it with zlib and
// write every regular file and folder of the tar stream with plain file calls, nothing else (no
// checks, no log, no progress). Under Wine this is the floor for the launcher's unpacking, set
// mostly by what creating a file costs there.
// Usage: unpack_baseline ARCHIVE FOLDER; prints the seconds the work took inside the process.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "floor_steps.h"

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    std::vector<char> buffer(1 << 20);
    if (!bench::unpackTarGz(argv[1], argv[2], buffer)) return 1;
    QueryPerformanceCounter(&end);
    std::printf("%.3f\n", static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart));
    return 0;
}
