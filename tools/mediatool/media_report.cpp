#include "mediatool/media_report.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "base/text.h"
#include "media/payload_format.h"
#include "mediatool/build_error.h"
#include "mediatool/config_settings.h"
#include "media/crc32.h"
#include "mediatool/file_access.h"
#include "mediatool/included_name.h"
#include "mediatool/text_encoding.h"

namespace media {

namespace {

constexpr uint32_t kReadChunk = 64 * 1024;

// Makes everything past the covered range look like the end of the file, so that a table or
// record which only fits by reading the padding or a signature counts as damaged.
class BoundedSource final : public ByteSource {
public:
    BoundedSource(ByteSource& inner, int64_t end) : inner_(inner), end_(end) {}

    bool read(void* buffer, uint32_t size, uint32_t& bytesRead) override {
        bytesRead = 0;
        const int64_t available = end_ - inner_.position();
        if (available <= 0) return true;
        return inner_.read(buffer, static_cast<uint32_t>(std::min<int64_t>(size, available)), bytesRead);
    }
    bool seek(int64_t offset) override { return inner_.seek(offset); }
    int64_t position() const override { return inner_.position(); }
    uint32_t systemError() const override { return inner_.systemError(); }

private:
    ByteSource& inner_;
    int64_t end_;
};

std::FILE* openMedia(const std::string& path) {
    std::FILE* file = openForReading(nativePath(path));
    if (!file) {
        const int error = errno;
        throw MediaBuildError("cannot open " + path + ": " + errnoText(error));
    }
    return file;
}

uint32_t checksumOfRange(ByteSource& file, int64_t start, int64_t length) {
    std::string buffer(kReadChunk, '\0');
    uint32_t crc = 0;
    file.seek(start);
    while (length > 0) {
        uint32_t got = 0;
        if (!file.read(buffer.data(), static_cast<uint32_t>(std::min<int64_t>(length, kReadChunk)), got) || got == 0) {
            break;
        }
        crc = crc32Update(crc, buffer.data(), got);
        length -= got;
    }
    return crc;
}

void readTablesAndRecords(ByteSource& file, MediaInspection& result) {
    BoundedSource bounded(file, result.coveredEnd);
    PayloadReader reader(bounded);
    bounded.seek(result.header.payloadStart + kCoveredRangeOffset);
    const char* part = "config table";
    try {
        result.config = readConfigEntries(reader);
        part = "message table";
        result.messages = readMessageEntries(reader);
        part = "language blocks";
        result.languages = readLanguageBlocks(reader);
        result.fileDataPosition = bounded.position();

        part = "included files";
        const auto configText = [&](int32_t id) {
            const auto found = result.config.find(id);
            return found == result.config.end() ? std::string() : found->second;
        };
        const int64_t count = base::parseDecimalInt(configText(kConfigIncludedFileCount));
        const std::vector<std::string> names = splitIncludedFileNames(configText(kConfigIncludedFileNames));
        for (size_t i = 0; static_cast<int64_t>(i) < count && i < names.size(); ++i) {
            InspectedFile record{names[i], reader.readLong(), bounded.position()};
            if (record.size > 0) {
                if (record.size > result.coveredEnd - record.dataPosition) {
                    result.problem = "included file \"" + windows1252ToUtf8(record.name) +
                                     "\" runs past the end of the covered range";
                    return;
                }
                bounded.seek(record.dataPosition + record.size);
            }
            result.files.push_back(std::move(record));
        }
        result.unextractedPosition = bounded.position();
        result.trailingSize = result.coveredEnd - result.unextractedPosition;
    } catch (const PayloadError& error) {
        result.problem = std::string(part) + ": " + error.what() + " within the covered range";
    }
}

// Launcher images are a few megabytes; a header claiming more is not read into memory.
constexpr int64_t kImageReadLimit = 256 * 1024 * 1024;

BrandingReport readImageBranding(ByteSource& file, int64_t imageEnd, const std::string& path) {
    if (imageEnd > kImageReadLimit) {
        BrandingReport report;
        report.problem = "the image is too large to read its resources (" + std::to_string(imageEnd) + " bytes)";
        return report;
    }
    std::vector<uint8_t> image(static_cast<size_t>(imageEnd));
    file.seek(0);
    for (size_t done = 0; done < image.size();) {
        uint32_t got = 0;
        const auto want = static_cast<uint32_t>(std::min<size_t>(image.size() - done, kReadChunk));
        if (!file.read(image.data() + done, want, got) || got == 0) {
            BrandingReport report;
            report.problem = "cannot read the image";
            return report;
        }
        done += got;
    }
    return readBranding(image, path);
}

std::string utf8Of(const std::u16string& text) { return base::wideToUtf8(std::wstring(text.begin(), text.end())); }

nlohmann::ordered_json brandingJson(const BrandingReport& report) {
    nlohmann::ordered_json out = nlohmann::ordered_json::object();
    if (report.version) {
        out["fileVersion"] = fourPartVersionText(report.version->fileVersion);
        out["productVersion"] = fourPartVersionText(report.version->productVersion);
        nlohmann::ordered_json strings = nlohmann::ordered_json::object();
        for (const auto& [key, value] : report.version->strings) strings[utf8Of(key)] = utf8Of(value);
        out["strings"] = strings;
    }
    if (!report.executionLevel.empty()) out["executionLevel"] = report.executionLevel;
    nlohmann::ordered_json icon = nlohmann::ordered_json::array();
    for (const IconGroupEntry& entry : report.icon) {
        icon.push_back({{"width", entry.width}, {"height", entry.height}, {"bitCount", entry.bitCount}, {"bytes", entry.bytes}});
    }
    out["icon"] = icon;
    if (!report.problem.empty()) out["problem"] = report.problem;
    return out;
}

}  // namespace

MediaInspection inspectMediaFile(const std::string& path) {
    FileByteSource file(openMedia(path));
    const int64_t fileBytes = file.size();
    if (!looksLikePeImage(file)) throw MediaBuildError(path + " is not a PE image");
    try {
        if (findPayloadStart(file) >= fileBytes) throw MediaBuildError(path + " has no payload (nothing follows its image)");
    } catch (const PayloadError&) {
        throw MediaBuildError(path + " has truncated PE headers");
    }

    MediaInspection result;
    PayloadReader reader(file);
    try {
        result.header = readPayloadHeader(reader);
    } catch (const PayloadError& error) {
        if (error.fault() == PayloadFault::Magic) throw MediaBuildError(path + " has no payload (wrong magic number)");
        throw MediaBuildError(path + " has a truncated payload header");
    }
    result.magic = kPayloadMagic;

    // A range problem is the more basic fault; the tables are still read for the report.
    std::string rangeProblem;
    const int64_t coveredStart = result.header.payloadStart + kCoveredRangeOffset;
    if (result.header.coveredLength < 0) {
        rangeProblem = "the covered length is negative";
    } else if (result.header.coveredLength > fileBytes - coveredStart) {
        rangeProblem = "the covered range runs past the end of the file (" +
                       std::to_string(result.header.coveredLength) + " bytes from offset " +
                       std::to_string(coveredStart) + ", file size " + std::to_string(fileBytes) + ")";
    }
    // Clamped, so that a damaged length can neither overflow nor send reads past the file.
    result.coveredEnd = coveredStart + std::clamp<int64_t>(result.header.coveredLength, 0, std::max<int64_t>(fileBytes - coveredStart, 0));
    result.computedChecksum = checksumOfRange(file, coveredStart, result.coveredEnd - coveredStart);
    readTablesAndRecords(file, result);
    if (!rangeProblem.empty()) result.problem = rangeProblem;
    result.branding = readImageBranding(file, result.header.payloadStart, path);
    return result;
}

std::string inspectionJson(const MediaInspection& inspection) {
    using nlohmann::ordered_json;
    ordered_json out;
    out["payloadStart"] = inspection.header.payloadStart;
    out["magic"] = inspection.magic;
    out["checkFlag"] = inspection.header.checkFlag;
    out["expectedChecksum"] = inspection.header.expectedChecksum;
    out["computedChecksum"] = inspection.computedChecksum;
    out["coveredLength"] = inspection.header.coveredLength;
    out["checksumOk"] = inspection.checksumOk();
    if (!inspection.problem.empty()) out["problem"] = inspection.problem;

    ordered_json config = ordered_json::object();
    for (const auto& [id, text] : inspection.config) config[std::to_string(id)] = windows1252ToUtf8(text);
    out["config"] = config;
    // The names of the settings beside their ids, as a description may write them.
    ordered_json names = ordered_json::object();
    for (const auto& [id, text] : inspection.config) {
        if (const std::string name = configNameOfId(id); !name.empty()) names[std::to_string(id)] = name;
    }
    out["configNames"] = names;
    ordered_json messages = ordered_json::object();
    for (const auto& [id, text] : inspection.messages) messages[std::to_string(id)] = base::wideToUtf8(text);
    out["messages"] = messages;
    ordered_json languages = ordered_json::array();
    for (const LanguageBlock& block : inspection.languages) {
        ordered_json entries = ordered_json::object();
        for (const auto& [id, text] : block.entries) entries[std::to_string(id)] = base::wideToUtf8(text);
        languages.push_back({{"code", windows1252ToUtf8(block.code)}, {"messages", entries}});
    }
    out["languages"] = languages;
    out["fileDataPosition"] = inspection.fileDataPosition;
    ordered_json files = ordered_json::array();
    for (const InspectedFile& file : inspection.files) {
        files.push_back({{"name", windows1252ToUtf8(file.name)}, {"size", file.size}});
    }
    out["files"] = files;
    out["unextractedPosition"] = inspection.unextractedPosition;
    out["trailingSize"] = inspection.trailingSize;
    out["branding"] = brandingJson(inspection.branding);
    return out.dump(2) + "\n";
}

void extractMediaFiles(const std::string& mediaPath, const std::string& directory) {
    const MediaInspection inspection = inspectMediaFile(mediaPath);
    if (!inspection.problem.empty()) throw MediaBuildError(mediaPath + " is damaged: " + inspection.problem);
    if (!inspection.checksumOk()) throw MediaBuildError(mediaPath + " is damaged: checksum mismatch");

    // Every name is checked before anything is written, so a refused file leaves no partial
    // extraction behind.
    std::vector<std::vector<std::filesystem::path>> targets;
    for (const InspectedFile& file : inspection.files) {
        std::string stored;
        try {
            stored = storedIncludedName(windows1252ToUtf8(file.name));
        } catch (const MediaBuildError& error) {
            throw MediaBuildError(std::string("refusing to extract: ") + error.what());
        }
        std::vector<std::filesystem::path> components;
        const size_t separator = stored.find('\\');
        components.push_back(nativePath(stored.substr(0, separator)));
        if (separator != std::string::npos) components.push_back(nativePath(stored.substr(separator + 1)));
        targets.push_back(std::move(components));
    }

    const std::filesystem::path root = nativePath(directory);
    std::error_code error;
    std::filesystem::create_directories(root, error);
    if (!std::filesystem::is_directory(root)) throw MediaBuildError("cannot create directory " + directory);

    FileByteSource media(openMedia(mediaPath));
    std::string buffer(kReadChunk, '\0');
    for (size_t i = 0; i < inspection.files.size(); ++i) {
        const InspectedFile& file = inspection.files[i];
        if (file.size <= 0) continue;
        std::filesystem::path target = root;
        if (targets[i].size() == 2) {
            target /= targets[i][0];
            // A link planted in the output directory must not carry files elsewhere.
            if (std::filesystem::is_symlink(std::filesystem::symlink_status(target, error))) {
                throw MediaBuildError("refusing to extract through the link " + displayPath(target));
            }
            std::filesystem::create_directory(target, error);
            if (!std::filesystem::is_directory(target)) throw MediaBuildError("cannot create directory " + displayPath(target));
        }
        target /= targets[i].back();

        AtomicOutputFile out(target, false);
        media.seek(file.dataPosition);
        for (int64_t remaining = file.size; remaining > 0;) {
            uint32_t got = 0;
            if (!media.read(buffer.data(), static_cast<uint32_t>(std::min<int64_t>(remaining, kReadChunk)), got) || got == 0) {
                throw MediaBuildError("cannot read " + mediaPath + " (changed while extracting?)");
            }
            scrambleBytes(buffer.data(), got);
            out.write(buffer.data(), got);
            remaining -= got;
        }
        out.commit();
    }
}

}  // namespace media
