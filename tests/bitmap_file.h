// Pictures the Windows tests take of their windows, written as .bmp files to be looked at.
#pragma once

#include <windows.h>

#include <string>

namespace test_support {

// Writes `bitmap` (width x height, not selected into any device context) to `path` as a
// 24-bit bitmap file; false when it could not be read or written.
bool writeBitmapFile(HBITMAP bitmap, int width, int height, const std::wstring& path);

}  // namespace test_support
