// Pictures the Windows tests take of their windows, written as .bmp files to be looked at.
#pragma once

#include <windows.h>

#include <string>

namespace test_support {

// Writes `bitmap` (width x height, not selected into any device context) to `path` as a
// 24-bit bitmap file; false when it could not be read or written.
bool writeBitmapFile(HBITMAP bitmap, int width, int height, const std::wstring& path);

// How a window's picture is taken: copied from the screen as it shows the window, or as the
// window draws itself (PrintWindow: frame included, whatever covers it; on screen, Wine without a
// window manager leaves the top of a captioned window to the manager that is not there).
enum class WindowPicture { FromScreen, AsDrawn };

// Writes the window's picture to "<name>.bmp" in the build's artifacts folder (beside the
// program's own folder, created when missing); false when it could not be taken or written.
bool saveWindowPicture(HWND window, WindowPicture how, const std::wstring& name);

}  // namespace test_support
