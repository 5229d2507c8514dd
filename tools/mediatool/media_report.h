// Reading media files back: what `mediatool inspect`, `verify` and `extract` show, and what
// tests compare against. Reads the payload the way the launcher does, through the core parser.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media/payload_reader.h"
#include "mediatool/branding.h"

namespace media {

struct InspectedFile {
    std::string name;      // as listed in config 2003
    int64_t size = 0;      // the record's size field
    int64_t dataPosition = 0;  // file offset of its first content byte
};

struct MediaInspection {
    PayloadHeader header;
    uint32_t magic = 0;
    uint32_t computedChecksum = 0;  // over the covered range, whatever the check flag says
    ConfigTable config;
    MessageTable messages;
    std::vector<LanguageBlock> languages;
    int64_t fileDataPosition = -1;
    std::vector<InspectedFile> files;
    int64_t unextractedPosition = -1;
    int64_t trailingSize = -1;
    // The first reason the launcher would reject the payload, empty when it is intact. The
    // fields above are filled as far as reading got.
    std::string problem;
    // The launcher image's icon, version block and execution level.
    BrandingReport branding;

    // End of the covered range, cut to the end of the file when the stored length is damaged.
    int64_t coveredEnd = 0;
    // True when the launcher's integrity check would pass: no check requested, or a match.
    bool checksumOk() const { return header.checkFlag == 0 || header.expectedChecksum == computedChecksum; }
    bool intact() const { return problem.empty() && checksumOk(); }
};

// Throws MediaBuildError when the file cannot be read, is no PE image or has no payload
// (wrong magic); a payload that is there but damaged is described in `problem`.
MediaInspection inspectMediaFile(const std::string& path);

// The inspection as the JSON object `mediatool inspect` prints (texts in UTF-8, config texts
// read as Windows-1252).
std::string inspectionJson(const MediaInspection& inspection);

// Writes the included files into `directory` (created if missing), each name checked to stay
// inside it, each file complete or absent. Refuses a damaged payload. Records of size 0 or less
// create no file, as in the launcher.
void extractMediaFiles(const std::string& mediaPath, const std::string& directory);

}  // namespace media
