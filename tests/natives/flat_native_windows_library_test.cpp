// The look-and-feel classes bound through Misc.registerExtensionFunctions0, and their library
// natives: the API version, the build number, the handle of an AWT window, the DWM setters
// (Wine's DWM refuses every attribute: the answers must be the system's own) and a DWORD of the
// user's registry.
#include <windows.h>

#include "awt_window.h"
#include "harness/natives_test.h"

namespace natives_test {
namespace {

constexpr char kLibrary[] = "com/corvane/shadow/com/formdev/flatlaf/ui/FlatNativeWindowsLibrary.";

jobject systemClassLoader() {
    const jclass loader = natives_test::env()->FindClass("java/lang/ClassLoader");
    return natives_test::env()->CallStaticObjectMethod(
        loader, natives_test::env()->GetStaticMethodID(loader, "getSystemClassLoader", "()Ljava/lang/ClassLoader;"));
}

bool registerFlatlaf(const wchar_t* packageName) {
    return callBoolean("Misc.registerExtensionFunctions0", {systemClassLoader(), javaString(L"registerNativesFlatlaf"),
                                                            packageName ? jobject(javaString(packageName)) : nullptr});
}

std::string library(const char* method) { return std::string(kLibrary) + method; }

class FlatlafNatives : public NativesTest {
protected:
    void SetUp() override {
        NativesTest::SetUp();
        ASSERT_TRUE(registerFlatlaf(nullptr));
    }
};

TEST_F(FlatlafNatives, RegisteredThroughTheExtensionEntry) {
    EXPECT_TRUE(registerFlatlaf(L"com.corvane.shadow.com.formdev.flatlaf.ui"));
    // Another package holds none of the four classes.
    EXPECT_FALSE(registerFlatlaf(L"org.example.laf"));
    EXPECT_EQ(callInt("com/corvane/shadow/com/formdev/flatlaf/ui/FlatNativeLibrary.getApiVersion", {}), 1001);
}

TEST_F(FlatlafNatives, BuildNumberIsTheSystemsOwn) {
    using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
    const auto rtlGetVersion = reinterpret_cast<RtlGetVersionFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    ASSERT_EQ(rtlGetVersion(&version), 0);
    EXPECT_EQ(callLong(library("getOSBuildNumberImpl"), {}), static_cast<jlong>(version.dwBuildNumber));
}

TEST_F(FlatlafNatives, WindowHandleThroughThePeer) {
    TestWindow window;
    EXPECT_EQ(callLong(library("getHWND"), {javaWindowOf(window.get())}),
              static_cast<jlong>(reinterpret_cast<std::intptr_t>(window.get())));
    EXPECT_EQ(callLong(library("getHWND"), {javaWindowOf(nullptr)}), 0);
    EXPECT_EQ(callLong(library("getHWND"), {nullptr}), 0);
}

TEST_F(FlatlafNatives, DwmAttributesAnswerAsTheSystem) {
    TestWindow window;
    const jlong handle = reinterpret_cast<std::intptr_t>(window.get());
    EXPECT_FALSE(callBoolean(library("setWindowCornerPreference"), {jlong{0}, 2}));

    using SetAttribute = HRESULT(WINAPI*)(HWND, DWORD, LPCVOID, DWORD);
    const HMODULE dwmapi = LoadLibraryExW(L"dwmapi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    const auto set = dwmapi ? reinterpret_cast<SetAttribute>(reinterpret_cast<void*>(GetProcAddress(dwmapi, "DwmSetWindowAttribute")))
                            : nullptr;
    const auto system = [&](DWORD attribute, DWORD value) {
        return set != nullptr && SUCCEEDED(set(window.get(), attribute, &value, sizeof value));
    };
    EXPECT_EQ(callBoolean(library("setWindowCornerPreference"), {handle, 2}) != JNI_FALSE, system(33, 2));
    EXPECT_EQ(callBoolean(library("dwmSetWindowAttributeBOOL"), {handle, 20, true}) != JNI_FALSE, system(20, TRUE));
    EXPECT_EQ(callBoolean(library("dwmSetWindowAttributeDWORD"), {handle, 35, 0x00FF00}) != JNI_FALSE,
              system(35, 0x00FF00));
}

TEST_F(FlatlafNatives, RegistryDwordOrTheDefault) {
    const wchar_t* key = L"Software\\halvern\\window-natives-test";
    HKEY opened = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened, nullptr),
              ERROR_SUCCESS);
    const DWORD accent = 7;
    const unsigned long long wide = 9;
    RegSetValueExW(opened, L"Accent", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&accent), sizeof accent);
    RegSetValueExW(opened, L"Text", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"7"), 4);
    RegSetValueExW(opened, L"Wide", 0, REG_QWORD, reinterpret_cast<const BYTE*>(&wide), sizeof wide);
    RegSetValueExW(opened, L"Short", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&accent), 2);
    RegSetValueExW(opened, L"Farbe\u00E4\u0416", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&accent), sizeof accent);
    RegCloseKey(opened);

    const std::string method = "com/corvane/shadow/com/formdev/flatlaf/ui/FlatWindowsNativeWindowBorder.registryGetIntValue";
    const auto read = [&](const wchar_t* keyName, const wchar_t* name) {
        return callInt(method, {javaString(keyName), javaString(name), -5});
    };
    EXPECT_EQ(read(key, L"Accent"), 7);
    EXPECT_EQ(read(key, L"Farbe\u00E4\u0416"), 7);  // a name outside the ANSI code page
    EXPECT_EQ(read(key, L"Text"), -5);
    EXPECT_EQ(read(key, L"Wide"), -5);
    EXPECT_EQ(read(key, L"Short"), -5);
    EXPECT_EQ(read(key, L"Missing"), -5);
    EXPECT_EQ(read(L"Software\\halvern\\no-such-key", L"Accent"), -5);
    RegDeleteTreeW(HKEY_CURRENT_USER, key);
}

}  // namespace
}  // namespace natives_test
