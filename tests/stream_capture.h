// Standard output or error of this process, redirected into a file while the capture lives;
// the file goes with it.
#pragma once

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace test_support {

class StreamCapture {
public:
    // `stream` is stdout or stderr; `path` a file the capture may create and delete.
    StreamCapture(FILE* stream, const std::wstring& path) : stream_(stream), path_(path) {
        std::fflush(stream_);
        saved_ = _dup(_fileno(stream_));
        const int file = _wopen(path_.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, 0600);
        _dup2(file, _fileno(stream_));
        _close(file);
    }
    ~StreamCapture() {
        restore();
        DeleteFileW(path_.c_str());
    }
    StreamCapture(const StreamCapture&) = delete;
    StreamCapture& operator=(const StreamCapture&) = delete;

    // What was written; the stream goes back to where it went before.
    std::string text() {
        restore();
        std::ifstream in(std::filesystem::path(path_), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    void restore() {
        if (saved_ < 0) return;
        std::fflush(stream_);
        _dup2(saved_, _fileno(stream_));
        _close(saved_);
        saved_ = -1;
    }
    FILE* stream_;
    std::wstring path_;
    int saved_ = -1;
};

}  // namespace test_support
