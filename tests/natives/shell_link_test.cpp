// ShellLink: shortcuts written by the natives and read back by another process through the
// shell's own link interfaces; the shell's change notifications seen by a registered window.
#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

#include "harness/natives_test.h"
#include "natives/shell_link.h"
#include "dialog_peer_process.h"

namespace natives_test {
namespace {

using Lines = std::vector<std::wstring>;

class ShellLinkNatives : public NativesTest {
protected:
    void SetUp() override {
        NativesTest::SetUp();
        EXPECT_TRUE(callBoolean("ShellLink.initialize0", {}));
    }
    void TearDown() override {
        EXPECT_TRUE(callBoolean("ShellLink.uninitialize", {}));
        NativesTest::TearDown();
    }

    // The fields another process reads from the shortcut file.
    static Lines readBack(const std::wstring& link) {
        DialogPeer peer(L"link", link);
        return peer.finish();
    }

    ScratchFolder folder;
};

// Wine's link object keeps no data flags (SetFlags does nothing), so the run-as-administrator
// bit never reaches a file there; what the natives ask of the link is checked on a stand-in.
class RecordedDataList : public IShellLinkDataList {
public:
    DWORD flags = SLDF_HAS_ID_LIST | SLDF_HAS_ARGS;
    HRESULT getResult = S_OK, setResult = S_OK;
    std::vector<DWORD> written;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE AddDataBlock(void*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyDataBlock(DWORD, void**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveDataBlock(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetFlags(DWORD* out) override {
        *out = flags;
        return getResult;
    }
    HRESULT STDMETHODCALLTYPE SetFlags(DWORD value) override {
        written.push_back(value);
        return setResult;
    }
};

TEST(ShellLinkRunAs, TheBitIsAddedToTheFlagsTheLinkHas) {
    RecordedDataList link;
    EXPECT_TRUE(natives::markRunAsAdministrator(&link));
    EXPECT_EQ(link.written, std::vector<DWORD>{static_cast<DWORD>(SLDF_HAS_ID_LIST | SLDF_HAS_ARGS | SLDF_RUNAS_USER)});
    RecordedDataList unreadable;
    unreadable.getResult = E_FAIL;
    EXPECT_FALSE(natives::markRunAsAdministrator(&unreadable));
    EXPECT_TRUE(unreadable.written.empty());
    RecordedDataList unwritable;
    unwritable.setResult = E_FAIL;
    EXPECT_FALSE(natives::markRunAsAdministrator(&unwritable));
}

// The show command as the file stores it: Wine's link object saves it but reads it back as 1.
std::wstring storedShow(const Lines& fields) {
    const Lines show = linesStartingWith(fields, L"stored-show=");
    return show.empty() ? L"" : show[0].substr(12);
}

TEST_F(ShellLinkNatives, EveryFieldReachesTheShortcutFile) {
    const std::wstring target = folder.create(L"tool.exe"), icon = folder.create(L"tool.ico");
    const std::wstring link = folder.file(L"Tool \u0416.lnk");
    EXPECT_TRUE(callBoolean("ShellLink.createWide0",
                            {javaString(link), javaString(target), javaString(folder.path()), javaString(icon),
                             javaString(L"-x \"a b\""), 1, javaString(L"Runs the tool \u4E2D"), SW_SHOWMINNOACTIVE}));
    const Lines fields = readBack(link);
    EXPECT_EQ(linesStartingWith(fields, L"path="), Lines{L"path=" + target});
    EXPECT_EQ(linesStartingWith(fields, L"arguments="), Lines{L"arguments=-x \"a b\""});
    EXPECT_EQ(linesStartingWith(fields, L"directory="), Lines{L"directory=" + folder.path()});
    EXPECT_EQ(linesStartingWith(fields, L"description="), Lines{L"description=Runs the tool \u4E2D"});
    EXPECT_EQ(linesStartingWith(fields, L"icon="), Lines{L"icon=" + icon + L",0"});
    EXPECT_EQ(storedShow(fields), L"7");
}

TEST_F(ShellLinkNatives, NullIconArgumentsAndDescriptionGiveNone) {
    const std::wstring target = folder.create(L"tool.exe");
    const std::wstring link = folder.file(L"plain.lnk");
    EXPECT_TRUE(callBoolean("ShellLink.createWide0", {javaString(link), javaString(target), javaString(folder.path()),
                                                      nullptr, nullptr, 0, nullptr, SW_SHOWNORMAL}));
    const Lines fields = readBack(link);
    EXPECT_EQ(linesStartingWith(fields, L"arguments="), Lines{L"arguments="});
    EXPECT_EQ(linesStartingWith(fields, L"description="), Lines{L"description="});
    EXPECT_EQ(linesStartingWith(fields, L"icon="), Lines{L"icon=,0"});
    EXPECT_EQ(storedShow(fields), L"1");
}

TEST_F(ShellLinkNatives, ALinkThatCannotBeSavedIsFalse) {
    const std::wstring target = folder.create(L"tool.exe");
    EXPECT_FALSE(callBoolean("ShellLink.createWide0", {javaString(folder.file(L"missing\\x.lnk")), javaString(target),
                                                       nullptr, nullptr, nullptr, 0, nullptr, SW_SHOWNORMAL}));
    EXPECT_FALSE(callBoolean("ShellLink.createWide0",
                             {nullptr, javaString(target), nullptr, nullptr, nullptr, 1, nullptr, SW_SHOWNORMAL}));
}

// create0 is bound by no registration: the Java side reaches it through the virtual machine's
// own lookup of the export, under its stdcall name with @36 in the 32-bit image.
TEST_F(ShellLinkNatives, TheNarrowExportWritesTheSameShortcut) {
    using Create0 = jboolean(JNICALL*)(JNIEnv*, jclass, jbyteArray, jbyteArray, jbyteArray, jbyteArray, jbyteArray,
                                       jboolean, jbyteArray);
#ifdef _WIN64
    const char* name = "Java_com_corvane_runtime_installer_platform_win32_ShellLink_create0";
#else
    const char* name = "_Java_com_corvane_runtime_installer_platform_win32_ShellLink_create0@36";
#endif
    const auto create0 = reinterpret_cast<Create0>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(nullptr), name)));
    ASSERT_NE(create0, nullptr);
    const std::wstring target = folder.create(L"tool.exe");
    auto bytes = [](const std::wstring& text, bool terminated) {
        std::string narrow(text.begin(), text.end());  // ASCII paths: the system code page keeps them
        if (terminated) narrow += '\0';
        return javaBytes(std::vector<unsigned char>(narrow.begin(), narrow.end()));
    };
    const std::wstring link = folder.file(L"narrow.lnk");
    const jclass shellLink = env()->FindClass("com/corvane/runtime/installer/platform/win32/ShellLink");
    // Texts with and without a terminating zero; what follows a zero is not part of the text.
    EXPECT_TRUE(create0(env(), shellLink, bytes(link, true), bytes(target, false), bytes(folder.path(), true), nullptr,
                        bytes(std::wstring(L"-q") + L'\0' + L"ignored", false), JNI_TRUE, bytes(L"narrow", false)));
    const Lines fields = readBack(link);
    EXPECT_EQ(linesStartingWith(fields, L"path="), Lines{L"path=" + target});
    EXPECT_EQ(linesStartingWith(fields, L"arguments="), Lines{L"arguments=-q"});
    EXPECT_EQ(linesStartingWith(fields, L"description="), Lines{L"description=narrow"});
    EXPECT_EQ(linesStartingWith(fields, L"icon="), Lines{L"icon=,0"});
}

// ---- changeNotifyString0 -------------------------------------------------------------------------

constexpr UINT kChangeMessage = WM_APP + 7;

struct Change {
    LONG event;
    std::wstring path;
};

LRESULT CALLBACK recordChange(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kChangeMessage) return DefWindowProcW(window, message, wParam, lParam);
    PIDLIST_ABSOLUTE* items = nullptr;
    LONG event = 0;
    if (const HANDLE lock = SHChangeNotification_Lock(reinterpret_cast<HANDLE>(wParam), static_cast<DWORD>(lParam), &items, &event)) {
        wchar_t path[MAX_PATH] = {};
        if (items && items[0]) SHGetPathFromIDListW(items[0], path);
        auto* changes = reinterpret_cast<std::vector<Change>*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        changes->push_back({event, path});
        SHChangeNotification_Unlock(lock);
    }
    return 0;
}

TEST_F(ShellLinkNatives, TheShellHearsOfTheNewFileAndTheUpdatedFolder) {
    const std::wstring file = folder.create(L"new.lnk");
    WNDCLASSW type = {};
    type.lpfnWndProc = recordChange;
    type.hInstance = GetModuleHandleW(nullptr);
    type.lpszClassName = L"ShellLinkNativesChanges";
    RegisterClassW(&type);
    const HWND window = CreateWindowW(type.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, type.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    std::vector<Change> changes;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&changes));
    PIDLIST_ABSOLUTE watched = ILCreateFromPathW(folder.path().c_str());
    SHChangeNotifyEntry entry = {watched, TRUE};
    const ULONG registration = SHChangeNotifyRegister(window, SHCNRF_ShellLevel | SHCNRF_InterruptLevel | SHCNRF_NewDelivery,
                                                      SHCNE_CREATE | SHCNE_UPDATEDIR, kChangeMessage, 1, &entry);
    ASSERT_NE(registration, 0u);

    callBoolean("ShellLink.changeNotifyString0", {javaString(file), javaString(folder.path())});
    for (const ULONGLONG end = GetTickCount64() + 2000; changes.size() < 2 && GetTickCount64() < end; Sleep(20)) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    SHChangeNotifyDeregister(registration);
    DestroyWindow(window);
    ILFree(watched);

    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].event, SHCNE_CREATE);
    EXPECT_EQ(_wcsicmp(changes[0].path.c_str(), file.c_str()), 0) << changes[0].path;
    EXPECT_EQ(changes[1].event, SHCNE_UPDATEDIR);
    EXPECT_EQ(_wcsicmp(changes[1].path.c_str(), folder.path().c_str()), 0) << changes[1].path;
}

}  // namespace
}  // namespace natives_test
