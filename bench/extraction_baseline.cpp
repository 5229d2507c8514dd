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

#include "media/byte_source.h"
#include "media/payload_format.h"
#include "media/payload_reader.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return 2;
    const std::wstring media = argv[1];
    const std::wstring folder = argv[2];
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    std::vector<char> buffer(1 << 20);
    HANDLE file = CreateFileW(media.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD got = 0;
    while (ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) && got > 0) {
    }
    CloseHandle(file);
    LARGE_INTEGER readDone;
    QueryPerformanceCounter(&readDone);

    // Where the records are and how large, from the same parser the launcher uses.
    media::FileByteSource source(std::string(media.begin(), media.end()));
    media::PayloadReader reader(source);
    media::readPayloadHeader(reader);
    const media::ConfigTable config = media::readConfigEntries(reader);
    media::readMessageEntries(reader);
    media::readLanguageBlocks(reader);
    const std::vector<std::string> names = media::splitIncludedFileNames(config.at(2003));
    CreateDirectoryW(folder.c_str(), nullptr);
    for (const std::string& name : names) {
        const int64_t size = reader.readLong();
        const std::wstring path = folder + L"\\" + std::wstring(name.begin(), name.end());
        HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        int64_t left = size;
        while (left > 0) {
            uint32_t chunk = static_cast<uint32_t>(left < static_cast<int64_t>(buffer.size()) ? left : buffer.size());
            uint32_t read = 0;
            source.read(buffer.data(), chunk, read);
            media::scrambleBytes(buffer.data(), read);
            DWORD written = 0;
            WriteFile(out, buffer.data(), read, &written, nullptr);
            left -= read;
        }
        CloseHandle(out);
    }
    QueryPerformanceCounter(&end);
    const double ticks = static_cast<double>(frequency.QuadPart);
    std::printf("%.3f %.3f\n", static_cast<double>(end.QuadPart - start.QuadPart) / ticks,
                static_cast<double>(readDone.QuadPart - start.QuadPart) / ticks);
    return 0;
}
