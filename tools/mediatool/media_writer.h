// The media writer: turns a launcher image (the template) and a description of the payload into
// a media file. Used by `mediatool` and by the end-to-end tests, which build their media files
// in-process.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "media/payload_reader.h"
#include "mediatool/build_error.h"
#include "media/crc32.h"

namespace media {

// An included file or the trailing data.
struct IncludedData {
    std::string sourcePath;  // read from this file when non-empty...
    std::string content;     // ...else these bytes
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
};

// Ids 1000..1021 and 20004..20021 in English.
const MessageTable& defaultMessageTable();

// Copies the template up to the end of its last section (which drops an old payload or a
// signature), then appends the payload. The output appears only complete: it is written beside
// its final name and renamed at the end. Included files are streamed, never held in memory.
void writeMediaFile(const std::string& templatePath, const MediaDescription& description,
                    const std::string& outputPath);

// The JSON description format of docs/media-description.md. Relative sources are taken from
// `baseDirectory` (the description's folder). Throws MediaBuildError naming the offending key.
MediaDescription parseMediaDescription(const std::string& jsonText, const std::string& baseDirectory);

}  // namespace media
