// The VM options file reader and the configured option strings over arbitrary texts: every
// input ends, includes and all, with no more options than its lines could make. Inputs are
// capped at 1 KB: each file read repeats every include line of the input's text, so the work
// grows with the square of the length, and a kilobyte already holds chains of includes with
// hundreds of lines each.
// fuzz options: -max_len=1024
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "files/variable_expansion.h"
#include "launch/vm_options.h"

namespace {

// Every include reads the second part of the input (a file that may include itself); the
// other services answer as the launcher's would for plain names.
class FuzzServices final : public launch::OptionServices {
public:
    std::string included;
    long reads = 0;

    void expand(std::wstring&, files::ExpansionMode) override {}
    void expandNarrow(std::string&) override {}
    std::string toAnsi(std::wstring_view text) override {
        std::string narrow;
        for (const wchar_t c : text) narrow.push_back(c < 256 ? static_cast<char>(c) : '?');
        return narrow;
    }
    std::optional<std::string> readFile(const std::wstring& path) override {
        ++reads;
        if (path.find(L"missing") != std::wstring::npos) return std::nullopt;
        return included;
    }
    std::wstring fullPath(const std::wstring& path) override { return L"C:\\app\\" + path; }
    std::wstring executableLongDirectory() override { return L"C:\\app"; }
};

}  // namespace

// Byte 0 picks the form (a file, a configured option string); the rest is the text, a NUL,
// the included file's text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::string parts[2];
    size_t part = 0;
    for (size_t i = 1; i < size; ++i) {
        if (data[i] == 0 && part == 0) part = 1;
        else parts[part] += static_cast<char>(data[i]);
    }
    FuzzServices services;
    services.included = parts[1];
    launch::OptionSink sink;
    // Small bounds, reached by a few lines: every input that includes itself reads its text at
    // most this often (the launcher's 64 files made each such input read it 64 times, short
    // lines making hundreds of options each time).
    sink.includeDepthLimit = 3;
    sink.includedFileLimit = 5;
    if (data[0] % 2 == 0) {
        launch::readVmOptionsText(parts[0], std::wstring(L"C:\\app\\launcher.vmoptions"), sink, services);
    } else {
        launch::addOptionString(files::widenBytes(parts[0]), sink, services);
    }
    // One option per line or token of each file read, at most.
    const size_t bound = (parts[0].size() + 1) + static_cast<size_t>(services.reads) * (parts[1].size() + 1);
    if (sink.options.size() > bound) std::abort();
    return 0;
}

std::vector<std::vector<uint8_t>> fuzzSeeds() {
    auto seed = [](uint8_t form, const std::string& text) {
        std::vector<uint8_t> bytes{form};
        bytes.insert(bytes.end(), text.begin(), text.end());
        return bytes;
    };
    using namespace std::string_literals;
    return {
        seed(0, "# comment\r\n-Xmx512m\n  -Da=b c  \n-classpath a.jar\n-classpath/p p.jar\n-classpath/a s.jar\n"
                "-include-options sub.vmoptions\n-include-options missing\0-Dsub=1\n-include-options again\n"s),
        seed(1, "-Xms1m \"-Dq=a b\" -include-options inc.vmoptions -include-options\0-Dfrom=include\n"s),
    };
}
