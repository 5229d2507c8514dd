// Shared helpers of the media tool tests: a scratch folder, whole-file I/O and a small PE image
// to use as the template, so that no test depends on a built launcher.exe.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace media_test {

class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // A path inside the folder, as the UTF-8 string the media API takes.
    std::string file(const std::string& name) const;
    // Names of everything in the folder, sorted, to see that nothing was left behind.
    std::vector<std::string> listing() const;

private:
    std::filesystem::path path_;
};

std::string utf8(const std::filesystem::path& path);
std::vector<uint8_t> readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);
void writeText(const std::string& path, const std::string& text);

// MZ header, "PE\0\0", a PE32 optional header and one section whose raw data (filled with a
// pattern) ends the image at `imageEnd()`.
struct PeTemplate {
    static constexpr uint32_t kSectionPointer = 0x200;
    static constexpr uint32_t kSectionSize = 0x400;
    static constexpr int64_t imageEnd() { return kSectionPointer + kSectionSize; }
    static std::vector<uint8_t> bytes();
};

// An .ico file of 32-bit bitmap images of the given sizes (at most 255), each pixel a colour
// made from its size and position, so that images and files can be told apart.
std::vector<uint8_t> iconFile(const std::vector<int>& sizes, uint8_t seed = 0);
// The colour (BGRA) iconFile gives the pixel at (x, y) counted from the top left.
uint32_t iconPixel(int size, int x, int y, uint8_t seed = 0);

// The template the branding tests change: a program with the launcher's resources (on the host
// made from its resource script; in a Windows build, launcher.exe beside the tests).
std::string resourceTemplatePath();

}  // namespace media_test
