// The deletion file reader over arbitrary bytes: no crash, and what the child would act on is
// always a full path that the file itself names.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "files/deletion_file.h"
#include "files/deletion_passes.h"
#include "files/path_text.h"

namespace {

class RecordingSteps : public files::DeletionSteps {
public:
    std::vector<std::wstring> touched;
    void waitForSemaphoreRelease(const std::wstring&) override {}
    bool deleteFile(const std::wstring& path) override { return touch(path); }
    bool removeDirectory(const std::wstring& path) override { return touch(path); }
    bool scheduleDeletionAtReboot(const std::wstring& path) override {
        touched.push_back(path);
        return true;
    }
    void pause(unsigned) override {}

private:
    bool touch(const std::wstring& path) {
        touched.push_back(path);
        return touched.size() % 3 != 0;  // some entries resist, so that retries run
    }
};

// Every path the file lists, sorted, so that checking each entry acted on stays a lookup rather
// than a walk over all of them (a walk made inputs of a thousand lines quadratic).
std::vector<std::wstring> listedPaths(const files::DeletionFile& file) {
    std::vector<std::wstring> paths = file.files;
    paths.insert(paths.end(), file.directories.begin(), file.directories.end());
    std::sort(paths.begin(), paths.end());
    return paths;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const auto parsed = files::parseDeletionLines(files::decodeDeletionLines(bytes));
    if (!parsed) return 0;
    RecordingSteps steps;
    files::runDeletionPasses(*parsed, steps);
    const std::vector<std::wstring> listed = listedPaths(*parsed);
    for (const std::wstring& path : steps.touched) {
        if (!std::binary_search(listed.begin(), listed.end(), path) || !files::isFullPath(path)) __builtin_trap();
    }
    return 0;
}

namespace {

std::vector<uint8_t> utf16(const std::wstring& text) {
    std::vector<uint8_t> bytes;
    for (wchar_t c : text) {
        bytes.push_back(static_cast<uint8_t>(static_cast<unsigned>(c) & 0xFF));
        bytes.push_back(static_cast<uint8_t>((static_cast<unsigned>(c) >> 8) & 0xFF));
    }
    return bytes;
}

}  // namespace

std::vector<std::vector<uint8_t>> fuzzSeeds() {
    files::DeletionFile own;
    own.semaphoreName = L"Local\\sem";
    own.files = {L"C:\\T\\lmb1.tmp_dir5\\a.jar", L"C:\\T\\lmb1.tmp_dir5\\jre\\bin\\x.dll"};
    own.directories = {L"C:\\T\\lmb1.tmp_dir5\\jre", L"C:\\T\\lmb1.tmp_dir5"};
    const std::string ownBytes = files::encodeDeletionFile(own);
    return {
        std::vector<uint8_t>(ownBytes.begin(), ownBytes.end()),
        utf16(L"\r\nreboot_deletion\r\nRestart?\r\nnow\r\nEOSMARKER\r\nfailed\r\nEOSMARKER\r\nC:\\x\r\n\r\n\\\\s\\d\r\n"),
    };
}
