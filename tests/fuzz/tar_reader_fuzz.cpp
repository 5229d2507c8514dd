// The tar reader over arbitrary uncompressed bytes, writing into a target that keeps nothing:
// every input ends in true or false, never outside what the reader checked.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/relative_path.h"
#include "jre/archive/tar_reader.h"

namespace {

class MemoryStream final : public jre::ArchiveStream {
public:
    MemoryStream(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    int read(void* buffer, unsigned size) override {
        const size_t n = std::min<size_t>(size, size_ - position_);
        std::memcpy(buffer, data_ + position_, n);
        position_ += n;
        return static_cast<int>(n);
    }
    bool skip(int64_t count) override {
        if (count < 0) return false;
        position_ = std::min<size_t>(size_, position_ + static_cast<size_t>(count));
        return true;
    }
    int64_t position() override { return static_cast<int64_t>(position_); }
    bool atEnd() override { return position_ >= size_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

class CheckingTarget final : public jre::ArchiveTarget {
public:
    void createDirectory(const std::string& name) override { check(name); }
    std::unique_ptr<jre::ArchiveFile> createFile(const std::string& name) override {
        check(name);
        struct Sink : jre::ArchiveFile {
            bool write(const void*, unsigned) override { return true; }
            bool failed() override { return false; }
        };
        return std::make_unique<Sink>();
    }

private:
    static void check(const std::string& name) {
        if (!base::staysInside(name)) __builtin_trap();
    }
};

std::string block(const std::string& name, char type, const std::string& size) {
    std::string header(512, '\0');
    header.replace(0, name.size(), name);
    header.replace(124, size.size(), size);
    header[156] = type;
    header.replace(257, 5, "ustar");
    return header;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryStream stream(data, size);
    CheckingTarget target;
    jre::extractTarEntries(stream, target, {}, 1000);
    return 0;
}

std::vector<std::vector<uint8_t>> fuzzSeeds() {
    const std::string archive = block("lib", '5', "0") + block("././@LongLink", 'L', "00000000012") +
                                std::string("lib/long.jar") + std::string(500, '\0') +
                                block("x", '0', "00000000003") + std::string("abc") + std::string(509, '\0') +
                                block("link", '2', "0") + std::string(1024, '\0');
    return {std::vector<uint8_t>(archive.begin(), archive.end())};
}
