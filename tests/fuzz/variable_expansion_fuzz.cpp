// Variable expansion over arbitrary texts and environments: every input ends, within the size
// limit, whatever the values refer to. The limit is smaller than the launcher's (the same bound,
// passed in): self-doubling values reach it within a few entries either way, and at 4 Mi
// characters each such input took seconds instead of a millisecond. Inputs are capped at 1 KB
// for the same reason: every reference of the text may expand to the limit.
// fuzz options: -max_len=1024
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "files/variable_expansion.h"

namespace {

class FuzzSource : public files::ExpansionSource {
public:
    std::vector<std::string> entries;

    std::string executableDirectoryNarrow() override { return "C:\\App\\${CORVANE_TEMPDIR}\\"; }
    std::wstring executableDirectoryWide() override { return L"C:\\App\\%LUMBRA_JVM_HOME%\\"; }
    std::string extractionDirectory() override { return "C:\\Temp\\lmb1.tmp_dir1${X}"; }
    std::string runtimeHome() override { return "C:\\jre\\bin\\.."; }
    std::string temporaryBaseNarrow() override { return "C:\\Temp"; }
    std::wstring temporaryBaseWide() override { return L"C:\\Temp"; }
    std::vector<std::string> environmentNarrow() override { return entries; }
    std::vector<std::wstring> environmentWide() override {
        std::vector<std::wstring> wide;
        for (const auto& entry : entries) wide.push_back(files::widenBytes(entry));
        return wide;
    }
};

constexpr size_t kLimit = size_t{1} << 14;

}  // namespace

// Byte 0 picks the variant; the rest is the text, then environment entries, split at NULs.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const int variant = data[0] % 3;
    std::vector<std::string> parts(1);
    for (size_t i = 1; i < size; ++i) {
        if (data[i] == 0) parts.emplace_back();
        else parts.back() += static_cast<char>(data[i]);
    }
    FuzzSource source;
    source.entries.assign(parts.begin() + 1, parts.end());
    if (variant == 0) {
        std::string text = parts[0];
        files::expandNarrow(text, source, kLimit);
        if (text.size() > kLimit + parts[0].size()) std::abort();
    } else {
        std::wstring text = files::widenBytes(parts[0]);
        files::expandWide(text, variant == 1 ? files::ExpansionMode::AnsiSafe : files::ExpansionMode::Unicode,
                           source, kLimit);
        if (text.size() > kLimit + parts[0].size()) std::abort();
    }
    return 0;
}

std::vector<std::vector<uint8_t>> fuzzSeeds() {
    auto seed = [](uint8_t variant, const std::string& text) {
        std::vector<uint8_t> bytes{variant};
        bytes.insert(bytes.end(), text.begin(), text.end());
        return bytes;
    };
    using namespace std::string_literals;
    return {
        seed(0, "%CORVANE_EXEDIR%lib\\a.jar;${launcher:sys.jvmHome}\0Path=C:\\W\0A=${B}${B}\0B=${A}x"s),
        seed(1, "${Path}|${PATH}|${path}|${=C:}\0=C:=C:\\d\0Path=${PATH}${PATH}"s),
        seed(2, "${X}${LUMBRA_EXEDIR}${launcher:sys.tempDir}\0X=${Y}${Y}${Y}\0Y=${Z}${Z}${Z}\0Z=%LUMBRA_TEMPDIR%"s),
    };
}
