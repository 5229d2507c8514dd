// A readable, seekable run of bytes: the media file under Windows, a std::FILE in the media
// builder, a memory buffer in tests and fuzz targets. The payload parser reads only through
// this interface, so the same parser serves the launcher and the tools.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace media {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to `size` bytes. Returns false on an I/O error; a short count at the end of
    // the data is not an error. `bytesRead` is set in both cases.
    virtual bool read(void* buffer, uint32_t size, uint32_t& bytesRead) = 0;
    // Absolute positioning. Seeking past the end succeeds, like SetFilePointerEx; the next
    // read then returns 0 bytes.
    virtual bool seek(int64_t offset) = 0;
    virtual int64_t position() const = 0;
    // The platform error code of the last failed operation (GetLastError, errno), 0 if none.
    virtual uint32_t systemError() const { return 0; }

    bool skip(int64_t count) { return seek(position() + count); }

    // Like read(), but lends the bytes instead of copying them out: `data` points at
    // `bytesRead` bytes (possibly fewer than asked for before the end of the data) that the
    // caller may change and that stay valid until the next call on this source. Sources that
    // read ahead hand out their own buffers; the others read into one kept here.
    virtual bool borrow(uint32_t size, uint8_t*& data, uint32_t& bytesRead);

private:
    std::vector<uint8_t> lent_;
};

class MemoryByteSource final : public ByteSource {
public:
    MemoryByteSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    explicit MemoryByteSource(const std::vector<uint8_t>& bytes)
        : data_(bytes.data()), size_(bytes.size()) {}

    bool read(void* buffer, uint32_t size, uint32_t& bytesRead) override;
    bool seek(int64_t offset) override;
    int64_t position() const override { return position_; }

private:
    const uint8_t* data_;
    size_t size_;
    int64_t position_ = 0;
};

// A std::FILE opened for binary reading; owns and closes it.
class FileByteSource final : public ByteSource {
public:
    // Check isOpen() afterwards; errorText() says why it failed.
    explicit FileByteSource(const std::string& path);
    // Takes over a file the caller opened for binary reading (a wide path under Windows);
    // a null `file` gives a source that is not open.
    explicit FileByteSource(std::FILE* file) : file_(file) {}
    ~FileByteSource() override;
    FileByteSource(const FileByteSource&) = delete;
    FileByteSource& operator=(const FileByteSource&) = delete;

    bool isOpen() const { return file_ != nullptr; }
    // Size of the file, -1 when unknown.
    int64_t size();

    bool read(void* buffer, uint32_t size, uint32_t& bytesRead) override;
    bool seek(int64_t offset) override;
    int64_t position() const override { return position_; }
    uint32_t systemError() const override { return error_; }

private:
    std::FILE* file_ = nullptr;
    int64_t position_ = 0;
    uint32_t error_ = 0;
};

}  // namespace media
