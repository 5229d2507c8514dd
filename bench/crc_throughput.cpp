// CRC-32 throughput of the launcher's implementation against zlib's crc32 on the same 256 MB
// buffer, measured in one run. Prints MB/s and the ratio (ours / zlib; at least 1.0 wanted).
// Run it with bench/crc_throughput.sh, which builds it optimised and without the sanitizers.
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include "media/crc32.h"

namespace {

template <class Function>
double bestSeconds(Function function, int rounds) {
    double best = 1e9;
    for (int i = 0; i < rounds; ++i) {
        const auto start = std::chrono::steady_clock::now();
        function();
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        if (elapsed.count() < best) best = elapsed.count();
    }
    return best;
}

}  // namespace

int main() {
    const size_t size = 256u << 20;
    std::vector<unsigned char> buffer(size);
    unsigned state = 1;
    for (unsigned char& byte : buffer) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<unsigned char>(state >> 16);
    }
    uint32_t ours = 0;
    uLong theirs = 0;
    uint32_t bytewise = 0;
    const double zlibSeconds = bestSeconds([&] { theirs = crc32(0, buffer.data(), static_cast<uInt>(size)); }, 5);
    const double oursSeconds = bestSeconds([&] { ours = media::crc32Update(0, buffer.data(), size); }, 5);
    const double bytewiseSeconds = bestSeconds([&] { bytewise = media::crc32UpdateBytewise(0, buffer.data(), size); }, 3);
    if (ours != theirs || bytewise != theirs) {
        std::printf("MISMATCH: ours %08x bytewise %08x zlib %08lx\n", ours, bytewise, theirs);
        return 1;
    }
    const double mb = static_cast<double>(size) / (1 << 20);
    std::printf("zlib crc32            %8.0f MB/s (baseline)\n", mb / zlibSeconds);
    std::printf("launcher crc32        %8.0f MB/s  ratio %.2f\n", mb / oursSeconds, zlibSeconds / oursSeconds);
    std::printf("byte-at-a-time table  %8.0f MB/s  ratio %.2f\n", mb / bytewiseSeconds, zlibSeconds / bytewiseSeconds);
    return 0;
}
