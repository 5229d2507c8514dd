// ObjectPicker.show0: Wine's directory object picker is a stub whose dialog never opens, so
// the native's answer there is null; what it asks the picker for is checked on its own. A
// picker of the test's own (its class registered in the test's apartment) answers as the
// system's does after a choice: a data object holding the selection list with each account's
// fetched SID, which the native turns into the Java side's records.
#include <windows.h>

#include <sddl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "com_fakes.h"
#include "harness/natives_test.h"
#include "natives/object_picker.h"
#include "stream_capture.h"

namespace natives_test {
namespace {

class ObjectPickerNatives : public NativesTest {};

TEST_F(ObjectPickerNatives, WinesStubPickerGivesNull) {
    // A window of the process to be the picker's parent, as the installer's own would be.
    const HWND window = CreateWindowExW(0, L"STATIC", L"installer", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 100,
                                        nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(callObject("ObjectPicker.show0", {1, 1, 1, 0, 1}), nullptr);
    EXPECT_EQ(callObject("ObjectPicker.show0", {0, 0, 1, 1, 0}), nullptr);
    DestroyWindow(window);
}

TEST(ObjectPickerRequest, ScopesFiltersAndOptionsFollowTheFlags) {
    const natives::ObjectPickerRequest computerOnly(false, true, true, true, true);
    EXPECT_EQ(computerOnly.scope.flType, 0x1u);
    EXPECT_EQ(computerOnly.scope.flScope, 0xC0u);
    EXPECT_EQ(computerOnly.scope.FilterFlags.Uplevel.flBothModes, 0x3F4u | 2u | 8u);
    EXPECT_EQ(computerOnly.scope.FilterFlags.Uplevel.flMixedModeOnly, 0u);
    EXPECT_EQ(computerOnly.scope.FilterFlags.Uplevel.flNativeModeOnly, 0u);
    EXPECT_EQ(computerOnly.scope.FilterFlags.flDownlevel, 0x80000006u | 0x80000001u | 0x80020000u);
    EXPECT_EQ(computerOnly.init.flOptions, 0u);
    EXPECT_EQ(computerOnly.init.cDsScopeInfos, 1u);
    EXPECT_EQ(computerOnly.init.aDsScopeInfos, &computerOnly.scope);
    EXPECT_EQ(computerOnly.init.pwzTargetComputer, nullptr);
    ASSERT_EQ(computerOnly.init.cAttributesToFetch, 1u);
    EXPECT_STREQ(computerOnly.init.apwzAttributeNames[0], L"objectSID");

    // Users and the service accounts, anywhere, several at once.
    const natives::ObjectPickerRequest usersAnywhere(true, false, true, true, false);
    EXPECT_EQ(usersAnywhere.scope.flType, 0x36Fu);
    EXPECT_EQ(usersAnywhere.scope.FilterFlags.Uplevel.flBothModes, 2u | 8u);
    EXPECT_EQ(usersAnywhere.scope.FilterFlags.flDownlevel, 0x80000001u | 0x800C4000u);
    EXPECT_EQ(usersAnywhere.init.flOptions, static_cast<ULONG>(DSOP_FLAG_MULTISELECT));

    const natives::ObjectPickerRequest nothing(false, false, false, false, false);
    EXPECT_EQ(nothing.scope.FilterFlags.Uplevel.flBothModes, 0u);
    EXPECT_EQ(nothing.scope.FilterFlags.flDownlevel, 0u);
}

// ---- A picker of the test's own -----------------------------------------------------------------

// One chosen account as the picker describes it; `sid` is the fetched objectSID attribute, as
// SID text (made binary), as raw bytes, or absent.
struct Account {
    const wchar_t *name, *path, *objectClass, *principalName;
    const wchar_t* sid = nullptr;
    std::vector<unsigned char> bytes = {};
};

// What the picker was asked and what it answers.
struct PickerScript {
    std::vector<Account> chosen;
    HRESULT dialog = S_OK;  // S_FALSE: cancelled
    ULONG scopeTypes = 0, options = 0;
    HWND parent = nullptr;
};

// The selection list in one global block (records, fetched attributes, then the texts), as the
// picker hands it out with CFSTR_DSOP_DS_SELECTION_LIST; the SIDs' byte arrays belong to the
// data object.
class FakeSelection final : public FakeComObject<IDataObject> {
public:
    explicit FakeSelection(const std::vector<Account>& chosen) : FakeComObject({IID_IDataObject}), chosen_(chosen) {
        for (const Account& account : chosen_) {
            std::vector<unsigned char> bytes = account.bytes;
            if (PSID sid = nullptr; account.sid && ConvertStringSidToSidW(account.sid, &sid)) {
                bytes.assign(static_cast<unsigned char*>(sid), static_cast<unsigned char*>(sid) + GetLengthSid(sid));
                LocalFree(sid);
            }
            SAFEARRAY* array = nullptr;
            if (!bytes.empty()) {
                array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
                void* data = nullptr;
                SafeArrayAccessData(array, &data);
                std::copy(bytes.begin(), bytes.end(), static_cast<unsigned char*>(data));
                SafeArrayUnaccessData(array);
            }
            sids_.push_back(array);
        }
    }
    ~FakeSelection() override {
        for (SAFEARRAY* array : sids_) SafeArrayDestroy(array);
    }

    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (format->cfFormat != RegisterClipboardFormatW(CFSTR_DSOP_DS_SELECTION_LIST) || !(format->tymed & TYMED_HGLOBAL))
            return DV_E_FORMATETC;
        const std::size_t count = chosen_.size();
        std::size_t size = offsetof(DS_SELECTION_LIST, aDsSelection) + (count + 1) * sizeof(DS_SELECTION) +
                           count * sizeof(VARIANT);
        for (const Account& account : chosen_) {
            for (const wchar_t* text : {account.name, account.path, account.objectClass, account.principalName})
                size += (wcslen(text) + 1) * sizeof(wchar_t);
        }
        const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
        auto* list = static_cast<DS_SELECTION_LIST*>(GlobalLock(block));
        list->cItems = static_cast<ULONG>(count);
        list->cFetchedAttributes = 1;
        auto* attributes = reinterpret_cast<VARIANT*>(&list->aDsSelection[count + 1]);
        auto* texts = reinterpret_cast<wchar_t*>(attributes + count);
        const auto place = [&texts](const wchar_t* text) {
            wchar_t* placed = texts;
            texts = std::copy(text, text + wcslen(text) + 1, texts);
            return placed;
        };
        for (std::size_t i = 0; i < count; ++i) {
            DS_SELECTION& selection = list->aDsSelection[i];
            selection.pwzName = place(chosen_[i].name);
            selection.pwzADsPath = place(chosen_[i].path);
            selection.pwzClass = place(chosen_[i].objectClass);
            selection.pwzUPN = place(chosen_[i].principalName);
            selection.flScopeType = DSOP_SCOPE_TYPE_TARGET_COMPUTER;
            selection.pvarFetchedAttributes = &attributes[i];
            if (sids_[i]) {
                attributes[i].vt = VT_ARRAY | VT_UI1;
                attributes[i].parray = sids_[i];
            }
        }
        GlobalUnlock(block);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = block;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

private:
    std::vector<Account> chosen_;
    std::vector<SAFEARRAY*> sids_;
};

class FakePicker final : public FakeComObject<IDsObjectPicker> {
public:
    explicit FakePicker(PickerScript& script) : FakeComObject({IID_IDsObjectPicker}), script_(script) {}

    HRESULT STDMETHODCALLTYPE Initialize(PDSOP_INIT_INFO init) override {
        script_.scopeTypes = init->aDsScopeInfos[0].flType;
        script_.options = init->flOptions;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE InvokeDialog(HWND parent, IDataObject** selection) override {
        script_.parent = parent;
        *selection = script_.dialog == S_OK ? new FakeSelection(script_.chosen) : nullptr;
        return script_.dialog;
    }

private:
    PickerScript& script_;
};

class PickerFake : public NativesTest {
protected:
    void SetUp() override {
        NativesTest::SetUp();
        fakesBefore_ = liveFakes();
    }
    void TearDown() override {
        EXPECT_EQ(liveFakes(), fakesBefore_) << "an object of the picker was not released";
        NativesTest::TearDown();
    }
    // The records of a choice as "name|path|class|principal name|SID"; "null" for none.
    std::vector<std::wstring> show(bool multiSelect = true) {
        const jobject records = callObject("ObjectPicker.show0", {multiSelect, 1, 1, 0, 0});
        std::vector<std::wstring> shown;
        if (!records) return {L"null"};
        for (jsize i = 0; i < env()->GetArrayLength(static_cast<jarray>(records)); ++i) {
            const jobject record = env()->GetObjectArrayElement(static_cast<jobjectArray>(records), i);
            EXPECT_EQ(classNameOf(record), "com.corvane.runtime.installer.platform.win32.ObjectPicker$Result");
            shown.push_back(toStringOf(record).value_or(L"?"));
        }
        return shown;
    }

    PickerScript script_;
    RegisteredClass picker_{CLSID_DsObjectPicker,
                            [this](REFIID id, void** object) { return handOut(new FakePicker(script_), id, object); }};

private:
    int fakesBefore_ = 0;
};

using Records = std::vector<std::wstring>;

TEST_F(PickerFake, ChosenUsersAndGroupsComeBackWithTheirSids) {
    const HWND window = CreateWindowExW(0, L"STATIC", L"installer", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 100,
                                        nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    script_.chosen = {
        {L"ann", L"WinNT://CORP/HOST/ann", L"user", L"ann@corp.example", L"S-1-5-21-1004336348-1177238915-682003330-1001"},
        {L"Administrators", L"WinNT://CORP/HOST/Administrators", L"group", L"", L"S-1-5-32-544"},
        {L"Everyone", L"", L"", L""},                                                  // no SID fetched
        {L"odd", L"", L"", L"", nullptr, {1, 1, 0, 0, 0, 0, 0, 5, 0x20, 0, 0}},        // shorter than it says
    };
    EXPECT_EQ(show(), (Records{L"ann|WinNT://CORP/HOST/ann|user|ann@corp.example|S-1-5-21-1004336348-1177238915-682003330-1001",
                               L"Administrators|WinNT://CORP/HOST/Administrators|group||S-1-5-32-544", L"Everyone||||null",
                               L"odd||||null"}));
    EXPECT_EQ(picker_.created(), 1);
    EXPECT_EQ(script_.parent, window);  // the process's visible window
    EXPECT_EQ(script_.scopeTypes, 0x36Fu);
    EXPECT_EQ(script_.options, static_cast<ULONG>(DSOP_FLAG_MULTISELECT));

    // Nothing chosen is an empty array; a cancelled dialog is null.
    script_.chosen.clear();
    EXPECT_EQ(show(false), Records{});
    EXPECT_EQ(script_.options, 0u);
    script_.dialog = S_FALSE;
    EXPECT_EQ(show(), Records{L"null"});
    DestroyWindow(window);
}

TEST_F(PickerFake, WithoutAWindowOfItsOwnThereIsNoPicker) {
    // Under ctest the program has neither a visible window nor a console window.
    if (GetConsoleWindow()) GTEST_SKIP() << "the console window would be the picker's parent";
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    test_support::StreamCapture output(stdout, temp + std::wstring(L"picker-out-") + std::to_wstring(GetCurrentProcessId()));
    EXPECT_EQ(show(), Records{L"null"});
    EXPECT_EQ(output.text(), "could not find window\n");
    EXPECT_EQ(picker_.created(), 0);
}

}  // namespace
}  // namespace natives_test
