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

// Checks each entry acted on as it comes: a full path that the file lists (a sorted list, so
// that each check is a lookup; a walk made inputs of a thousand lines quadratic).
class CheckingSteps : public files::DeletionSteps {
public:
    explicit CheckingSteps(const files::DeletionFile& file) : listed_(file.files) {
        listed_.insert(listed_.end(), file.directories.begin(), file.directories.end());
        std::sort(listed_.begin(), listed_.end());
    }
    void waitForSemaphoreRelease(const std::wstring&) override {}
    bool deleteFile(const std::wstring& path) override { return touch(path); }
    bool removeDirectory(const std::wstring& path) override { return touch(path); }
    bool scheduleDeletionAtReboot(const std::wstring& path) override {
        check(path);
        return true;
    }
    void pause(unsigned) override {}

private:
    void check(const std::wstring& path) const {
        if (!std::binary_search(listed_.begin(), listed_.end(), path) || !files::isFullPath(path)) __builtin_trap();
    }
    bool touch(const std::wstring& path) {
        check(path);
        return ++touched_ % 3 != 0;  // some entries resist, so that retries run
    }

    std::vector<std::wstring> listed_;
    size_t touched_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const auto parsed = files::parseDeletionLines(files::decodeDeletionLines(bytes));
    if (!parsed) return 0;
    CheckingSteps steps(*parsed);
    files::runDeletionPasses(*parsed, steps);
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
