#include "bitmap_file.h"

#include <cstdio>

namespace test_support {

bool writeBitmapFile(HBITMAP bitmap, int width, int height, const std::wstring& path) {
    if (width <= 0 || height <= 0) return false;
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    const int stride = (width * 3 + 3) & ~3;
    std::string pixels(static_cast<size_t>(stride) * static_cast<size_t>(height), '\0');
    const HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, bitmap, 0, static_cast<UINT>(height), pixels.data(),
                               reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (rows != height) return false;
    BITMAPFILEHEADER fileHeader = {};
    fileHeader.bfType = 0x4D42;
    fileHeader.bfOffBits = sizeof fileHeader + sizeof header;
    fileHeader.bfSize = fileHeader.bfOffBits + static_cast<DWORD>(pixels.size());
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (!file) return false;
    const bool written = fwrite(&fileHeader, sizeof fileHeader, 1, file) == 1 && fwrite(&header, sizeof header, 1, file) == 1 &&
                         fwrite(pixels.data(), 1, pixels.size(), file) == pixels.size();
    return fclose(file) == 0 && written;
}

bool saveWindowPicture(HWND window, WindowPicture how, const std::wstring& name) {
    std::wstring directory(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, directory.data(), static_cast<DWORD>(directory.size()));
        if (length == 0) return false;
        if (length < directory.size()) {
            directory.resize(length);
            break;
        }
        directory.resize(directory.size() * 2);
    }
    directory = directory.substr(0, directory.rfind(L'\\')) + L"\\..\\artifacts";
    CreateDirectoryW(directory.c_str(), nullptr);
    RECT rect = {};
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return false;
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    const HGDIOBJ previous = SelectObject(memory, bitmap);
    if (how == WindowPicture::AsDrawn) PrintWindow(window, memory, 0);
    else BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    const bool written = writeBitmapFile(bitmap, width, height, directory + L"\\" + name + L".bmp");
    DeleteObject(bitmap);
    return written;
}

}  // namespace test_support
