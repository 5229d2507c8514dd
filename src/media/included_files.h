// The included files of the payload: their names, the checks a name must pass before anything
// is written, and the copy loop that undoes the payload's scrambling.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "media/byte_source.h"

namespace media {

// Where copied bytes go: a file under Windows, memory in tests.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Writes up to `size` bytes; false on an error (systemError() says which).
    virtual bool write(const void* data, uint32_t size, uint32_t& written) = 0;
    virtual uint32_t systemError() const { return 0; }
};

enum CopyResult : int { kCopyDone = 0, kCopyReadFailed = 1, kCopyWriteFailed = 2 };

// Bytes per read and write. Under Wine every call into the system costs microseconds, and
// small chunks made extraction five times slower than plain copying; a cancel still takes
// effect within one chunk, a millisecond or so.
constexpr uint32_t kCopyChunk = 1u << 20;

// Copies `size` bytes in chunks of at most kCopyChunk, XOR-ing them with the scramble key when
// asked; after each chunk stops early (with kCopyDone) when `cancelled` says so.
int copyPayloadBytes(ByteSource& in, ByteSink& out, int64_t size, bool descramble,
                     const std::function<bool()>& cancelled);

// A name may hold one directory level and must stay inside the extraction directory: no
// absolute path, no drive or stream colon, no "." or ".." component.
bool isSafeIncludedName(std::string_view name);

// The first `count` names of the list (config ids 2002 and 2003), in order.
std::vector<std::string> includedFileNames(std::string_view list, int count);

}  // namespace media
