// Natives of com/corvane/runtime/installer/platform/win32/VistaTaskDialog: the system's task
// dialog with custom buttons and a verification check box.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <atomic>
#include <string>
#include <vector>

#include "jni/jni_toolkit.h"
#include "natives/jni_export.h"
#include "services/platform.h"

namespace {

// The structure TaskDialogIndirect reads is packed; a different size here would show up as a
// dialog that fails or reads garbage only on one of the two builds.
static_assert(sizeof(TASKDIALOGCONFIG) == (sizeof(void*) == 4 ? 96 : 160));

constexpr int kFirstButtonId = 101;
// The result for a dialog that ended without one of the custom buttons (closed, cancelled).
constexpr jint kNoCustomButton = 1000;
// From this timer notification on, keeping the dialog above its owner no longer activates it.
constexpr unsigned kActivatingNotifications = 5;

using TaskDialogIndirectFunction = HRESULT(WINAPI*)(const TASKDIALOGCONFIG*, int*, int*, BOOL*);

// Only the comctl32 the process already loaded counts: the launcher loads the version 6 that
// its manifest asks for (by the launch at the latest, on a thread of its own, which is waited
// for here), and only that one has the task dialog. Kept once found; where it is missing the
// next call looks again, as the process may have loaded it since.
TaskDialogIndirectFunction taskDialogFunction() {
    static std::atomic<TaskDialogIndirectFunction> found{nullptr};
    if (const auto function = found.load()) return function;
    services::awaitCommonControls();
    const HMODULE comctl = GetModuleHandleW(L"comctl32.dll");
    if (!comctl) return nullptr;
    const auto function =
        reinterpret_cast<TaskDialogIndirectFunction>(reinterpret_cast<void*>(GetProcAddress(comctl, "TaskDialogIndirect")));
    found.store(function);
    return function;
}

// What the timer callback needs, handed to it through its own reference data.
struct OwnerTracking {
    HWND owner;
    unsigned notifications = 0;
};

// Keeps the dialog just above its owner in the z-order, which a Java owner window tends to
// cover; after the first second it stops activating the dialog so that the user can work in
// other windows.
HRESULT CALLBACK followOwner(HWND dialog, UINT notification, WPARAM, LPARAM, LONG_PTR referenceData) {
    if (notification != TDN_TIMER) return S_OK;
    auto* tracking = reinterpret_cast<OwnerTracking*>(referenceData);
    UINT flags = SWP_NOMOVE | SWP_NOSIZE;
    if (tracking->notifications >= kActivatingNotifications) flags |= SWP_NOACTIVATE;
    SetWindowPos(dialog, tracking->owner, 0, 0, 0, 0, flags);
    ++tracking->notifications;
    return S_OK;
}

// A stock icon of the shell by its SHSTOCKICONID, destroyed with the dialog's end.
class StockIcon {
public:
    explicit StockIcon(int id) {
        SHSTOCKICONINFO info = {};
        info.cbSize = sizeof info;
        if (SUCCEEDED(SHGetStockIconInfo(static_cast<SHSTOCKICONID>(id), SHGSI_ICON, &info))) icon_ = info.hIcon;
    }
    ~StockIcon() {
        if (icon_) DestroyIcon(icon_);
    }
    StockIcon(const StockIcon&) = delete;
    StockIcon& operator=(const StockIcon&) = delete;
    HICON get() const { return icon_; }

private:
    HICON icon_ = nullptr;
};

}  // namespace

extern "C" JNIEXPORT void JNICALL Java_com_corvane_runtime_installer_platform_win32_VistaTaskDialog_init0(JNIEnv*, jclass) {}

// The pressed custom button's 1-based position, or 1000 for any other end; negated when the
// verification box was ticked. 0 when the task dialog could not be shown at all.
extern "C" JNIEXPORT jint JNICALL Java_com_corvane_runtime_installer_platform_win32_VistaTaskDialog_show0(
    JNIEnv* env, jclass, jlong ownerWindow, jstring title, jstring mainInstruction, jstring content, jint flags,
    jint stockIcon, jint width, jstring verificationText, jobjectArray buttonTexts, jint defaultButton) {
    const TaskDialogIndirectFunction taskDialog = taskDialogFunction();
    if (!taskDialog) return 0;
    const jni::WideString titleText(env, title), instruction(env, mainInstruction), contentText(env, content),
        verification(env, verificationText);
    const jni::WideStringArray texts(env, buttonTexts);
    for (const auto* text : {&titleText, &instruction, &contentText, &verification})
        if (text->failed()) return 0;
    if (texts.failed()) return 0;

    std::vector<TASKDIALOG_BUTTON> buttons;
    for (const jni::WideString& text : texts)
        buttons.push_back({kFirstButtonId + static_cast<int>(buttons.size()), text.isNull() ? L"" : text.get()});

    const HWND owner = static_cast<HWND>(jni::fromJavaHandle(ownerWindow));
    const StockIcon icon(stockIcon);
    OwnerTracking tracking{owner};
    TASKDIALOGCONFIG config = {};
    config.cbSize = sizeof config;
    config.hwndParent = owner;
    config.dwFlags = static_cast<TASKDIALOG_FLAGS>(flags) | TDF_USE_HICON_MAIN | TDF_CALLBACK_TIMER;
    if (owner && !IsIconic(owner)) config.dwFlags |= TDF_POSITION_RELATIVE_TO_WINDOW;
    config.pszWindowTitle = titleText.get();
    config.hMainIcon = icon.get();
    config.pszMainInstruction = instruction.get();
    config.pszContent = contentText.get();
    config.cxWidth = static_cast<UINT>(width);
    config.cButtons = static_cast<UINT>(buttons.size());
    config.pButtons = buttons.empty() ? nullptr : buttons.data();
    config.nDefaultButton = kFirstButtonId + defaultButton;
    config.pszVerificationText = verification.get();
    if (owner) {
        config.pfCallback = followOwner;
        config.lpCallbackData = reinterpret_cast<LONG_PTR>(&tracking);
    }

    int pressed = 0;
    BOOL verified = FALSE;
    // A dialog that could not be made was not shown, which the Java side learns from the 0 of
    // an unavailable task dialog.
    if (FAILED(taskDialog(&config, &pressed, nullptr, &verified))) return 0;
    const jint button = pressed >= kFirstButtonId && pressed < kFirstButtonId + static_cast<int>(buttons.size())
                            ? pressed - (kFirstButtonId - 1)
                            : kNoCustomButton;
    return verified ? -button : button;
}
