// Runs a fuzz target without libFuzzer. Deterministic, so a failure repeats.
//   target [COUNT]             the seeds, then COUNT generated inputs: mutations (byte flips,
//                              cuts, insertions of boundary values) of the seeds
//   target FILE|FOLDER...      each file once: libFuzzer's findings kept as regression inputs
//   target --write-seeds FOLDER  the seeds as files, to start a libFuzzer corpus from
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
std::vector<std::vector<uint8_t>> fuzzSeeds();

namespace {

namespace fs = std::filesystem;

long runGenerated(long iterations) {
    const std::vector<std::vector<uint8_t>> seeds = fuzzSeeds();
    std::mt19937 random(12345);
    for (const auto& seed : seeds) LLVMFuzzerTestOneInput(seed.data(), seed.size());
    for (long i = 0; i < iterations; ++i) {
        std::vector<uint8_t> input = seeds[random() % seeds.size()];
        const int mutations = 1 + static_cast<int>(random() % 8);
        for (int m = 0; m < mutations; ++m) {
            const size_t at = input.empty() ? 0 : random() % input.size();
            switch (random() % 5) {
            case 0:
                if (!input.empty()) input[at] ^= static_cast<uint8_t>(1u << (random() % 8));
                break;
            case 1:
                if (!input.empty()) input[at] = static_cast<uint8_t>(random());
                break;
            case 2:
                input.resize(at);
                break;
            case 3: {
                static const uint8_t boundaries[] = {0x00, 0xFF, 0x7F, 0x80, 0x01};
                input.insert(input.begin() + static_cast<long>(at), boundaries[random() % 5]);
                break;
            }
            default:
                if (input.size() >= 4 && at + 4 <= input.size()) {
                    const uint32_t values[] = {0, 0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u, 1};
                    const uint32_t v = values[random() % 5];
                    for (int b = 0; b < 4; ++b) input[at + b] = static_cast<uint8_t>(v >> (8 * b));
                }
            }
        }
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    return iterations + static_cast<long>(seeds.size());
}

bool runFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return false;
    }
    const std::vector<uint8_t> input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Said before the run, so that a crash names its input.
    std::fprintf(stderr, "running %s (%zu bytes)\n", path.c_str(), input.size());
    LLVMFuzzerTestOneInput(input.data(), input.size());
    return true;
}

int writeSeeds(const fs::path& folder) {
    fs::create_directories(folder);
    const std::vector<std::vector<uint8_t>> seeds = fuzzSeeds();
    for (size_t i = 0; i < seeds.size(); ++i) {
        std::ofstream out(folder / ("seed-" + std::to_string(i)), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(seeds[i].data()), static_cast<std::streamsize>(seeds[i].size()));
        if (!out) {
            std::fprintf(stderr, "cannot write seeds into %s\n", folder.c_str());
            return 1;
        }
    }
    std::printf("%zu seeds written\n", seeds.size());
    return 0;
}

bool isCount(const std::string& argument) {
    return !argument.empty() && argument.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--write-seeds") return writeSeeds(argv[2]);
    if (argc <= 2 && (argc == 1 || isCount(argv[1]))) {
        const long inputs = runGenerated(argc > 1 ? std::strtol(argv[1], nullptr, 10) : 10000);
        std::printf("%ld inputs passed\n", inputs);
        return 0;
    }
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        if (!fs::is_directory(argv[i])) {
            files.emplace_back(argv[i]);
            continue;
        }
        std::vector<fs::path> inFolder;
        for (const auto& entry : fs::directory_iterator(argv[i]))
            if (entry.is_regular_file()) inFolder.push_back(entry.path());
        std::sort(inFolder.begin(), inFolder.end());
        files.insert(files.end(), inFolder.begin(), inFolder.end());
    }
    for (const fs::path& file : files)
        if (!runFile(file)) return 1;
    const long inputs = static_cast<long>(files.size());
    std::printf("%ld inputs passed\n", inputs);
    return 0;
}
