// The search for a runtime over ten candidates, each a stand-in runtime named by an "A" entry
// of the search sequence: nine too old for the minimum version, the last one usable. A cold
// search runs every candidate's java.exe (their last-write times moved on, so no cached version
// applies); the cached search right after it takes every version from the version cache. Prints
// per round the seconds of both and the java.exe starts each made (the runtimes' runs.log), then
// the medians. Usage: runtime_search_bench [ROUNDS]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/text.h"
#include "jre/jvm_search.h"
#include "services/tables.h"
#include "stand_in_runtimes.h"

namespace {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 7;
    stand_in::RuntimeFolder folder;
    std::vector<stand_in::Runtime> runtimes;
    std::string sequence;
    for (int i = 0; i < 10; ++i) {
        const std::wstring root = folder / (L"runtime" + std::to_wstring(i));
        const bool usable = i == 9;
        runtimes.push_back(stand_in::layOutRuntime(root, stand_in::Shape::Bin, {.version = usable ? "17.0.2" : "1.8.0_292"},
                                                   usable ? stand_in::withJvm() : stand_in::Libraries{}));
        sequence += "A" + base::wideToNarrow(root) + ";";
    }
    services::setConfigTable({{128, sequence}, {126, "11"}, {10003, base::wideToNarrow(folder / L"app")}});
    const auto starts = [&] {
        size_t count = 0;
        for (const auto& runtime : runtimes) count += stand_in::runLog(runtime.home).size();
        return count;
    };
    const auto timedSearch = [&](size_t& started) {
        const size_t before = starts();
        jre::SearchOutcome outcome;
        const auto start = std::chrono::steady_clock::now();
        const HMODULE library = jre::searchJvm(outcome);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!library || outcome.version != "17.0.2") {
            std::fprintf(stderr, "the search did not find the usable runtime\n");
            std::exit(1);
        }
        started = starts() - before;
        return seconds;
    };
    std::vector<double> cold, cached;
    size_t coldStarts = 0, cachedStarts = 0;
    for (int round = 0; round < rounds; ++round) {
        for (const auto& runtime : runtimes) stand_in::touch(runtime.javaExe);
        cold.push_back(timedSearch(coldStarts));
        cached.push_back(timedSearch(cachedStarts));
        std::printf("round %d: cold %.3f s (%zu java.exe started), cached %.4f s (%zu started)\n", round + 1, cold.back(),
                    coldStarts, cached.back(), cachedStarts);
        std::fflush(stdout);
    }
    std::printf("ten candidates, medians of %d rounds: cold %.3f s (%.1f ms a candidate), cached %.4f s "
                "(%.2f ms a candidate); cold / cached %.0f\n",
                rounds, median(cold), median(cold) * 100, median(cached), median(cached) * 100,
                median(cold) / median(cached));
    return cachedStarts == 0 ? 0 : 1;
}
