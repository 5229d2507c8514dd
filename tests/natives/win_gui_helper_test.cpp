// WinGuiHelper: the peer and handle of an AWT window through the field and reflected method the
// Java side passes, icons made from icon-file bytes (the 32-pixel image of three, compared pixel
// by pixel; damaged files refused), and flashing, which the window sees as activation messages.
#include <windows.h>

#include <cstdint>
#include <vector>

#include "awt_window.h"
#include "harness/natives_test.h"

namespace natives_test {
namespace {

class WinGuiHelperNatives : public NativesTest {};

TEST_F(WinGuiHelperNatives, PeerAndHandleOfAWindow) {
    TestWindow window;
    const jobject javaWindow = javaWindowOf(window.get());
    const jclass component = env()->FindClass("java/awt/Component");
    const jobject peer = callObject("WinGuiHelper.getPeer0", {javaWindow, component});
    ASSERT_NE(peer, nullptr);
    EXPECT_EQ(classNameOf(peer), "sun.awt.windows.WWindowPeer");
    EXPECT_EQ(callObject("WinGuiHelper.getPeer0", {javaWindowOf(nullptr), component}), nullptr);

    const jclass peerClass = env()->FindClass("sun/awt/windows/WComponentPeer");
    const jobject getHWnd = env()->ToReflectedMethod(peerClass, env()->GetMethodID(peerClass, "getHWnd", "()J"), JNI_FALSE);
    EXPECT_EQ(callLong("WinGuiHelper.getHwnd0", {peer, getHWnd}),
              static_cast<jlong>(reinterpret_cast<std::intptr_t>(window.get())));
    EXPECT_EQ(callLong("WinGuiHelper.getHwnd0", {nullptr, getHWnd}), 0);
}

// An icon file of 32-bit images, each of one colour (BGRA), with an empty AND mask.
std::vector<unsigned char> iconFile(const std::vector<std::pair<int, COLORREF>>& images) {
    std::vector<unsigned char> file;
    const auto put = [&file](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) file.push_back(static_cast<unsigned char>(value >> (8 * i)));
    };
    put(0, 2);
    put(1, 2);
    put(static_cast<std::uint32_t>(images.size()), 2);
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
    std::vector<std::uint32_t> sizes;
    for (const auto& [side, colour] : images) {
        const std::uint32_t maskStride = ((side + 31) / 32) * 4;
        const std::uint32_t size = 40 + side * side * 4 + maskStride * side;
        put(side, 1);
        put(side, 1);
        put(0, 1);
        put(0, 1);
        put(1, 2);
        put(32, 2);
        put(size, 4);
        put(offset, 4);
        offset += size;
    }
    for (const auto& [side, colour] : images) {
        put(40, 4);
        put(side, 4);
        put(side * 2, 4);  // colour and mask
        put(1, 2);
        put(32, 2);
        for (int i = 0; i < 6; ++i) put(0, 4);
        for (int i = 0; i < side * side; ++i) {
            put(GetBValue(colour), 1);
            put(GetGValue(colour), 1);
            put(GetRValue(colour), 1);
            put(0xFF, 1);
        }
        file.insert(file.end(), ((side + 31) / 32) * 4 * side, 0);
    }
    return file;
}

TEST_F(WinGuiHelperNatives, IconOfTheRequestedSize) {
    const std::vector<unsigned char> bytes = iconFile({{16, RGB(255, 0, 0)}, {32, RGB(0, 128, 255)}, {48, RGB(0, 255, 0)}});
    const jlong icon = callLong("WinGuiHelper.createHIcon0", {javaBytes(bytes), 32, 32});
    ASSERT_NE(icon, 0);
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(reinterpret_cast<HICON>(static_cast<std::intptr_t>(icon)), &info));
    BITMAP bitmap = {};
    GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
    EXPECT_EQ(bitmap.bmWidth, 32);
    EXPECT_EQ(bitmap.bmHeight, 32);
    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = 32;
    format.bmiHeader.biHeight = 32;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    std::vector<std::uint32_t> pixels(32 * 32);
    const HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetDIBits(screen, info.hbmColor, 0, 32, pixels.data(), &format, DIB_RGB_COLORS), 32);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(pixels[0] & 0xFFFFFF, 0x0080FFu);
    EXPECT_EQ(pixels[32 * 32 - 1] & 0xFFFFFF, 0x0080FFu);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);

    callVoid("WinGuiHelper.destroyHIcon0", {icon});
    EXPECT_FALSE(GetIconInfo(reinterpret_cast<HICON>(static_cast<std::intptr_t>(icon)), &info));
}

TEST_F(WinGuiHelperNatives, DamagedIconFilesAreRefused) {
    const std::vector<unsigned char> bytes = iconFile({{16, RGB(1, 2, 3)}, {32, RGB(4, 5, 6)}});
    // Cut inside the last image, inside the directory, and a directory claiming more entries.
    const std::vector<unsigned char> cut(bytes.begin(), bytes.end() - 100);
    const std::vector<unsigned char> header(bytes.begin(), bytes.begin() + 10);
    std::vector<unsigned char> claiming = bytes;
    claiming[4] = 200;
    for (const std::vector<unsigned char>* damaged : {&cut, &header, const_cast<const std::vector<unsigned char>*>(&claiming)}) {
        EXPECT_EQ(callLong("WinGuiHelper.createHIcon0", {javaBytes(*damaged), 32, 32}), 0);
    }
    EXPECT_EQ(callLong("WinGuiHelper.createHIcon0", {nullptr, 32, 32}), 0);
}

TEST_F(WinGuiHelperNatives, FlashingReachesTheWindow) {
    TestWindow window;
    ShowWindow(window.get(), SW_SHOWNOACTIVATE);
    TestWindow::pump();
    const int before = window.activations();
    callVoid("WinGuiHelper.flashWindow0", {static_cast<jlong>(reinterpret_cast<std::intptr_t>(window.get())), true});
    TestWindow::pump();
    EXPECT_GT(window.activations(), before);
}

}  // namespace
}  // namespace natives_test
