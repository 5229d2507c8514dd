#include "media/included_files.h"

#include <algorithm>
#include <vector>

#include "base/relative_path.h"
#include "services/log.h"
#include "media/payload_format.h"
#include "media/payload_reader.h"

namespace media {

namespace {

#if defined(__i386__)
// The 32-bit build is made for processors without SSE2 as well, where the key's 64-bit XOR is
// two 32-bit ones; with SSE2 (every processor a current Windows runs on) the same loop takes
// under half the time: 14 ms instead of 32 ms for 256 MB under Wine.
__attribute__((target("sse2"))) void descrambleWide(uint8_t* bytes, size_t size) { scrambleBytes(bytes, size); }

void descramble(uint8_t* bytes, size_t size) {
    static const bool sse2 = __builtin_cpu_supports("sse2");
    if (sse2) {
        descrambleWide(bytes, size);
    } else {
        scrambleBytes(bytes, size);
    }
}
#else
void descramble(uint8_t* bytes, size_t size) { scrambleBytes(bytes, size); }
#endif

}  // namespace

int copyPayloadBytes(ByteSource& in, ByteSink& out, int64_t size, bool descrambleBytes,
                     const std::function<bool()>& cancelled) {
    int64_t done = 0;
    while (done < size) {
        const uint32_t wanted = static_cast<uint32_t>(std::min<int64_t>(kCopyChunk, size - done));
        uint8_t* bytes = nullptr;
        uint32_t got = 0;
        const bool readOk = in.borrow(wanted, bytes, got);
        if (!readOk || got == 0) {
            services::logError(L"ReadFile failed %d %d %I64d", got, readOk ? 0u : in.systemError(), done);
            return kCopyReadFailed;
        }
        if (descrambleBytes) descramble(bytes, got);
        uint32_t written = 0;
        while (written < got) {
            uint32_t now = 0;
            if (!out.write(bytes + written, got - written, now) || now == 0) {
                services::logError(L"WriteFile failed %d %d", got - written, out.systemError());
                return kCopyWriteFailed;
            }
            written += now;
        }
        done += got;
        if (cancelled && cancelled()) return kCopyDone;
    }
    return kCopyDone;
}

bool isSafeIncludedName(std::string_view name) { return base::staysInside(name); }

std::vector<std::string> includedFileNames(std::string_view list, int count) {
    std::vector<std::string> names = splitIncludedFileNames(list);
    if (count < 0) count = 0;
    if (names.size() > static_cast<size_t>(count)) names.resize(static_cast<size_t>(count));
    return names;
}

}  // namespace media
