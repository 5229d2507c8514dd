// The media writer: turns a launcher image (the template) and a description of the payload into
// a media file. Used by `mediatool` and by the end-to-end tests, which build their media files
// in-process.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "media/payload_reader.h"
#include "mediatool/branding.h"
#include "mediatool/build_error.h"
#include "media/crc32.h"

namespace media {

// An included file or the trailing data.
struct IncludedData {
    std::string sourcePath;  // read from this file when non-empty...
    std::string content;     // ...else these bytes
    std::string where;       // its place in a description ("files[2].source"), for messages
};

// A runtime folder packed by the build as "jre.tar.gz"; its unpacked size becomes config 151.
struct RuntimeFolder {
    std::string folder;
    std::string where;  // "runtime.source"
};

// `name` as stored in config 2003: at most one directory level, '\\' as separator.
struct IncludedFile {
    std::string name;
    IncludedData data;
};

struct MediaDescription {
    std::map<int32_t, std::string> config;     // raw narrow bytes as stored
    std::map<int32_t, std::wstring> messages;  // overrides of the default table (UTF-16 code units)
    bool defaultMessages = true;               // start from the default English table
    std::vector<LanguageBlock> languages;      // file order kept
    std::vector<IncludedFile> files;
    IncludedData trailing;
    bool checksum = true;       // check flag 1 and the CRC; false: flag 0 and no CRC
    bool fillFileList = true;   // set config 2002/2003 from `files`; false leaves config as given
    std::optional<RuntimeFolder> runtime;
    // Refuse an included "jre.tar.gz" whose jvm.dll is built for another machine than the
    // template (descriptions ask for it; tests of the launcher's own refusal do not).
    bool checkRuntimeMachine = false;
    // The author's icon, version block and execution level; none leaves the template's
    // resources, and its bytes, as they are.
    std::optional<Branding> branding;
};

// What a long build reports as it goes: the step ("packing the runtime", "writing"), the bytes
// done and the total expected.
using BuildProgress = std::function<void(const char* step, int64_t done, int64_t total)>;

// Ids 1000..1021 and 20004..20021 in English.
const MessageTable& defaultMessageTable();

// Copies the template up to the end of its last section (which drops an old payload or a
// signature), with its resources rewritten when the description brands it, then appends the
// payload. The output appears only complete: it is written beside
// its final name and renamed at the end. Included files are streamed, never held in memory.
// A description's `runtime` folder is checked against the template and packed first, into a
// temporary file beside the output.
void writeMediaFile(const std::string& templatePath, const MediaDescription& description,
                    const std::string& outputPath, const BuildProgress& progress = {});

// The JSON description format of docs/media-description.md. Relative sources are taken from
// `baseDirectory` (the description's folder). Throws MediaBuildError naming the offending key.
MediaDescription parseMediaDescription(const std::string& jsonText, const std::string& baseDirectory);

}  // namespace media
