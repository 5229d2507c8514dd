// Natives of com/corvane/runtime/installer/platform/win32/VistaFileChooser: the common item
// dialog for opening and saving files and picking folders, with filters and check boxes.
#include <windows.h>

#include <shobjidl.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "jni/jni_toolkit.h"
#include "natives/com_object.h"
#include "natives/jni_export.h"
#include "services/platform.h"

namespace {

using jni::WideString;
using jni::WideStringArray;
using natives::ComObject;

// The visual group that holds the check boxes when there is more than one.
constexpr DWORD kCheckBoxGroupId = 100000;

using CreateItemFunction = HRESULT(WINAPI*)(PCWSTR, IBindCtx*, REFIID, void**);
using CreateItemArrayFunction = HRESULT(WINAPI*)(IShellItem*, REFIID, void**);

struct ShellFunctions {
    CreateItemFunction createItem = nullptr;
    CreateItemArrayFunction createItemArray = nullptr;
};

// Looked up once; both or the dialog is not shown.
const ShellFunctions& shellFunctions() {
    static const ShellFunctions functions = [] {
        ShellFunctions found;
        if (const HMODULE shell = services::loadSystemLibrary(L"shell32.dll")) {
            found.createItem = reinterpret_cast<CreateItemFunction>(
                reinterpret_cast<void*>(GetProcAddress(shell, "SHCreateItemFromParsingName")));
            found.createItemArray = reinterpret_cast<CreateItemArrayFunction>(
                reinterpret_cast<void*>(GetProcAddress(shell, "SHCreateShellItemArrayFromShellItem")));
        }
        return found;
    }();
    return functions;
}

const wchar_t* textOrEmpty(const WideString& text) { return text.isNull() ? L"" : text.get(); }

// The filters as name and pattern pairs; a name without a pattern has no filter to offer.
void setFileTypes(IFileDialog* dialog, const WideStringArray& names, const WideStringArray& patterns, jint index) {
    const std::size_t count = std::min(names.size(), patterns.size());
    if (names.isNull() || count == 0) return;
    std::vector<COMDLG_FILTERSPEC> filters;
    for (std::size_t i = 0; i < count; ++i) filters.push_back({textOrEmpty(names[i]), textOrEmpty(patterns[i])});
    dialog->SetFileTypes(static_cast<UINT>(filters.size()), filters.data());
    if (index >= 0) dialog->SetFileTypeIndex(static_cast<UINT>(index) + 1);
}

// Check boxes with ids 1, 2, ...; more than one sit in the group "Options:". A label without a
// state in the Java array starts unticked.
void addCheckBoxes(IFileDialogCustomize* customize, const WideStringArray& labels, const jni::PinnedBooleans& states) {
    const bool grouped = labels.size() > 1;
    if (grouped) customize->StartVisualGroup(kCheckBoxGroupId, L"Options:");
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const bool ticked = i < states.size() && states.data()[i];
        customize->AddCheckButton(static_cast<DWORD>(i + 1), textOrEmpty(labels[i]), ticked ? TRUE : FALSE);
    }
    if (grouped) customize->EndVisualGroup();
}

void readCheckBoxes(IFileDialogCustomize* customize, std::size_t count, jni::PinnedBooleans& states) {
    for (std::size_t i = 0; i < count && i < states.size(); ++i) {
        BOOL ticked = FALSE;
        if (SUCCEEDED(customize->GetCheckButtonState(static_cast<DWORD>(i + 1), &ticked)))
            states.data()[i] = ticked ? JNI_TRUE : JNI_FALSE;
    }
}

// The confirmed choice as items: the one of a save dialog, the possibly many of an open one.
ComObject<IShellItemArray> chosenItems(const ComObject<IFileDialog>& dialog, bool save) {
    ComObject<IShellItemArray> items;
    if (save) {
        ComObject<IShellItem> item;
        if (SUCCEEDED(dialog->GetResult(item.put()))) shellFunctions().createItemArray(item.get(), IID_IShellItemArray, items.putVoid());
    } else if (const auto open = dialog.query<IFileOpenDialog>()) {
        open->GetResults(items.put());
    }
    return items;
}

// Each item's file system path, none for an item that has no such path (a library, a
// device), in the dialog's order.
std::vector<std::optional<std::wstring>> fileSystemPaths(IShellItemArray* items) {
    std::vector<std::optional<std::wstring>> paths;
    DWORD count = 0;
    if (FAILED(items->GetCount(&count))) return paths;
    for (DWORD i = 0; i < count; ++i) {
        std::optional<std::wstring>& path = paths.emplace_back();
        ComObject<IShellItem> item;
        if (FAILED(items->GetItemAt(i, item.put()))) continue;
        natives::CoTaskMemory<wchar_t> name;
        if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, name.put())) && name.get() && *name.get())
            path = std::wstring(name.get());
    }
    return paths;
}

}  // namespace

// COM for the Java thread that shows the dialogs.
extern "C" JNIEXPORT void JNICALL Java_com_corvane_runtime_installer_platform_win32_VistaFileChooser_initialize0(JNIEnv*, jclass) {
    CoInitialize(nullptr);
}

// The chosen paths, or null when the user cancelled or the dialog could not be shown. The
// check boxes' final states go back into `checkBoxStates` only for a confirmed dialog.
extern "C" JNIEXPORT jobjectArray JNICALL Java_com_corvane_runtime_installer_platform_win32_VistaFileChooser_displayDialog0(
    JNIEnv* env, jclass, jlong parentWindow, jstring title, jstring okLabel, jstring initialFolder, jstring initialFileName,
    jint setOptions, jint clearOptions, jboolean save, jstring defaultExtension, jobjectArray filterNames,
    jobjectArray filterPatterns, jint filterIndex, jobjectArray checkBoxLabels, jbooleanArray checkBoxStates) {
    const WideString titleText(env, title), okText(env, okLabel), folder(env, initialFolder),
        fileName(env, initialFileName), extension(env, defaultExtension);
    const WideStringArray names(env, filterNames), patterns(env, filterPatterns), labels(env, checkBoxLabels);
    jni::PinnedBooleans states(env, checkBoxStates, jni::ArrayAccess::ReadWrite);
    for (const auto* text : {&titleText, &okText, &folder, &fileName, &extension})
        if (text->failed()) return nullptr;
    for (const auto* array : {&names, &patterns, &labels})
        if (array->failed()) return nullptr;
    if (states.failed()) return nullptr;

    const ShellFunctions& shell = shellFunctions();
    if (!shell.createItem || !shell.createItemArray) return nullptr;

    ComObject<IFileDialog> dialog;
    const HRESULT created =
        save ? CoCreateInstance(CLSID_FileSaveDialog, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_IFileDialog,
                                dialog.putVoid())
             : CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                IID_IFileOpenDialog, dialog.putVoid());
    if (FAILED(created)) return nullptr;

    // A configuration call that fails leaves the dialog's default; it is shown anyway.
    FILEOPENDIALOGOPTIONS options = 0;
    if (SUCCEEDED(dialog->GetOptions(&options)))
        dialog->SetOptions((options | static_cast<DWORD>(setOptions)) & ~static_cast<DWORD>(clearOptions));
    if (!names.isNull()) setFileTypes(dialog.get(), names, patterns, filterIndex);
    ComObject<IFileDialogCustomize> customize;
    if (labels.size() > 0) {
        customize = dialog.query<IFileDialogCustomize>();
        if (customize) addCheckBoxes(customize.get(), labels, states);
    }
    if (!extension.isNull()) dialog->SetDefaultExtension(extension.get());
    if (!titleText.isNull()) dialog->SetTitle(titleText.get());
    if (!okText.isNull()) dialog->SetOkButtonLabel(okText.get());
    // Without this the dialog opens in the folder it remembers from an earlier use.
    dialog->ClearClientData();
    if (!folder.isNull()) {
        ComObject<IShellItem> folderItem;
        if (SUCCEEDED(shell.createItem(folder.get(), nullptr, IID_IShellItem, folderItem.putVoid())))
            dialog->SetFolder(folderItem.get());
    }
    if (!fileName.isNull()) dialog->SetFileName(fileName.get());

    if (FAILED(dialog->Show(static_cast<HWND>(jni::fromJavaHandle(parentWindow))))) return nullptr;

    if (customize) readCheckBoxes(customize.get(), labels.size(), states);
    const ComObject<IShellItemArray> items = chosenItems(dialog, save);
    customize.reset();
    dialog.reset();
    states.release();
    if (!items) return nullptr;
    const std::vector<std::optional<std::wstring>> paths = fileSystemPaths(items.get());
    return jni::newJavaStringArray(env, paths);
}
