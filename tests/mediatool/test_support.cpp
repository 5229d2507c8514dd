#include "test_support.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "mediatool/file_access.h"

namespace media_test {

ScratchFolder::ScratchFolder() {
    std::random_device device;
    for (int attempt = 0; attempt < 100; ++attempt) {
        path_ = std::filesystem::temp_directory_path() / ("mediatool-test-" + std::to_string(device()));
        if (std::filesystem::create_directory(path_)) return;
    }
    throw std::runtime_error("cannot create a scratch folder");
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string ScratchFolder::file(const std::string& name) const { return utf8(path_ / name); }

std::vector<std::string> ScratchFolder::listing() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path_)) {
        names.push_back(utf8(std::filesystem::relative(entry.path(), path_)));
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string utf8(const std::filesystem::path& path) { return media::displayPath(path); }

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(media::nativePath(path), std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(media::nativePath(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

void writeText(const std::string& path, const std::string& text) {
    writeBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

namespace {

void put16(std::vector<uint8_t>& image, size_t offset, uint16_t value) {
    image[offset] = value & 0xFF;
    image[offset + 1] = value >> 8;
}

void put32(std::vector<uint8_t>& image, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) image[offset + i] = (value >> (8 * i)) & 0xFF;
}

}  // namespace

std::vector<uint8_t> PeTemplate::bytes() {
    constexpr size_t kPeOffset = 0x80;
    constexpr uint16_t kOptionalHeaderSize = 0xE0;
    std::vector<uint8_t> image(imageEnd(), 0);
    image[0] = 'M';
    image[1] = 'Z';
    put32(image, 60, kPeOffset);
    std::copy_n("PE\0\0", 4, image.begin() + kPeOffset);
    put16(image, kPeOffset + 4, 0x14C);  // i386
    put16(image, kPeOffset + 6, 1);      // one section
    put16(image, kPeOffset + 20, kOptionalHeaderSize);
    put16(image, kPeOffset + 24, 0x10B);  // PE32
    const size_t section = kPeOffset + 24 + kOptionalHeaderSize;
    std::copy_n(".text\0\0\0", 8, image.begin() + section);
    put32(image, section + 16, kSectionSize);
    put32(image, section + 20, kSectionPointer);
    for (uint32_t i = 0; i < kSectionSize; ++i) image[kSectionPointer + i] = static_cast<uint8_t>(i * 7 + 3);
    return image;
}

}  // namespace media_test
