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

bool listed(const files::DeletionFile& file, const std::wstring& path) {
    return std::find(file.files.begin(), file.files.end(), path) != file.files.end() ||
           std::find(file.directories.begin(), file.directories.end(), path) != file.directories.end();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const auto parsed = files::parseDeletionLines(files::decodeDeletionLines(bytes));
    if (!parsed) return 0;
    RecordingSteps steps;
    files::runDeletionPasses(*parsed, steps);
    for (const std::wstring& path : steps.touched) {
        if (!listed(*parsed, path) || !files::isFullPath(path)) __builtin_trap();
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
