// The launcher's own file as the payload's container: the two reading passes at start-up.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "base/win/handles.h"
#include "media/byte_source.h"

namespace media {

// A ByteSource over a Windows file handle it does not own.
class HandleByteSource final : public ByteSource {
public:
    explicit HandleByteSource(HANDLE file) : file_(file) {}
    bool read(void* buffer, uint32_t size, uint32_t& bytesRead) override;
    bool seek(int64_t offset) override;
    int64_t position() const override { return position_; }
    uint32_t systemError() const override { return error_; }

private:
    HANDLE file_;
    int64_t position_ = 0;
    uint32_t error_ = 0;
};

// Opens the media file (the running executable unless a path is given) for reading; a failure
// is fatal ("Error opening media file.").
base::win::FileHandle openMediaFile();
base::win::FileHandle openMediaFile(const std::wstring& path);

// First pass: the config table. Fatal on a missing payload or a damaged table.
void readConfigTable();
void readConfigTable(const std::wstring& mediaPath);

// Second pass: the message table with the language blocks that apply to `locale`, and the
// position of the included files. Turns GUI mode off unless the launcher type (config 107)
// is 1 or 5.
void readMessageTables(std::string_view locale);
void readMessageTables(const std::wstring& mediaPath, std::string_view locale);

// Where the included files start; valid after the second pass.
int64_t fileDataPosition();

}  // namespace media
