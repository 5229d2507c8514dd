// The payload parser over arbitrary bytes: every input ends in a result or a PayloadError.
#include <cstdint>
#include <vector>

#include "media/payload_format.h"
#include "media/payload_reader.h"

namespace {

void put32(std::vector<uint8_t>& out, uint32_t value) {
    for (int b = 0; b < 4; ++b) out.push_back(static_cast<uint8_t>(value >> (8 * b)));
}

void putText(std::vector<uint8_t>& out, const std::string& text) {
    put32(out, static_cast<uint32_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    media::MemoryByteSource source(data, size);
    media::PayloadReader reader(source);
    try {
        media::readPayloadHeader(reader);
        const services::ConfigTable config = media::readConfigEntries(reader);
        services::MessageTable messages = media::readMessageEntries(reader);
        media::applyLanguageBlocks(media::readLanguageBlocks(reader), "de_DE", messages);
        for (const auto& [id, value] : config) media::splitIncludedFileNames(value);
        reader.readLong();
    } catch (const media::PayloadError&) {
    }
    return 0;
}

// A tiny PE header whose single section ends at offset 0x100, then a small payload.
std::vector<std::vector<uint8_t>> fuzzSeeds() {
    std::vector<uint8_t> image(0x100, 0);
    image[0] = 'M';
    image[1] = 'Z';
    image[60] = 0x40;
    image[0x40] = 'P';
    image[0x41] = 'E';
    image[0x46] = 1;     // one section
    image[0x54] = 0xE0;  // optional header size
    const size_t section = 0x40 + 24 + 0xE0;
    image.resize(section + 40, 0);
    image[section + 16] = 0x80;  // raw size 0x80
    image[section + 20] = 0x80;  // raw pointer 0x80: the payload starts at 0x100
    image.resize(0x180, 0);
    std::vector<uint8_t> payload;
    put32(payload, media::kPayloadMagic);
    put32(payload, 1);
    put32(payload, 0);
    put32(payload, 0);
    put32(payload, 0);
    put32(payload, 2);
    put32(payload, 2003);
    putText(payload, "a.jar;sub\\b.jar");
    put32(payload, 107);
    putText(payload, "1");
    put32(payload, 1);
    put32(payload, 1000);
    putText(payload, std::string("E\0r\0", 4));
    put32(payload, 1);
    putText(payload, "de");
    put32(payload, 1);
    put32(payload, 1000);
    putText(payload, std::string("F\0", 2));
    put32(payload, 3);
    put32(payload, 0);
    payload.push_back(0xC6);
    payload.push_back(0xC5);
    payload.push_back(0xC4);
    std::vector<uint8_t> seed(image.begin(), image.begin() + 0x100);
    seed.insert(seed.end(), payload.begin(), payload.end());
    return {seed, std::vector<uint8_t>(image.begin(), image.begin() + 0x100)};
}
