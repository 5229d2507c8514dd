// File access for the media tools. Paths are UTF-8 strings; under Windows they go to the wide
// C runtime and Win32 calls, so names outside the ANSI code page work too.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

namespace media {

std::filesystem::path nativePath(const std::string& path);
// The path as UTF-8, for messages and for the media API.
std::string displayPath(const std::filesystem::path& path);

// nullptr with errno set on failure.
std::FILE* openForReading(const std::filesystem::path& path);

// Size from the end position of a file opened for reading; -1 when it cannot be told.
int64_t fileSize(std::FILE* file);
bool seekTo(std::FILE* file, int64_t offset);

std::string errnoText(int error);

// Makes an interrupt (Ctrl-C, SIGTERM, SIGHUP) remove the temporary files of the builds under way
// before the process ends, so that an interrupted build leaves nothing behind. For the command's
// process only; POSIX (under Windows the open files could not be removed by the handler).
void removeTemporaryFilesOnInterrupt();

// A file that appears under its final name only when commit() succeeds. It is written as a
// temporary file in the same folder (so the final rename stays on one volume) and removed
// when the object goes away uncommitted, on every error path.
class AtomicOutputFile {
public:
    // `executable`: the launcher images we write should stay runnable where that matters.
    AtomicOutputFile(const std::filesystem::path& finalPath, bool executable);
    ~AtomicOutputFile();
    AtomicOutputFile(const AtomicOutputFile&) = delete;
    AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

    void write(const void* data, size_t size);
    // Absolute position in the file, for patching a header written earlier.
    void seek(int64_t offset);
    void commit();

private:
    [[noreturn]] void fail(const char* what, int error);
    void discard();

    std::filesystem::path finalPath_;
    std::filesystem::path temporaryPath_;
    std::FILE* file_ = nullptr;
    bool finished_ = false;  // committed, or cleaned up after a failure
};

// A temporary file beside `neighbour` (same folder, so it lands on the volume being written
// anyway) for an intermediate product of a build, removed when the object goes away.
class ScratchFile {
public:
    explicit ScratchFile(const std::filesystem::path& neighbour, const std::string& label);
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    void write(const void* data, size_t size);
    // Ends the writing; the file can then be read through path().
    void close();
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    std::FILE* file_ = nullptr;
};

}  // namespace media
