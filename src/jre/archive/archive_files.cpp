#include "jre/archive/archive_files.h"

#include <cstdio>

#ifdef _WIN32
#include <direct.h>
#else
#include <sys/stat.h>
#endif

namespace jre {

namespace {

constexpr unsigned kInputBuffer = 256 * 1024;

std::string platformName(std::string name) {
#ifndef _WIN32
    for (char& c : name) {
        if (c == '\\') c = '/';
    }
#endif
    return name;
}

class CFile final : public ArchiveFile {
public:
    explicit CFile(std::FILE* file) : file_(file) {}
    ~CFile() override { std::fclose(file_); }
    bool write(const void* data, unsigned size) override { return std::fwrite(data, 1, size, file_) == size; }
    bool failed() override { return std::ferror(file_) != 0; }

private:
    std::FILE* file_;
};

}  // namespace

GzipArchiveStream::GzipArchiveStream(const std::string& path) : file_(gzopen(path.c_str(), "rb")) {
    // zlib's 8 KB default makes a read call for every few headers of a runtime's small files.
    if (file_) gzbuffer(file_, kInputBuffer);
}

GzipArchiveStream::~GzipArchiveStream() {
    if (file_) gzclose(file_);
}

int GzipArchiveStream::read(void* buffer, unsigned size) { return gzread(file_, buffer, size); }

bool GzipArchiveStream::skip(int64_t count) {
    if (count == 0) return true;
    if (count < 0 || count > 0x7FFFFFFF) return false;
    return gzseek(file_, static_cast<z_off_t>(count), SEEK_CUR) >= 0;
}

int64_t GzipArchiveStream::position() { return gztell(file_); }

bool GzipArchiveStream::atEnd() { return gzeof(file_) != 0; }

void CurrentDirectoryTarget::createDirectory(const std::string& name) {
    const std::string path = platformName(name);
#ifdef _WIN32
    _mkdir(path.c_str());
#else
    mkdir(path.c_str(), 0755);
#endif
}

std::unique_ptr<ArchiveFile> CurrentDirectoryTarget::createFile(const std::string& name) {
    std::FILE* file = std::fopen(platformName(name).c_str(), "wb");
    if (!file) return nullptr;
    return std::make_unique<CFile>(file);
}

}  // namespace jre
