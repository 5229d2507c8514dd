// The tar reader over arbitrary uncompressed bytes (ustar, GNU and pax header forms), writing
// into a target that keeps nothing but the folders made: every input ends in true or false,
// and every name the target sees is one the reader promised (UTF-8 text, inside, "\"
// separators, no empty or "." components, its folders made before it).
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/relative_path.h"
#include "base/text.h"
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
    void createDirectory(const std::string& name) override {
        check(name);
        folders_.insert(name);
    }
    std::unique_ptr<jre::ArchiveFile> createFile(const std::string& name) override {
        check(name);
        struct Sink : jre::ArchiveFile {
            bool write(const void*, unsigned) override { return true; }
            bool failed() override { return false; }
        };
        return std::make_unique<Sink>();
    }

private:
    // Each folder was checked the same way when it was made, so the immediate parent standing
    // for all of them keeps a name of thousands of components from costing its square.
    void check(const std::string& name) const {
        if (!base::staysInside(name) || !base::isUtf8(name) || name.find('/') != std::string::npos) __builtin_trap();
        if (name.find('\0') != std::string::npos) __builtin_trap();
        size_t start = 0;
        size_t parentEnd = std::string::npos;
        while (true) {
            const size_t end = name.find('\\', start);
            const std::string_view component =
                std::string_view(name).substr(start, end == std::string::npos ? end : end - start);
            if (component.empty() || component == ".") __builtin_trap();
            if (end == std::string::npos) break;
            parentEnd = end;
            start = end + 1;
        }
        if (parentEnd != std::string::npos && !folders_.count(name.substr(0, parentEnd))) __builtin_trap();
    }

    std::set<std::string> folders_;
};

std::string block(const std::string& name, char type, const std::string& size, const std::string& prefix = "",
                  bool posix = true) {
    std::string header(512, '\0');
    header.replace(0, name.size(), name);
    header.replace(124, size.size(), size);
    header[156] = type;
    header.replace(257, 8, posix ? std::string("ustar\0" "00", 8) : std::string("ustar  \0", 8));
    header.replace(345, prefix.size(), prefix);
    return header;
}

std::string padded(std::string data) {
    data.resize((data.size() + 511) / 512 * 512, '\0');
    return data;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryStream stream(data, size);
    CheckingTarget target;
    jre::extractTarEntries(stream, target, {}, 1000);
    return 0;
}

std::vector<std::vector<uint8_t>> fuzzSeeds() {
    const std::string gnu = block("lib", '5', "0") + block("././@LongLink", 'L', "00000000012", "", false) +
                            padded("lib/long.jar") + block("x", '0', "00000000003") + padded("abc") +
                            block("link", '2', "0") + std::string(1024, '\0');
    const std::string pax = "26 path=a/\xc3\xa9t\xc3\xa9/./pax.jar\n14 ctime=1.25\n";
    const std::string posix = block("pax_global_header", 'g', "00000000022") + padded("18 comment=global\n") +
                              block("PaxHeaders/x", 'x', "00000000050") + padded(pax) + block("short", '0', "2") +
                              padded("pa") + block("name-part.jar", '0', "1", "deep/prefix/part") + padded("p") +
                              block("PaxHeaders/y", 'x', "10") + padded("8 path=\n") + block("./d/", '5', "0") +
                              block("d/f", '0', "0") + std::string(1024, '\0');
    return {std::vector<uint8_t>(gnu.begin(), gnu.end()), std::vector<uint8_t>(posix.begin(), posix.end())};
}
