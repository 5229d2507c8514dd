// Natives of com/corvane/runtime/installer/platform/win32/WinGuiHelper: the native handle of an
// AWT window (through its peer, by a field and a method the Java side names), icons made from
// the bytes of an icon file, and flashing a window's taskbar button.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <vector>

#include "jni/jni_toolkit.h"
#include "natives/jni_export.h"

namespace {

// Looked up once: the Java side passes the same class and method on every call.
std::atomic<jfieldID> peerField{nullptr};
std::atomic<jmethodID> hwndMethod{nullptr};

constexpr DWORD kIconFormatVersion = 0x30000;
constexpr std::size_t kDirectoryHeaderSize = 6;
constexpr std::size_t kDirectoryEntrySize = 16;

std::uint32_t littleEndian(const unsigned char* at, std::size_t bytes) {
    std::uint32_t value = 0;
    for (std::size_t i = bytes; i-- > 0;) value = (value << 8) | at[i];
    return value;
}

struct IconImage {
    std::size_t offset;
    std::size_t size;
};

// The images of an icon file whose directory and images all lie within the bytes; empty for
// anything else.
std::vector<IconImage> iconImages(const unsigned char* bytes, std::size_t size) {
    if (size < kDirectoryHeaderSize) return {};
    if (littleEndian(bytes, 2) != 0 || littleEndian(bytes + 2, 2) != 1) return {};
    const std::size_t count = littleEndian(bytes + 4, 2);
    if (count == 0 || size < kDirectoryHeaderSize + count * kDirectoryEntrySize) return {};
    std::vector<IconImage> images;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char* entry = bytes + kDirectoryHeaderSize + i * kDirectoryEntrySize;
        const std::uint64_t imageSize = littleEndian(entry + 8, 4);
        const std::uint64_t imageOffset = littleEndian(entry + 12, 4);
        if (imageSize == 0 || imageOffset + imageSize > size) return {};
        images.push_back({static_cast<std::size_t>(imageOffset), static_cast<std::size_t>(imageSize)});
    }
    return images;
}

// The system chooses among the images of an icon resource group, whose entries are 14 bytes
// long and end in an image id where the file's 16-byte entries end in the image's offset. The
// file's directory is rewritten in that form, the ids numbering the images from 1, so that the
// choice is made among the real entries.
std::vector<unsigned char> resourceGroupOf(const unsigned char* bytes, std::size_t count) {
    std::vector<unsigned char> group(bytes, bytes + kDirectoryHeaderSize);
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char* entry = bytes + kDirectoryHeaderSize + i * kDirectoryEntrySize;
        group.insert(group.end(), entry, entry + 12);  // size, colours, planes, bit count, bytes
        const std::size_t id = i + 1;
        group.push_back(static_cast<unsigned char>(id & 0xFF));
        group.push_back(static_cast<unsigned char>(id >> 8));
    }
    return group;
}

}  // namespace

extern "C" JNIEXPORT jobject JNICALL Java_com_corvane_runtime_installer_platform_win32_WinGuiHelper_getPeer0(
    JNIEnv* env, jclass, jobject window, jclass componentClass) {
    if (!window || !componentClass) return nullptr;
    jfieldID field = peerField.load();
    if (!field) {
        field = env->GetFieldID(componentClass, "peer", "Ljava/awt/peer/ComponentPeer;");
        if (!field) {
            env->ExceptionClear();
            return nullptr;
        }
        peerField.store(field);
    }
    const jobject peer = env->GetObjectField(window, field);
    if (jni::exceptionPending(env)) {
        env->ExceptionClear();
        return nullptr;
    }
    return peer;
}

extern "C" JNIEXPORT jlong JNICALL Java_com_corvane_runtime_installer_platform_win32_WinGuiHelper_getHwnd0(
    JNIEnv* env, jclass, jobject peer, jobject reflectedMethod) {
    if (!peer || !reflectedMethod) return 0;
    jmethodID method = hwndMethod.load();
    if (!method) {
        method = env->FromReflectedMethod(reflectedMethod);
        if (!method) {
            env->ExceptionClear();
            return 0;
        }
        hwndMethod.store(method);
    }
    const jlong handle = env->CallLongMethod(peer, method);
    if (jni::exceptionPending(env)) {
        env->ExceptionClear();
        return 0;
    }
    return handle;
}

extern "C" JNIEXPORT void JNICALL Java_com_corvane_runtime_installer_platform_win32_WinGuiHelper_destroyHIcon0(JNIEnv*,
                                                                                                             jclass,
                                                                                                             jlong icon) {
    if (icon) DestroyIcon(static_cast<HICON>(jni::fromJavaHandle(icon)));
}

extern "C" JNIEXPORT jlong JNICALL Java_com_corvane_runtime_installer_platform_win32_WinGuiHelper_createHIcon0(
    JNIEnv* env, jclass, jbyteArray image, jint width, jint height) {
    const jni::PinnedBytes bytes(env, image, jni::ArrayAccess::ReadOnly);
    if (bytes.isNull() || bytes.failed()) return 0;
    auto* data = reinterpret_cast<unsigned char*>(bytes.data());
    const std::vector<IconImage> images = iconImages(data, bytes.size());
    if (images.empty()) return 0;
    std::vector<unsigned char> group = resourceGroupOf(data, images.size());
    const int id = LookupIconIdFromDirectoryEx(group.data(), TRUE, width, height, LR_DEFAULTCOLOR);
    if (id < 1 || static_cast<std::size_t>(id) > images.size()) return 0;
    const IconImage& chosen = images[static_cast<std::size_t>(id) - 1];
    const HICON icon = CreateIconFromResourceEx(data + chosen.offset, static_cast<DWORD>(chosen.size), TRUE,
                                                kIconFormatVersion, width, height, LR_DEFAULTCOLOR);
    return jni::toJavaHandle(icon);
}

extern "C" JNIEXPORT void JNICALL Java_com_corvane_runtime_installer_platform_win32_WinGuiHelper_flashWindow0(
    JNIEnv*, jclass, jlong window, jboolean invert) {
    FlashWindow(static_cast<HWND>(jni::fromJavaHandle(window)), invert ? TRUE : FALSE);
}
