// The least a Windows program must do to unpack a runtime archive: inflate it with zlib and
// write every regular file and folder of the tar stream with plain file calls, nothing else (no
// checks, no log, no progress). Under Wine this is the floor for the launcher's unpacking, set
// mostly by what creating a file costs there.
// Usage: unpack_baseline ARCHIVE FOLDER; prints the seconds the work took inside the process.
#include <windows.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    gzFile archive = gzopen(argv[1], "rb");
    if (!archive) return 1;
    gzbuffer(archive, 256 * 1024);
    const std::string folder = argv[2];
    CreateDirectoryA(folder.c_str(), nullptr);
    std::vector<char> buffer(1 << 20);
    char header[512];
    std::string longName;
    while (gzread(archive, header, 512) == 512 && header[0] != '\0') {
        const int64_t size = std::strtoll(std::string(header + 124, 12).c_str(), nullptr, 8);
        std::string name = longName.empty() ? std::string(header, strnlen(header, 100)) : longName;
        longName.clear();
        const char type = header[156];
        const int64_t padded = (size + 511) / 512 * 512;
        if (type == 'L') {
            longName.resize(static_cast<size_t>(padded));
            gzread(archive, longName.data(), static_cast<unsigned>(padded));
            longName.resize(strnlen(longName.c_str(), static_cast<size_t>(size)));
            continue;
        }
        for (char& c : name)
            if (c == '/') c = '\\';
        const std::string path = folder + "\\" + name;
        if (type == '5') {
            CreateDirectoryA(path.c_str(), nullptr);
            continue;
        }
        HANDLE file = type == '0' ? CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)
                                  : INVALID_HANDLE_VALUE;
        for (int64_t left = padded; left > 0;) {
            const unsigned piece = static_cast<unsigned>(left < static_cast<int64_t>(buffer.size()) ? left : buffer.size());
            const int got = gzread(archive, buffer.data(), piece);
            if (got <= 0) break;
            const int64_t data = size - (padded - left);
            DWORD written = 0;
            if (file != INVALID_HANDLE_VALUE && data > 0)
                WriteFile(file, buffer.data(), static_cast<DWORD>(data < got ? data : got), &written, nullptr);
            left -= got;
        }
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
    gzclose(archive);
    QueryPerformanceCounter(&end);
    std::printf("%.3f\n", static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart));
    return 0;
}
