// The Java runtime an installer carries as "jre.tar.gz": packing a runtime folder into the form
// the launcher's unpacker reads, and checking that a runtime (a folder or an archive) is one the
// template can load into its own process.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "media/byte_source.h"

namespace media {

// The machine field of a PE image (0x14C x86, 0x8664 x64); 0 when the bytes are no PE image.
uint16_t peMachineOf(ByteSource& source);
// "32-bit (x86)", "64-bit (x64)", or the machine number.
std::string machineName(uint16_t machine);

// What the runtime is checked against, and the names used when it does not fit.
struct RuntimeExpectation {
    uint16_t machine = 0;          // the template's; 0 checks nothing
    std::string templatePath;
    std::string jvmSubdirectory;   // config 152, tried first as the launcher does
    std::string where;             // the description's place of the runtime, for messages
};

// Throws MediaBuildError naming `where` and the folder when it has no bin/java.exe, no
// jvm.dll where the launcher looks for one, or a jvm.dll built for another machine.
void checkRuntimeFolder(const std::string& folder, const RuntimeExpectation& expected);

// The same for a runtime already packed as a gzip-compressed tar archive; an archive without
// a jvm.dll where the launcher looks passes, one that cannot be read does not. Returns the
// archive's unpacked size.
int64_t checkRuntimeArchive(const std::string& archive, const RuntimeExpectation& expected);

// Packs `folder` as the launcher unpacks it: entries relative to the folder, sorted by name
// with each directory before its contents, regular files and directories only, long names as
// GNU records, no owners, fixed times and modes, gzip through zlib, so that the same folder
// always gives the same bytes. Names are stored in UTF-8, under which the launcher creates them.
// `sink` receives the compressed bytes, `progress` (when set) the bytes read so far and the
// total. Returns the uncompressed size of the archive (config 151).
using ByteSink = std::function<void(const void* data, size_t size)>;
using ByteProgress = std::function<void(int64_t done, int64_t total)>;
int64_t packRuntimeFolder(const std::string& folder, const std::string& where,
                          const ByteSink& sink, const ByteProgress& progress = {});

}  // namespace media
