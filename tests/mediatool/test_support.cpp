#include "test_support.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "mediatool/file_access.h"

#ifdef _WIN32
#include <windows.h>
#endif

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

uint32_t iconPixel(int size, int x, int y, uint8_t seed) {
    const uint32_t blue = static_cast<uint32_t>(x * 255 / size);
    const uint32_t green = static_cast<uint32_t>(y * 255 / size);
    const uint32_t red = static_cast<uint32_t>((size * 5 + seed * 40) & 0xFF);
    return blue | (green << 8) | (red << 16) | 0xFF000000u;
}

std::vector<uint8_t> iconFile(const std::vector<int>& sizes, uint8_t seed) {
    std::vector<std::vector<uint8_t>> images;
    for (const int size : sizes) {
        const uint32_t maskRow = static_cast<uint32_t>((size + 31) / 32 * 4);
        std::vector<uint8_t> image(40 + size * size * 4 + maskRow * size, 0);
        put32(image, 0, 40);
        put32(image, 4, static_cast<uint32_t>(size));
        put32(image, 8, static_cast<uint32_t>(size * 2));  // the colour bits and the mask
        put16(image, 12, 1);
        put16(image, 14, 32);
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) put32(image, 40 + ((size - 1 - y) * size + x) * 4, iconPixel(size, x, y, seed));
        }
        images.push_back(std::move(image));
    }
    std::vector<uint8_t> file(6 + 16 * sizes.size(), 0);
    put16(file, 2, 1);
    put16(file, 4, static_cast<uint16_t>(sizes.size()));
    for (size_t i = 0; i < sizes.size(); ++i) {
        const size_t entry = 6 + 16 * i;
        file[entry] = static_cast<uint8_t>(sizes[i]);
        file[entry + 1] = static_cast<uint8_t>(sizes[i]);
        put16(file, entry + 4, 1);
        put16(file, entry + 6, 32);
        put32(file, entry + 8, static_cast<uint32_t>(images[i].size()));
        put32(file, entry + 12, static_cast<uint32_t>(file.size()));
        file.insert(file.end(), images[i].begin(), images[i].end());
    }
    return file;
}

std::string resourceTemplatePath() {
#if defined(RESOURCE_TEMPLATE)
    return RESOURCE_TEMPLATE;
#elif defined(_WIN32)
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::filesystem::path self(std::wstring(path, length));
    return utf8(self.parent_path() / "launcher.exe");
#else
    return {};
#endif
}

}  // namespace media_test
