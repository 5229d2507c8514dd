// The tar reader's stream and file system in the real world: zlib's gz functions over the
// archive, and the C runtime's files below the current directory.
#pragma once

#include <zlib.h>

#include <string>

#include "jre/archive/tar_reader.h"

namespace jre {

class GzipArchiveStream final : public ArchiveStream {
public:
    // Check isOpen(); the path is narrow, in the file-API code page.
    explicit GzipArchiveStream(const std::string& path);
    ~GzipArchiveStream() override;
    GzipArchiveStream(const GzipArchiveStream&) = delete;
    GzipArchiveStream& operator=(const GzipArchiveStream&) = delete;

    bool isOpen() const { return file_ != nullptr; }
    int read(void* buffer, unsigned size) override;
    bool skip(int64_t count) override;
    int64_t position() override;
    bool atEnd() override;

private:
    gzFile file_ = nullptr;
};

// Creates entries relative to the current directory (the reader's caller makes the target
// directory current), with the names' "\" turned into the platform's separator.
class CurrentDirectoryTarget final : public ArchiveTarget {
public:
    void createDirectory(const std::string& name) override;
    std::unique_ptr<ArchiveFile> createFile(const std::string& name) override;
};

}  // namespace jre
