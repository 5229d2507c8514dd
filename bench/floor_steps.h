// The least a Windows program does for each step of a launcher run, shared by the baselines
// the benchmarks measure the launcher against: plain file calls with 1 MB buffers, zlib for the
// runtime archive, no checks, no log, no progress.
#pragma once

#include <windows.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "media/byte_source.h"
#include "media/payload_format.h"
#include "media/payload_reader.h"

namespace bench {

// Reads the whole file once, as a verification must.
inline void readWholeFile(const std::wstring& path, std::vector<char>& buffer) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD got = 0;
    while (ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) && got > 0) {
    }
    CloseHandle(file);
}

// Writes the included files of the media file into `folder`, unscrambled; names with one
// folder level get that folder.
inline void writeIncludedFiles(const std::wstring& media, const std::wstring& folder, std::vector<char>& buffer) {
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
        if (const size_t slash = path.find(L'\\', folder.size() + 1); slash != std::wstring::npos) {
            CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
        }
        const HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        int64_t left = size;
        while (left > 0) {
            const uint32_t chunk = static_cast<uint32_t>(left < static_cast<int64_t>(buffer.size()) ? left : buffer.size());
            uint32_t read = 0;
            source.read(buffer.data(), chunk, read);
            if (read == 0) break;
            media::scrambleBytes(buffer.data(), read);
            DWORD written = 0;
            WriteFile(out, buffer.data(), read, &written, nullptr);
            left -= read;
        }
        CloseHandle(out);
    }
}

// Inflates a tar.gz and writes every regular file and folder of it under `folder`.
inline bool unpackTarGz(const char* archivePath, const std::string& folder, std::vector<char>& buffer) {
    gzFile archive = gzopen(archivePath, "rb");
    if (!archive) return false;
    gzbuffer(archive, 256 * 1024);
    CreateDirectoryA(folder.c_str(), nullptr);
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
        const HANDLE file = type == '0' ? CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)
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
    return true;
}

}  // namespace bench
