#include "mediatool/file_access.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <random>

#include "base/text.h"
#include "mediatool/build_error.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace media {

std::filesystem::path nativePath(const std::string& path) {
#ifdef _WIN32
    return std::filesystem::path(base::utf8ToWide(path));
#else
    return std::filesystem::path(path);
#endif
}

std::string displayPath(const std::filesystem::path& path) {
#ifdef _WIN32
    return base::wideToUtf8(path.native());
#else
    return path.native();
#endif
}

std::FILE* openForReading(const std::filesystem::path& path) {
#ifdef _WIN32
    return _wfopen(path.c_str(), L"rb");
#else
    return std::fopen(path.c_str(), "rb");
#endif
}

bool seekTo(std::FILE* file, int64_t offset) {
#ifdef _WIN32
    return _fseeki64(file, offset, SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

int64_t fileSize(std::FILE* file) {
#ifdef _WIN32
    struct _stati64 info;
    if (_fstati64(_fileno(file), &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG) return -1;
#else
    struct stat info;
    if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
#endif
    return static_cast<int64_t>(info.st_size);
}

std::string errnoText(int error) { return std::strerror(error); }

namespace {

#ifndef _WIN32
// The temporary files that exist at this moment, for the interrupt handler: plain strings in
// fixed slots, which a signal handler may read.
std::atomic<char*> temporaryFiles[32];
#endif

void rememberTemporaryFile(const std::filesystem::path& path) {
#ifndef _WIN32
    char* copy = strdup(path.c_str());
    for (std::atomic<char*>& slot : temporaryFiles) {
        char* empty = nullptr;
        if (copy && slot.compare_exchange_strong(empty, copy)) return;
    }
    std::free(copy);
#else
    (void)path;
#endif
}

void forgetTemporaryFile(const std::filesystem::path& path) {
#ifndef _WIN32
    for (std::atomic<char*>& slot : temporaryFiles) {
        char* held = slot.load();
        if (held && path.native() == held && slot.compare_exchange_strong(held, nullptr)) {
            std::free(held);
            return;
        }
    }
#else
    (void)path;
#endif
}

#ifndef _WIN32
void removeAndEnd(int signalNumber) {
    for (std::atomic<char*>& slot : temporaryFiles) {
        if (const char* path = slot.load()) unlink(path);
    }
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}
#endif

// Creates the file only if it does not exist yet, so two builds into one folder never share a
// temporary file.
std::FILE* createExclusive(const std::filesystem::path& path, bool executable) {
#ifdef _WIN32
    (void)executable;
    const int fd = _wopen(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) return nullptr;
    std::FILE* file = _fdopen(fd, "wb");
    if (!file) _close(fd);
#else
    const int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, executable ? 0777 : 0666);
    if (fd < 0) return nullptr;
    std::FILE* file = fdopen(fd, "wb");
    if (!file) ::close(fd);
#endif
    return file;
}

std::string randomSuffix() {
    static std::random_device device;
    static std::mt19937_64 generator(device());
    char text[24];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(generator()));
    return text;
}

}  // namespace

AtomicOutputFile::AtomicOutputFile(const std::filesystem::path& finalPath, bool executable)
    : finalPath_(finalPath) {
    if (finalPath.filename().empty()) {
        throw MediaBuildError("output path names a folder, not a file: " + displayPath(finalPath));
    }
    std::filesystem::path folder = finalPath.parent_path();
    for (int attempt = 0; attempt < 16 && !file_; ++attempt) {
        std::filesystem::path name = finalPath.filename();
        name += ".tmp-" + randomSuffix();
        temporaryPath_ = folder / name;
        file_ = createExclusive(temporaryPath_, executable);
        if (!file_ && errno != EEXIST) break;
    }
    if (file_) rememberTemporaryFile(temporaryPath_);
    if (!file_) {
        const int error = errno;
        throw MediaBuildError("cannot create a file beside " + displayPath(finalPath) + ": " +
                              errnoText(error));
    }
}

AtomicOutputFile::~AtomicOutputFile() {
    if (!finished_) discard();
}

void AtomicOutputFile::discard() {
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    std::error_code ignored;
    std::filesystem::remove(temporaryPath_, ignored);
    forgetTemporaryFile(temporaryPath_);
}

void AtomicOutputFile::fail(const char* what, int error) {
    discard();
    finished_ = true;
    throw MediaBuildError(std::string(what) + " " + displayPath(finalPath_) + ": " + errnoText(error));
}

void AtomicOutputFile::write(const void* data, size_t size) {
    if (size > 0 && std::fwrite(data, 1, size, file_) != size) fail("cannot write", errno);
}

void AtomicOutputFile::seek(int64_t offset) {
    if (std::fflush(file_) != 0 || !seekTo(file_, offset)) fail("cannot write", errno);
}

void AtomicOutputFile::commit() {
    if (std::fflush(file_) != 0 || std::ferror(file_)) fail("cannot write", errno);
    std::FILE* file = file_;
    file_ = nullptr;
    if (std::fclose(file) != 0) fail("cannot write", errno);
#ifdef _WIN32
    if (!MoveFileExW(temporaryPath_.c_str(), finalPath_.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        discard();
        finished_ = true;
        throw MediaBuildError("cannot replace " + displayPath(finalPath_) + " (Windows error " +
                              std::to_string(error) + ")");
    }
#else
    if (std::rename(temporaryPath_.c_str(), finalPath_.c_str()) != 0) fail("cannot replace", errno);
#endif
    forgetTemporaryFile(temporaryPath_);
    finished_ = true;
}

ScratchFile::ScratchFile(const std::filesystem::path& neighbour, const std::string& label) {
    for (int attempt = 0; attempt < 16 && !file_; ++attempt) {
        std::filesystem::path name = neighbour.filename();
        name += ".tmp-" + label + "-" + randomSuffix();
        path_ = neighbour.parent_path() / name;
        file_ = createExclusive(path_, false);
        if (!file_ && errno != EEXIST) break;
    }
    if (file_) rememberTemporaryFile(path_);
    if (!file_) {
        const int error = errno;
        throw MediaBuildError("cannot create a file beside " + displayPath(neighbour) + ": " + errnoText(error));
    }
}

ScratchFile::~ScratchFile() {
    if (file_) std::fclose(file_);
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
    forgetTemporaryFile(path_);
}

void ScratchFile::write(const void* data, size_t size) {
    if (size > 0 && std::fwrite(data, 1, size, file_) != size) {
        const int error = errno;
        throw MediaBuildError("cannot write " + displayPath(path_) + ": " + errnoText(error));
    }
}

void ScratchFile::close() {
    std::FILE* file = file_;
    file_ = nullptr;
    const bool written = std::fflush(file) == 0 && !std::ferror(file);
    const int error = errno;
    if (std::fclose(file) != 0 || !written) {
        throw MediaBuildError("cannot write " + displayPath(path_) + ": " + errnoText(error));
    }
}

void removeTemporaryFilesOnInterrupt() {
#ifndef _WIN32
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) std::signal(signalNumber, removeAndEnd);
#endif
}

}  // namespace media
