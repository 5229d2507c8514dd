// The physical limit for verifying and extracting a media file: read the payload once, then
// read the included files' bytes, undo their scrambling and write them out, with 1 MB buffers
// and nothing else: the least any program must do to produce the same files.
// Usage: extraction_baseline MEDIA OUTPUT_FOLDER
// Prints the seconds the work took inside the process, start-up and exit left out, and
// the seconds of the first pass (the read alone) of them.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "floor_steps.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return 2;
    LARGE_INTEGER frequency, start, readDone, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    std::vector<char> buffer(1 << 20);
    bench::readWholeFile(argv[1], buffer);
    QueryPerformanceCounter(&readDone);
    bench::writeIncludedFiles(argv[1], argv[2], buffer);
    QueryPerformanceCounter(&end);
    const double ticks = static_cast<double>(frequency.QuadPart);
    std::printf("%.3f %.3f\n", static_cast<double>(end.QuadPart - start.QuadPart) / ticks,
                static_cast<double>(readDone.QuadPart - start.QuadPart) / ticks);
    return 0;
}
