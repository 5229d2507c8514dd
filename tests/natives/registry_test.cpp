// Registry natives: every conversion read back through the registry and by reg.exe in a second
// process, the roots, the view flags, deletion, enumeration, saving and restoring keys.
#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "harness/natives_test.h"
#include "privileges.h"
#include "second_process.h"
#include "services/platform.h"

namespace natives_test {
namespace {

constexpr jint kCurrentUser = 2;
constexpr jint kLocalMachine = 3;
constexpr jint kView32 = KEY_WOW64_32KEY;
constexpr wchar_t kCyrillicCjk[] = L"\u041A\u043B\u044E\u0447-\u952E\U00020000";

// A key of the test's own below HKCU\Software\natives-tests, removed with everything in it.
class TestKey {
public:
    explicit TestKey(HKEY root = HKEY_CURRENT_USER, const std::wstring& parent = L"Software\\natives-tests")
        : root_(root) {
        static int counter = 0;
        path_ = parent + L"\\" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
    }
    ~TestKey() {
        RegDeleteTreeW(root_, path_.c_str());
        RegDeleteKeyW(root_, path_.c_str());
    }
    const std::wstring& path() const { return path_; }
    jstring java() const { return javaString(path_); }
    std::wstring hivePath() const {
        return (root_ == HKEY_CURRENT_USER ? L"HKEY_CURRENT_USER\\" : L"HKEY_LOCAL_MACHINE\\") + path_;
    }

    void write(const std::wstring& name, DWORD type, const void* data, size_t size) const {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(root_, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), 0);
        RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size));
        RegCloseKey(key);
    }
    void writeText(const std::wstring& name, DWORD type, const std::wstring& units) const {
        write(name, type, units.data(), units.size() * sizeof(wchar_t));
    }
    // The stored type and bytes; type REG_NONE and no bytes when the value is missing.
    std::pair<DWORD, std::vector<unsigned char>> read(const std::wstring& name) const {
        DWORD type = REG_NONE;
        DWORD size = 0;
        if (RegGetValueW(root_, path_.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND,
                         &type, nullptr, &size) != ERROR_SUCCESS) {
            return {REG_NONE, {}};
        }
        std::vector<unsigned char> data(size);
        RegGetValueW(root_, path_.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND,
                     &type, data.data(), &size);
        data.resize(size);
        return {type, data};
    }
    bool exists(const std::wstring& subkey = L"", REGSAM view = 0) const {
        HKEY key = nullptr;
        const std::wstring full = subkey.empty() ? path_ : path_ + L"\\" + subkey;
        if (RegOpenKeyExW(root_, full.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
        RegCloseKey(key);
        return true;
    }

private:
    HKEY root_;
    std::wstring path_;
};

std::vector<unsigned char> bytesOfText(const std::wstring& units) {
    std::vector<unsigned char> bytes;
    for (const wchar_t unit : units) {
        bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
        bytes.push_back(static_cast<unsigned char>(unit >> 8));
    }
    return bytes;
}

bool contains(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

class RegistryNatives : public NativesTest {
protected:
    jobject getValue(const TestKey& key, const std::wstring& name, jint view = 0) {
        return callObject("Registry.getValue0", {kCurrentUser, key.java(), javaString(name), view});
    }
    bool setValue(const TestKey& key, const std::wstring& name, jobject value, jint type, jint root = kCurrentUser,
                  jint view = 0) {
        return callBoolean("Registry.setValue0", {root, key.java(), javaString(name), value, type, view});
    }
};

TEST_F(RegistryNatives, StoredValuesReachJavaAsTheirObjects) {
    TestKey key;
    key.writeText(L"with nul", REG_SZ, std::wstring(L"text\0", 5));
    key.writeText(L"without nul", REG_SZ, L"text");
    key.writeText(L"expand", REG_EXPAND_SZ, std::wstring(L"%TEMP%\\x\0", 9));
    const unsigned char binary[] = {0, 0xFF, 0x80, 7};
    key.write(L"binary", REG_BINARY, binary, sizeof binary);
    const DWORD dword = 0xFFFFFFFE;
    key.write(L"dword", REG_DWORD, &dword, sizeof dword);
    const unsigned long long qword = 0x8000000000000001ULL;
    key.write(L"qword", REG_QWORD, &qword, sizeof qword);
    key.writeText(L"multi", REG_MULTI_SZ, std::wstring(L"a\0b\0\0", 5));
    key.writeText(L"multi empty", REG_MULTI_SZ, std::wstring(L"\0", 1));
    key.write(L"none", REG_NONE, binary, sizeof binary);
    // Larger than any fixed buffer a reader might choose: it arrives whole.
    std::vector<unsigned char> large(150001);
    for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<unsigned char>(i * 7);
    key.write(L"large", REG_BINARY, large.data(), large.size());

    EXPECT_EQ(textOf(getValue(key, L"with nul")), L"text");
    EXPECT_EQ(textOf(getValue(key, L"without nul")), L"text");
    const jobject expand = getValue(key, L"expand");
    EXPECT_EQ(classNameOf(expand), "com.corvane.api.windows.WinRegistry$ExpandString");
    EXPECT_EQ(toStringOf(expand), L"%TEMP%\\x");
    EXPECT_EQ(bytesOf(getValue(key, L"binary")), std::vector<unsigned char>(binary, binary + sizeof binary));
    EXPECT_EQ(intOf(getValue(key, L"dword")), -2);
    EXPECT_EQ(longOf(getValue(key, L"qword")), static_cast<jlong>(qword));
    EXPECT_EQ(textsOf(getValue(key, L"multi")), (std::vector<std::wstring>{L"a", L"b"}));
    EXPECT_EQ(textsOf(getValue(key, L"multi empty")), std::vector<std::wstring>{});
    EXPECT_EQ(getValue(key, L"none"), nullptr);
    EXPECT_EQ(bytesOf(getValue(key, L"large")), large);
    EXPECT_EQ(getValue(key, L"missing"), nullptr);

    {
        HiddenClass noExpandString("com/corvane/api/windows/WinRegistry$ExpandString");
        const jobject plain = getValue(key, L"expand");
        EXPECT_EQ(classNameOf(plain), "java.lang.String");
        EXPECT_EQ(textOf(plain), L"%TEMP%\\x");
    }
    {
        HiddenClass noConstructor("com/corvane/api/windows/WinRegistry$ExpandString.<init>");
        EXPECT_EQ(getValue(key, L"expand"), nullptr);
        EXPECT_NE(takePendingException().find("NoSuchMethodError"), std::string::npos);
    }
}

TEST_F(RegistryNatives, EveryTypeCodeIsWrittenAsTheRegistryAndRegSeeIt) {
    TestKey key;
    // 60000 characters: more than the 49999 an older reader cut to; stored whole.
    std::wstring longText(60000, L'x');
    longText.back() = L'y';
    const unsigned char bytes[] = {1, 2, 0xFE};
    ASSERT_TRUE(setValue(key, L"sz", javaString(L"plain"), 1));
    ASSERT_TRUE(setValue(key, L"long", javaString(longText), 1));
    ASSERT_TRUE(setValue(key, L"expand", javaString(L"%PATH%"), 5));
    ASSERT_TRUE(setValue(key, L"dword", javaInteger(42), 2));
    ASSERT_TRUE(setValue(key, L"multi", javaStrings({L"a", L"bc"}), 3));
    ASSERT_TRUE(setValue(key, L"binary", javaBytes(bytes), 4));
    ASSERT_TRUE(setValue(key, L"qword", javaLong(0x123456789LL), 6));
    ASSERT_TRUE(setValue(key, L"", javaString(L"default"), 1));

    using Stored = std::pair<DWORD, std::vector<unsigned char>>;
    EXPECT_EQ(key.read(L"sz"), (Stored{REG_SZ, bytesOfText(std::wstring(L"plain\0", 6))}));
    EXPECT_EQ(key.read(L"long"), (Stored{REG_SZ, bytesOfText(longText + L'\0')}));
    EXPECT_EQ(key.read(L"expand"), (Stored{REG_EXPAND_SZ, bytesOfText(std::wstring(L"%PATH%\0", 7))}));
    EXPECT_EQ(key.read(L"dword"), (Stored{REG_DWORD, {42, 0, 0, 0}}));
    EXPECT_EQ(key.read(L"multi"), (Stored{REG_MULTI_SZ, bytesOfText(std::wstring(L"a\0bc\0\0", 6))}));
    EXPECT_EQ(key.read(L"binary"), (Stored{REG_BINARY, {1, 2, 0xFE}}));
    EXPECT_EQ(key.read(L"qword"), (Stored{REG_QWORD, {0x89, 0x67, 0x45, 0x23, 1, 0, 0, 0}}));
    EXPECT_EQ(textOf(getValue(key, L"")), L"default");
    EXPECT_EQ(textOf(getValue(key, L"long")), longText);

    const std::wstring exported = registryExport(key.hivePath());
    EXPECT_TRUE(contains(exported, L"\"sz\"=\"plain\"")) << exported.substr(0, 2000);
    EXPECT_TRUE(contains(exported, L"\"dword\"=dword:0000002a"));
    EXPECT_TRUE(contains(exported, L"\"binary\"=hex:01,02,fe"));
    EXPECT_TRUE(contains(exported, L"\"qword\"=hex(b):89,67,45,23,01,00,00,00"));
    EXPECT_TRUE(contains(exported, L"\"multi\"=hex(7):61,00,00,00,62,00,63,00,00,00,00,00"));
    EXPECT_TRUE(contains(exported, L"@=\"default\""));
    EXPECT_TRUE(contains(exported, L"\"long\"=\"" + longText + L"\""));

    // Refused, with nothing written: an empty element, an unknown code, an object of another kind.
    EXPECT_FALSE(setValue(key, L"refused", javaStrings({L"a", L"", L"b"}), 3));
    EXPECT_FALSE(setValue(key, L"refused", javaString(L"x"), 7));
    EXPECT_FALSE(setValue(key, L"refused", javaString(L"42"), 2));
    EXPECT_FALSE(setValue(key, L"refused", nullptr, 1));
    EXPECT_EQ(key.read(L"refused").first, static_cast<DWORD>(REG_NONE));
    EXPECT_FALSE(contains(registryExport(key.hivePath()), L"refused"));
}

TEST_F(RegistryNatives, NamesOutsideTheCodePagesRoundTrip) {
    TestKey parent;
    const std::wstring subkey = parent.path() + L"\\" + kCyrillicCjk;
    const std::wstring data = std::wstring(L"\u0434\u0430\u043D\u043D\u044B\u0435 \u6570\u636E ") + kCyrillicCjk;
    ASSERT_TRUE(callBoolean("Registry.setValue0", {kCurrentUser, javaString(subkey), javaString(kCyrillicCjk),
                                                   javaString(data), 1, 0}));
    EXPECT_EQ(textOf(callObject("Registry.getValue0", {kCurrentUser, javaString(subkey), javaString(kCyrillicCjk), 0})),
              data);
    EXPECT_EQ(textsOf(callObject("Registry.enumSubKeys0", {kCurrentUser, parent.java(), 0})),
              std::vector<std::wstring>{kCyrillicCjk});
    EXPECT_EQ(textsOf(callObject("Registry.enumValues0", {kCurrentUser, javaString(subkey), 0})),
              std::vector<std::wstring>{kCyrillicCjk});
    EXPECT_TRUE(parent.exists(kCyrillicCjk));
    const std::wstring exported = registryExport(parent.hivePath() + L"\\" + kCyrillicCjk);
    EXPECT_TRUE(contains(exported, L"\"" + std::wstring(kCyrillicCjk) + L"\"=\"" + data + L"\"")) << exported;
}

TEST_F(RegistryNatives, TheFiveRootsAndNoOther) {
    const HKEY roots[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CURRENT_CONFIG};
    for (jint code = 1; code <= 5; ++code) {
        std::vector<std::wstring> expected;
        wchar_t name[256];
        for (DWORD i = 0;; ++i) {
            DWORD length = 256;
            if (RegEnumKeyExW(roots[code - 1], i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            expected.emplace_back(name, length);
        }
        EXPECT_EQ(textsOf(callObject("Registry.enumSubKeys0", {code, javaString(L""), 0})), expected) << code;
        EXPECT_TRUE(callBoolean("Registry.keyExists0", {code, javaString(L""), 0})) << code;
    }

    TestKey key;
    key.writeText(L"v", REG_SZ, L"x");
    const jstring file = javaString(L"C:\\natives-tests-root6.reg");
    EXPECT_FALSE(callBoolean("Registry.keyExists0", {6, key.java(), 0}));
    EXPECT_FALSE(callBoolean("Registry.createKey0", {6, key.java(), 0}));
    EXPECT_EQ(callObject("Registry.getValue0", {6, key.java(), javaString(L"v"), 0}), nullptr);
    EXPECT_FALSE(callBoolean("Registry.setValue0", {6, key.java(), javaString(L"w"), javaString(L"y"), 1, 0}));
    EXPECT_EQ(callObject("Registry.enumSubKeys0", {6, key.java(), 0}), nullptr);
    EXPECT_EQ(callObject("Registry.enumValues0", {6, key.java(), 0}), nullptr);
    EXPECT_FALSE(callBoolean("Registry.saveKey0", {6, key.java(), file, 0}));
    EXPECT_FALSE(callBoolean("Registry.restoreKey0", {6, key.java(), file, 0}));
    callVoid("Registry.deleteValue0", {6, key.java(), javaString(L"v"), 0});
    callVoid("Registry.deleteKey0", {6, key.java(), JNI_FALSE, 0});
    EXPECT_EQ(key.read(L"v").first, static_cast<DWORD>(REG_SZ));
    EXPECT_FALSE(key.read(L"w").first == REG_SZ);
    EXPECT_FALSE(std::filesystem::exists(L"C:\\natives-tests-root6.reg"));
}

// KEY_WOW64_32KEY sends HKLM\Software to its 32-bit view (Wow6432Node) in a 64-bit process: each
// member must hand the flag on for Java to see the same key throughout.
TEST_F(RegistryNatives, ViewFlagsReachEveryOpenCreateAndDeletion) {
    // A 32-bit process outside WOW64 (a 32-bit system, or Wine's 32-bit prefix) has one view only.
    BOOL wow64 = FALSE;
    if (sizeof(void*) == 4 && !(IsWow64Process(GetCurrentProcess(), &wow64) && wow64)) {
        GTEST_SKIP() << "this system keeps one registry view";
    }
    TestKey key(HKEY_LOCAL_MACHINE, L"Software");
    const jstring path = key.java();
    ASSERT_TRUE(callBoolean("Registry.createKey0", {kLocalMachine, path, kView32}));
    EXPECT_TRUE(key.exists(L"", KEY_WOW64_32KEY));
    EXPECT_FALSE(key.exists(L"", KEY_WOW64_64KEY));
    EXPECT_TRUE(callBoolean("Registry.keyExists0", {kLocalMachine, path, kView32}));
    EXPECT_FALSE(callBoolean("Registry.keyExists0", {kLocalMachine, path, 0}));

    ASSERT_TRUE(callBoolean("Registry.setValue0", {kLocalMachine, javaString(key.path() + L"\\sub"), javaString(L"v"),
                                                   javaInteger(5), 2, kView32}));
    EXPECT_TRUE(key.exists(L"sub", KEY_WOW64_32KEY));
    EXPECT_EQ(intOf(callObject("Registry.getValue0", {kLocalMachine, javaString(key.path() + L"\\sub"), javaString(L"v"), kView32})), 5);
    EXPECT_EQ(callObject("Registry.getValue0", {kLocalMachine, javaString(key.path() + L"\\sub"), javaString(L"v"), 0}), nullptr);
    EXPECT_EQ(textsOf(callObject("Registry.enumSubKeys0", {kLocalMachine, path, kView32})), std::vector<std::wstring>{L"sub"});
    EXPECT_EQ(textsOf(callObject("Registry.enumValues0", {kLocalMachine, javaString(key.path() + L"\\sub"), kView32})),
              std::vector<std::wstring>{L"v"});
    callVoid("Registry.deleteValue0", {kLocalMachine, javaString(key.path() + L"\\sub"), javaString(L"v"), kView32});
    EXPECT_EQ(callObject("Registry.getValue0", {kLocalMachine, javaString(key.path() + L"\\sub"), javaString(L"v"), kView32}), nullptr);

    // The same path in the other view is another key, untouched by a deletion in this one.
    ASSERT_TRUE(callBoolean("Registry.createKey0", {kLocalMachine, javaString(key.path() + L"\\sub"), KEY_WOW64_64KEY}));
    callVoid("Registry.deleteKey0", {kLocalMachine, path, JNI_FALSE, kView32});
    EXPECT_FALSE(key.exists(L"", KEY_WOW64_32KEY));
    EXPECT_TRUE(key.exists(L"sub", KEY_WOW64_64KEY));
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, (key.path() + L"\\sub").c_str(), KEY_WOW64_32KEY, 0);
}

TEST_F(RegistryNatives, DeletionOnlyIfEmptyAndOfWholeTrees) {
    TestKey key;
    key.writeText(L"one value", REG_SZ, L"x");
    callVoid("Registry.deleteKey0", {kCurrentUser, key.java(), JNI_TRUE, 0});
    EXPECT_TRUE(key.exists());

    for (const wchar_t* path : {L"a\\b\\c", L"a\\b2", L"d"}) {
        ASSERT_TRUE(callBoolean("Registry.createKey0", {kCurrentUser, javaString(key.path() + L"\\" + path), 0}));
    }
    callVoid("Registry.deleteValue0", {kCurrentUser, key.java(), javaString(L"one value"), 0});
    EXPECT_EQ(key.read(L"one value").first, static_cast<DWORD>(REG_NONE));
    callVoid("Registry.deleteKey0", {kCurrentUser, key.java(), JNI_TRUE, 0});
    EXPECT_TRUE(key.exists(L"a\\b\\c"));
    callVoid("Registry.deleteKey0", {kCurrentUser, javaString(key.path() + L"\\d"), JNI_TRUE, 0});
    EXPECT_FALSE(key.exists(L"d"));

    callVoid("Registry.deleteKey0", {kCurrentUser, key.java(), JNI_FALSE, 0});
    EXPECT_FALSE(key.exists());
    EXPECT_TRUE(registryExport(key.hivePath()).empty());
}

TEST_F(RegistryNatives, NamesComeInEnumerationOrder) {
    TestKey key;
    for (const wchar_t* name : {L"zeta", L"alpha", L"Mu"}) {
        ASSERT_TRUE(callBoolean("Registry.createKey0", {kCurrentUser, javaString(key.path() + L"\\" + name), 0}));
        key.writeText(name, REG_SZ, L"x");
    }
    // A value name far beyond the 4096 characters older readers stopped at.
    const std::wstring longName(10000, L'n');
    key.writeText(longName, REG_SZ, L"x");

    std::vector<std::wstring> subkeys;
    std::vector<std::wstring> values;
    HKEY opened = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, key.path().c_str(), 0, KEY_READ, &opened), 0);
    std::wstring name(16384, L'\0');
    for (DWORD i = 0;; ++i) {
        DWORD length = 16384;
        if (RegEnumKeyExW(opened, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) != 0) break;
        subkeys.emplace_back(name.data(), length);
    }
    for (DWORD i = 0;; ++i) {
        DWORD length = 16384;
        if (RegEnumValueW(opened, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) != 0) break;
        values.emplace_back(name.data(), length);
    }
    RegCloseKey(opened);
    EXPECT_EQ(subkeys.size(), 3u);
    EXPECT_EQ(values.size(), 4u);
    EXPECT_EQ(textsOf(callObject("Registry.enumSubKeys0", {kCurrentUser, key.java(), 0})), subkeys);
    EXPECT_EQ(textsOf(callObject("Registry.enumValues0", {kCurrentUser, key.java(), 0})), values);
    EXPECT_EQ(textsOf(callObject("Registry.enumValues0", {kCurrentUser, javaString(key.path() + L"\\zeta"), 0})),
              std::vector<std::wstring>{});
    EXPECT_EQ(callObject("Registry.enumSubKeys0", {kCurrentUser, javaString(key.path() + L"\\missing"), 0}), nullptr);
}

// Wine saves in its own registry format; restoring is a stub.
TEST_F(RegistryNatives, SavingWritesANewFileAndRestoringReachesTheSystem) {
    TestKey key;
    key.writeText(L"saved value", REG_SZ, L"kept");
    wchar_t folder[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, folder);
    const std::wstring file = std::wstring(folder) + L"natives-tests-save-" + std::to_wstring(GetCurrentProcessId()) + L".dat";
    DeleteFileW(file.c_str());

    ASSERT_TRUE(callBoolean("Registry.saveKey0", {kCurrentUser, key.java(), javaString(file), 0}));
    EXPECT_TRUE(privilegeEnabled(L"SeBackupPrivilege"));
    std::ifstream in(std::filesystem::path(file), std::ios::binary);
    const std::string saved((std::istreambuf_iterator<char>(in)), {});
    in.close();
    EXPECT_EQ(saved.rfind("WINE REGISTRY Version 2", 0), 0u) << saved.substr(0, 80);
    EXPECT_NE(saved.find("\"saved value\"=\"kept\""), std::string::npos) << saved;

    // Wine's restore is a stub that answers success for any file and changes nothing; what
    // reaches it and the failures before it are what can be seen here. The key to restore into
    // is made when it is missing.
    key.writeText(L"saved value", REG_SZ, L"changed");
    EXPECT_TRUE(callBoolean("Registry.restoreKey0", {kCurrentUser, key.java(), javaString(file), 0}));
    EXPECT_TRUE(privilegeEnabled(L"SeRestorePrivilege"));
    EXPECT_EQ(textOf(getValue(key, L"saved value")), L"changed");
    const std::wstring fresh = key.path() + L"\\restored";
    EXPECT_TRUE(callBoolean("Registry.restoreKey0", {kCurrentUser, javaString(fresh), javaString(file), 0}));
    EXPECT_TRUE(callBoolean("Registry.keyExists0", {kCurrentUser, javaString(fresh), 0}));
    EXPECT_FALSE(callBoolean("Registry.restoreKey0", {kCurrentUser, key.java(), javaString(L""), 0}));
    EXPECT_FALSE(callBoolean("Registry.restoreKey0", {kCurrentUser, key.java(), nullptr, 0}));
    DeleteFileW(file.c_str());
}

// The events a window registered for shell changes heard (the shell's message carries the
// event in lParam).
std::vector<LPARAM> heardEvents;
constexpr UINT kShellChange = WM_APP + 1;

LRESULT CALLBACK shellChangeListener(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kShellChange) heardEvents.push_back(lParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

// The shell learns of the change through SHChangeNotify; a window registered for association
// changes in this process receives it. The preload runs first, under the launcher's flag.
TEST_F(RegistryNatives, AssociationChangesReachTheShell) {
    callVoid("Registry.changeNotifyAssociations0", {});
    EXPECT_TRUE(services::systemLibrariesPreloaded());
    const HMODULE shell = GetModuleHandleW(L"shell32.dll");
    ASSERT_NE(shell, nullptr);

    using Register = ULONG(WINAPI*)(HWND, int, LONG, UINT, int, const SHChangeNotifyEntry*);
    using Deregister = BOOL(WINAPI*)(ULONG);
    const auto registerWindow =
        reinterpret_cast<Register>(reinterpret_cast<void*>(GetProcAddress(shell, "SHChangeNotifyRegister")));
    const auto deregister =
        reinterpret_cast<Deregister>(reinterpret_cast<void*>(GetProcAddress(shell, "SHChangeNotifyDeregister")));
    ASSERT_TRUE(registerWindow && deregister);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = shellChangeListener;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"RegistryNativesShellListener";
    RegisterClassW(&windowClass);
    const HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr,
                                        windowClass.hInstance, nullptr);
    const SHChangeNotifyEntry everywhere = {nullptr, TRUE};
    const ULONG registration =
        registerWindow(window, SHCNRF_ShellLevel, SHCNE_ASSOCCHANGED, kShellChange, 1, &everywhere);
    ASSERT_NE(registration, 0u);

    heardEvents.clear();
    callVoid("Registry.changeNotifyAssociations0", {});
    MSG message;
    for (int i = 0; i < 100 && heardEvents.empty(); ++i) {
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        if (heardEvents.empty()) Sleep(20);
    }
    EXPECT_EQ(heardEvents, std::vector<LPARAM>{SHCNE_ASSOCCHANGED});
    deregister(registration);
    DestroyWindow(window);
}

}  // namespace
}  // namespace natives_test
