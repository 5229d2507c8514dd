// Runs a fuzz target over a fixed number of generated inputs: mutations (byte flips, cuts,
// insertions of boundary values) of the target's own seeds. Deterministic, so a failure
// repeats; libFuzzer can run the same targets open-ended.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
std::vector<std::vector<uint8_t>> fuzzSeeds();

int main(int argc, char** argv) {
    const long iterations = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 10000;
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
    std::printf("%ld inputs passed\n", iterations + static_cast<long>(seeds.size()));
    return 0;
}
