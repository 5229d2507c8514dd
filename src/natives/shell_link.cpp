// Natives of com/corvane/runtime/installer/platform/win32/ShellLink: shortcut files through the
// shell's link object, and the shell told about new files.
#include "natives/shell_link.h"

#include <shlobj.h>

#include <string>

#include "jni/jni_toolkit.h"
#include "natives/com_object.h"
#include "natives/jni_export.h"
#include "natives/shell_functions.h"
#include "services/platform.h"

namespace natives {

bool markRunAsAdministrator(IShellLinkDataList* dataList) {
    DWORD flags = 0;
    if (FAILED(dataList->GetFlags(&flags))) return false;
    return SUCCEEDED(dataList->SetFlags(flags | kRunAsAdministratorFlag));
}

}  // namespace natives

namespace {

using natives::ComObject;

// Saves the link as `linkFile` (remembered as the object's current file); the result of the
// last COM call, which is what the Java side is told.
bool persist(const ComObject<IUnknown>& link, const wchar_t* linkFile, bool runAsAdministrator) {
    const auto file = link.query<IPersistFile>();
    if (!file) return false;
    if (runAsAdministrator) {
        const auto dataList = link.query<IShellLinkDataList>();
        if (!dataList || !natives::markRunAsAdministrator(dataList.get())) return false;
    }
    return SUCCEEDED(file->Save(linkFile, TRUE));
}

// A byte[] of text in the system code page as a zero-terminated narrow string; the Java side
// may or may not end it with a zero, and nothing after a zero belongs to the text.
struct NarrowText {
    NarrowText(JNIEnv* env, jbyteArray bytes) {
        jni::PinnedBytes pinned(env, bytes, jni::ArrayAccess::ReadOnly);
        failed = pinned.failed();
        null = pinned.isNull();
        if (failed || null) return;
        text.assign(reinterpret_cast<const char*>(pinned.data()), pinned.size());
        text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
    }
    const char* get() const { return null || failed ? nullptr : text.c_str(); }

    std::string text;
    bool null = true;
    bool failed = false;
};

std::wstring systemCodePageToWide(const std::string& text) {
    if (text.empty()) return {};
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

}  // namespace

extern "C" JNIEXPORT jboolean JNICALL Java_com_corvane_runtime_installer_platform_win32_ShellLink_createWide0(
    JNIEnv* env, jclass, jstring linkFile, jstring target, jstring workingDirectory, jstring iconFile,
    jstring arguments, jboolean runAsAdministrator, jstring description, jint showCommand) {
    const jni::WideString link(env, linkFile), path(env, target), directory(env, workingDirectory),
        icon(env, iconFile), argumentText(env, arguments), descriptionText(env, description);
    for (const auto* text : {&link, &path, &directory, &icon, &argumentText, &descriptionText})
        if (text->failed()) return JNI_FALSE;
    // Without a file name the link object would be saved to no file, which it reports as done.
    if (link.isNull()) return JNI_FALSE;

    ComObject<IShellLinkW> shellLink;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, shellLink.putVoid())))
        return JNI_FALSE;
    // A setter that fails leaves its field empty; the shortcut is still worth saving.
    if (!path.isNull()) shellLink->SetPath(path.get());
    if (!directory.isNull()) shellLink->SetWorkingDirectory(directory.get());
    if (!icon.isNull()) shellLink->SetIconLocation(icon.get(), 0);
    if (!argumentText.isNull()) shellLink->SetArguments(argumentText.get());
    if (!descriptionText.isNull()) shellLink->SetDescription(descriptionText.get());
    shellLink->SetShowCmd(showCommand);
    return persist(shellLink.query<IUnknown>(), link.get(), runAsAdministrator) ? JNI_TRUE : JNI_FALSE;
}

// The same shortcut through the narrow link interface, its texts in the system code page; no
// registration binds it, the Java side reaches it by name.
extern "C" JNIEXPORT jboolean JNICALL Java_com_corvane_runtime_installer_platform_win32_ShellLink_create0(
    JNIEnv* env, jclass, jbyteArray linkFile, jbyteArray target, jbyteArray workingDirectory, jbyteArray iconFile,
    jbyteArray arguments, jboolean runAsAdministrator, jbyteArray description) {
    const NarrowText link(env, linkFile), path(env, target), directory(env, workingDirectory), icon(env, iconFile),
        argumentText(env, arguments), descriptionText(env, description);
    for (const auto* text : {&link, &path, &directory, &icon, &argumentText, &descriptionText})
        if (text->failed) return JNI_FALSE;
    if (!link.get()) return JNI_FALSE;

    ComObject<IShellLinkA> shellLink;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, shellLink.putVoid())))
        return JNI_FALSE;
    if (path.get()) shellLink->SetPath(path.get());
    if (directory.get()) shellLink->SetWorkingDirectory(directory.get());
    if (icon.get()) shellLink->SetIconLocation(icon.get(), 0);
    if (argumentText.get()) shellLink->SetArguments(argumentText.get());
    if (descriptionText.get()) shellLink->SetDescription(descriptionText.get());
    const std::wstring wideLink = systemCodePageToWide(link.text);
    return persist(shellLink.query<IUnknown>(), wideLink.c_str(), runAsAdministrator)
               ? JNI_TRUE
               : JNI_FALSE;
}

extern "C" JNIEXPORT jboolean JNICALL Java_com_corvane_runtime_installer_platform_win32_ShellLink_changeNotifyString0(
    JNIEnv* env, jclass, jstring createdFile, jstring updatedDirectory) {
    const jni::WideString file(env, createdFile), directory(env, updatedDirectory);
    const natives::ChangeNotifyFunction notify = natives::shellFunctions().changeNotify;
    if (!notify || file.failed() || directory.failed()) return JNI_TRUE;
    if (!file.isNull()) notify(SHCNE_CREATE, SHCNF_PATHW, file.get(), nullptr);
    // Flushed: the shell has seen both before the Java side goes on (and perhaps exits).
    if (!directory.isNull()) notify(SHCNE_UPDATEDIR, SHCNF_PATHW | SHCNF_FLUSH, directory.get(), nullptr);
    return JNI_TRUE;
}

// COM for the calling Java thread, which the shortcut methods need; the Java side pairs the two.
extern "C" JNIEXPORT jboolean JNICALL Java_com_corvane_runtime_installer_platform_win32_ShellLink_initialize0(JNIEnv*, jclass) {
    CoInitialize(nullptr);
    return JNI_TRUE;
}

extern "C" JNIEXPORT jboolean JNICALL Java_com_corvane_runtime_installer_platform_win32_ShellLink_uninitialize(JNIEnv*, jclass) {
    CoUninitialize();
    return JNI_TRUE;
}
