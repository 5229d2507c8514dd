// Natives of com/corvane/runtime/installer/platform/win32/ObjectPicker: the directory object
// picker for users and groups, each chosen account returned with its SID.
#include "natives/object_picker.h"

#include <objbase.h>
#include <oleauto.h>
#include <sddl.h>

#include "jni/jni_toolkit.h"
#include "natives/com_object.h"
#include "natives/jni_export.h"
#include "services/platform.h"

namespace natives {

static_assert(sizeof(void*) != 4 || (sizeof(DSOP_SCOPE_INIT_INFO) == 40 && sizeof(DSOP_INIT_INFO) == 28));

ObjectPickerRequest::ObjectPickerRequest(bool multiSelect, bool groups, bool users, bool wellKnownPrincipals,
                                         bool computerOnly)
    : scope{}, init{}, attributes{L"objectSID"} {
    scope.cbSize = sizeof scope;
    scope.flType = computerOnly ? DSOP_SCOPE_TYPE_TARGET_COMPUTER
                                : DSOP_SCOPE_TYPE_TARGET_COMPUTER | DSOP_SCOPE_TYPE_UPLEVEL_JOINED_DOMAIN |
                                      DSOP_SCOPE_TYPE_DOWNLEVEL_JOINED_DOMAIN | DSOP_SCOPE_TYPE_ENTERPRISE_DOMAIN |
                                      DSOP_SCOPE_TYPE_EXTERNAL_UPLEVEL_DOMAIN | DSOP_SCOPE_TYPE_EXTERNAL_DOWNLEVEL_DOMAIN |
                                      DSOP_SCOPE_TYPE_USER_ENTERED_UPLEVEL_SCOPE |
                                      DSOP_SCOPE_TYPE_USER_ENTERED_DOWNLEVEL_SCOPE;
    scope.flScope = DSOP_SCOPE_FLAG_DEFAULT_FILTER_USERS | DSOP_SCOPE_FLAG_DEFAULT_FILTER_GROUPS;
    ULONG uplevel = 0, downlevel = 0;
    if (groups) {
        uplevel |= DSOP_FILTER_BUILTIN_GROUPS | DSOP_FILTER_UNIVERSAL_GROUPS_DL | DSOP_FILTER_UNIVERSAL_GROUPS_SE |
                   DSOP_FILTER_GLOBAL_GROUPS_DL | DSOP_FILTER_GLOBAL_GROUPS_SE | DSOP_FILTER_DOMAIN_LOCAL_GROUPS_DL |
                   DSOP_FILTER_DOMAIN_LOCAL_GROUPS_SE;
        downlevel |= DSOP_DOWNLEVEL_FILTER_LOCAL_GROUPS | DSOP_DOWNLEVEL_FILTER_GLOBAL_GROUPS;
    }
    if (users) {
        uplevel |= DSOP_FILTER_USERS;
        downlevel |= DSOP_DOWNLEVEL_FILTER_USERS;
    }
    if (wellKnownPrincipals) {
        uplevel |= DSOP_FILTER_WELL_KNOWN_PRINCIPALS;
        downlevel |= groups ? DSOP_DOWNLEVEL_FILTER_ALL_WELLKNOWN_SIDS
                            : DSOP_DOWNLEVEL_FILTER_LOCAL_SERVICE | DSOP_DOWNLEVEL_FILTER_NETWORK_SERVICE |
                                  DSOP_DOWNLEVEL_FILTER_SYSTEM;
    }
    scope.FilterFlags.Uplevel.flBothModes = uplevel;
    scope.FilterFlags.flDownlevel = downlevel;

    init.cbSize = sizeof init;
    init.cDsScopeInfos = 1;
    init.aDsScopeInfos = &scope;
    init.flOptions = multiSelect ? DSOP_FLAG_MULTISELECT : 0;
    init.cAttributesToFetch = 1;
    init.apwzAttributeNames = attributes;
}

}  // namespace natives

namespace {

using jni::LocalRef;
using natives::ComObject;

constexpr char kResultClass[] = "com/corvane/runtime/installer/platform/win32/ObjectPicker$Result";
constexpr char kResultConstructor[] =
    "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;)V";

using SidToStringFunction = BOOL(WINAPI*)(PSID, LPWSTR*);

SidToStringFunction sidToStringFunction() {
    static const SidToStringFunction function = [] {
        const HMODULE advapi = services::loadSystemLibrary(L"advapi32.dll");
        return advapi ? reinterpret_cast<SidToStringFunction>(
                            reinterpret_cast<void*>(GetProcAddress(advapi, "ConvertSidToStringSidW")))
                      : nullptr;
    }();
    return function;
}

struct WindowSearch {
    DWORD processId;
    HWND console;
    HWND last;
};

BOOL CALLBACK rememberProcessWindow(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && window != search->console && IsWindowVisible(window)) search->last = window;
    return TRUE;
}

// The picker's parent: the last visible top-level window of this process (the installer's
// own), else the console window.
HWND pickerParent() {
    WindowSearch search{GetCurrentProcessId(), GetConsoleWindow(), nullptr};
    EnumWindows(rememberProcessWindow, reinterpret_cast<LPARAM>(&search));
    return search.last ? search.last : search.console;
}

class ComApartment {
public:
    ComApartment() : initialized_(SUCCEEDED(CoInitialize(nullptr))) {}
    ~ComApartment() {
        if (initialized_) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool initialized_;
};

// The selection list of the picker's data object, locked while it lives.
class SelectionList {
public:
    explicit SelectionList(IDataObject* data) {
        FORMATETC format = {static_cast<CLIPFORMAT>(RegisterClipboardFormatW(CFSTR_DSOP_DS_SELECTION_LIST)), nullptr,
                            DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        if (FAILED(data->GetData(&format, &medium_))) return;
        held_ = true;
        list_ = static_cast<PDS_SELECTION_LIST>(GlobalLock(medium_.hGlobal));
    }
    ~SelectionList() {
        if (list_) GlobalUnlock(medium_.hGlobal);
        if (held_) ReleaseStgMedium(&medium_);
    }
    SelectionList(const SelectionList&) = delete;
    SelectionList& operator=(const SelectionList&) = delete;
    const DS_SELECTION_LIST* get() const { return list_; }

private:
    STGMEDIUM medium_ = {};
    bool held_ = false;
    PDS_SELECTION_LIST list_ = nullptr;
};

// The SID string of the fetched "objectSID" attribute (a byte array holding the binary SID);
// none when the attribute is missing or holds no valid SID.
jstring sidText(JNIEnv* env, const DS_SELECTION& selection, ULONG fetched, SidToStringFunction sidToString) {
    if (fetched < 1 || !selection.pvarFetchedAttributes) return nullptr;
    const VARIANT& attribute = selection.pvarFetchedAttributes[0];
    if (attribute.vt != (VT_ARRAY | VT_UI1) || !attribute.parray) return nullptr;
    SAFEARRAY* bytes = attribute.parray;
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(bytes, &data))) return nullptr;
    jstring text = nullptr;
    const ULONG size = bytes->cDims == 1 ? bytes->rgsabound[0].cElements : 0;
    if (size >= 8 && IsValidSid(data) && GetLengthSid(data) <= size) {
        wchar_t* converted = nullptr;
        if (sidToString(data, &converted)) {
            text = jni::newJavaString(env, converted);
            LocalFree(converted);
        }
    }
    SafeArrayUnaccessData(bytes);
    return text;
}

jobjectArray resultsOf(JNIEnv* env, const DS_SELECTION_LIST& list, SidToStringFunction sidToString) {
    const LocalRef resultClass = jni::findClass(env, kResultClass);
    if (!resultClass) return nullptr;
    if (!env->GetMethodID(resultClass.get(), "<init>", kResultConstructor)) return nullptr;
    LocalRef results(env, env->NewObjectArray(static_cast<jsize>(list.cItems), resultClass.get(), nullptr));
    if (jni::exceptionPending(env) || !results) return nullptr;
    for (ULONG i = 0; i < list.cItems; ++i) {
        const DS_SELECTION& selection = list.aDsSelection[i];
        const LocalRef name(env, jni::newJavaString(env, selection.pwzName));
        const LocalRef path(env, jni::newJavaString(env, selection.pwzADsPath));
        const LocalRef objectClass(env, jni::newJavaString(env, selection.pwzClass));
        const LocalRef principalName(env, jni::newJavaString(env, selection.pwzUPN));
        const LocalRef sid(env, sidText(env, selection, list.cFetchedAttributes, sidToString));
        const LocalRef result(env, jni::newObject(env, resultClass.get(), kResultConstructor,
                                                      {name.get(), path.get(), objectClass.get(), principalName.get(),
                                                       sid.get()}));
        if (!result) return nullptr;
        env->SetObjectArrayElement(results.get(), static_cast<jsize>(i), result.get());
        if (jni::exceptionPending(env)) return nullptr;
    }
    return results.release();
}

}  // namespace

// The chosen accounts, an empty array for an empty choice; null on cancel or any failure.
extern "C" JNIEXPORT jobjectArray JNICALL Java_com_corvane_runtime_installer_platform_win32_ObjectPicker_show0(
    JNIEnv* env, jclass, jboolean multiSelect, jboolean groups, jboolean users, jboolean wellKnownPrincipals,
    jboolean computerOnly) {
    const SidToStringFunction sidToString = sidToStringFunction();
    if (!sidToString) return nullptr;
    const HWND parent = pickerParent();
    if (!parent) {
        services::writeStandardOutput("could not find window\n");
        return nullptr;
    }

    const ComApartment apartment;
    ComObject<IDsObjectPicker> picker;
    if (FAILED(CoCreateInstance(CLSID_DsObjectPicker, nullptr, CLSCTX_INPROC_SERVER, IID_IDsObjectPicker, picker.putVoid())))
        return nullptr;
    natives::ObjectPickerRequest request(multiSelect, groups, users, wellKnownPrincipals, computerOnly);
    if (FAILED(picker->Initialize(&request.init))) return nullptr;
    ComObject<IDataObject> selection;
    if (picker->InvokeDialog(parent, selection.put()) != S_OK || !selection) return nullptr;

    const SelectionList list(selection.get());
    return list.get() ? resultsOf(env, *list.get(), sidToString) : nullptr;
}
