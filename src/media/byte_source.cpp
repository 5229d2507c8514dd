#include "media/byte_source.h"

#include <cerrno>
#include <cstring>

namespace media {

bool ByteSource::borrow(uint32_t size, uint8_t*& data, uint32_t& bytesRead) {
    if (lent_.size() < size) lent_.resize(size);
    data = lent_.data();
    return read(lent_.data(), size, bytesRead);
}

bool MemoryByteSource::read(void* buffer, uint32_t size, uint32_t& bytesRead) {
    bytesRead = 0;
    if (position_ < 0) return false;
    if (static_cast<uint64_t>(position_) < size_) {
        const uint64_t available = size_ - static_cast<uint64_t>(position_);
        bytesRead = static_cast<uint32_t>(available < size ? available : size);
        if (bytesRead > 0) std::memcpy(buffer, data_ + position_, bytesRead);
        position_ += bytesRead;
    }
    return true;
}

bool MemoryByteSource::seek(int64_t offset) {
    if (offset < 0) return false;
    position_ = offset;
    return true;
}

namespace {

int seekFile(std::FILE* file, int64_t offset, int origin) {
#ifdef _WIN32
    return _fseeki64(file, offset, origin);
#else
    return fseeko(file, static_cast<off_t>(offset), origin);
#endif
}

int64_t tellFile(std::FILE* file) {
#ifdef _WIN32
    return _ftelli64(file);
#else
    return static_cast<int64_t>(ftello(file));
#endif
}

}  // namespace

FileByteSource::FileByteSource(const std::string& path) {
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) error_ = static_cast<uint32_t>(errno);
}

FileByteSource::~FileByteSource() {
    if (file_) std::fclose(file_);
}

int64_t FileByteSource::size() {
    if (!file_) return -1;
    const int64_t here = tellFile(file_);
    if (seekFile(file_, 0, SEEK_END) != 0) return -1;
    const int64_t end = tellFile(file_);
    seekFile(file_, here, SEEK_SET);
    return end;
}

bool FileByteSource::read(void* buffer, uint32_t size, uint32_t& bytesRead) {
    bytesRead = 0;
    if (!file_) return false;
    const size_t got = std::fread(buffer, 1, size, file_);
    bytesRead = static_cast<uint32_t>(got);
    position_ += static_cast<int64_t>(got);
    if (got < size && std::ferror(file_)) {
        error_ = static_cast<uint32_t>(errno);
        std::clearerr(file_);
        return false;
    }
    return true;
}

bool FileByteSource::seek(int64_t offset) {
    if (!file_ || offset < 0) return false;
    if (seekFile(file_, offset, SEEK_SET) != 0) {
        error_ = static_cast<uint32_t>(errno);
        return false;
    }
    position_ = offset;
    return true;
}

}  // namespace media
