#include "jre/pe_machine.h"

#include "services/log.h"

namespace jre {

namespace {

constexpr int64_t kPeOffsetField = 60;

bool readExactly(media::ByteSource& source, uint8_t* buffer, uint32_t size) {
    uint32_t got = 0;
    return source.read(buffer, size, got) && got == size;
}

uint16_t fail(const wchar_t* format, std::string_view path) {
    services::logMessage(format, path);
    return 0;
}

}  // namespace

uint16_t readPeMachine(media::ByteSource& source, std::string_view path) {
    uint8_t bytes[4];
    if (!readExactly(source, bytes, 2) || bytes[0] != 'M' || bytes[1] != 'Z') return fail(L"no PE32 file %S", path);
    if (!source.seek(kPeOffsetField)) return fail(L"no PE32 file 2 %S", path);
    if (!readExactly(source, bytes, 4)) return fail(L"no PE32 file 3 %S", path);
    // The field is a signed 32-bit offset: a negative one cannot be sought.
    const auto offset = static_cast<int32_t>(static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                                             static_cast<uint32_t>(bytes[2]) << 16 |
                                             static_cast<uint32_t>(bytes[3]) << 24);
    if (!source.seek(offset)) return fail(L"no PE32 file 4 %S", path);
    if (!readExactly(source, bytes, 4) || bytes[0] != 'P' || bytes[1] != 'E' || bytes[2] != 0 || bytes[3] != 0) {
        return fail(L"no PE32 file 5 %S", path);
    }
    if (!readExactly(source, bytes, 2)) return fail(L"no PE32 file 6 %S", path);
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

uint16_t readPeMachine(const std::string& path) {
    media::FileByteSource file(path);
    if (!file.isOpen()) {
        services::logMessage(L"could not open %S %d %p", path, static_cast<int>(file.systemError()),
                             static_cast<const void*>(nullptr));
        return 0;
    }
    return readPeMachine(file, path);
}

}  // namespace jre
