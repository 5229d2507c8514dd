// The registration table against the installer runtime's declarations: every class in its
// order, every method's stdcall byte count, the export names and the report texts.
#include <gtest/gtest.h>

#include <cstdarg>
#include <sstream>
#include <stdexcept>

#include "natives/registration_table.h"
#include "natives/report_text.h"

using natives::ClassGroup;
using natives::NativeClass;
using natives::NativeMethod;

namespace {

// Simple class names in registration order, runtime classes then FlatLaf classes.
const char* const kClassOrder[] = {
    "FileVersion", "FolderInfo", "Misc", "ObjectPicker", "ShellLink", "VistaFileChooser", "VistaTaskDialog",
    "Win32CommunicationBackend", "Win32Firewall", "Win32Proxy", "Win32UserInfo", "WinGuiHelper", "wininet/WinInet",
    "WinTaskBar", "ACLHandling", "Registry", "Win32Exec", "Win32Handle", "Win32Services",
    "FlatNativeLibrary", "FlatNativeWindowsLibrary", "FlatWindowsNativeWindowBorder$WndProc",
    "FlatWindowsNativeWindowBorder",
};

// The "@N" of each method's export name, class by class in table order.
const char* const kArgumentBytes[] = {
    "16",
    "16 12 8 8 12 12 12",
    "8 12 8 8 8 12 16 8 20 12 16 16 16 20 8 8",
    "28",
    "40 16 8 8",
    "8 68",
    "52 8",
    "8 20 16 20 12 16 16 16 8 12 8",
    "8 56 48 8",
    "12 12 32 8",
    "12 24 8 36 16 16 16 16 8 20",
    "16 16 16 20 20",
    "8 12 16 16 16 16 40 32 16 28 32 24 24 24",
    "8 24 32 20",
    "44",
    "20 20 24 32 24 24 24 24 20 20 8",
    "16",
    "8 12 12",
    "20 44 28 16 16 16 12 12 12 12",
    "8",
    "8 12 20 24 24",
    "12 16 20 28 20",
    "20",
};

std::string suffixAfter(const std::string& name, const std::string& prefix) {
    return name.rfind(prefix, 0) == 0 ? name.substr(prefix.size()) : "(outside " + prefix + ")";
}

const NativeMethod& methodNamed(const NativeClass& nativeClass, const std::string& name) {
    for (const NativeMethod& method : nativeClass.methods)
        if (method.name == name) return method;
    throw std::runtime_error("no method " + name);
}

const NativeClass& classNamed(const std::string& simpleName) {
    for (const NativeClass& nativeClass : natives::registrationTable()) {
        const std::string name = nativeClass.className;
        if (name.size() > simpleName.size() && name.compare(name.size() - simpleName.size(), std::string::npos,
                                                            simpleName) == 0 &&
            name[name.size() - simpleName.size() - 1] == '/')
            return nativeClass;
    }
    throw std::runtime_error("no class " + simpleName);
}

std::wstring report(const wchar_t* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::wstring text = natives::formatReport(format, arguments);
    va_end(arguments);
    return text;
}

}  // namespace

TEST(RegistrationTable, HoldsEveryClassInOrderWithTheByteCountOfEveryMethod) {
    const auto& table = natives::registrationTable();
    ASSERT_EQ(table.size(), std::size(kClassOrder));
    ASSERT_EQ(std::size(kArgumentBytes), table.size());
    size_t methods = 0;
    for (size_t i = 0; i < table.size(); ++i) {
        const NativeClass& nativeClass = table[i];
        const bool runtime = i < 19;
        EXPECT_EQ(nativeClass.group, runtime ? ClassGroup::Runtime : ClassGroup::Flatlaf);
        EXPECT_EQ(suffixAfter(nativeClass.className, runtime ? "com/corvane/runtime/installer/platform/win32/"
                                                             : "com/corvane/shadow/com/formdev/flatlaf/ui/"),
                  kClassOrder[i]);
        std::istringstream expected(kArgumentBytes[i]);
        for (const NativeMethod& method : nativeClass.methods) {
            int bytes = -1;
            expected >> bytes;
            EXPECT_EQ(natives::argumentBytes(method.signature), bytes) << nativeClass.className << "." << method.name;
        }
        int extra = 0;
        EXPECT_FALSE(expected >> extra) << nativeClass.className << " lacks methods";
        methods += nativeClass.methods.size();
    }
    EXPECT_EQ(methods, 123u);
    EXPECT_EQ(natives::classesOf(ClassGroup::Runtime).size(), 19u);
    ASSERT_EQ(natives::classesOf(ClassGroup::Flatlaf).size(), 4u);
    EXPECT_EQ(natives::classesOf(ClassGroup::Flatlaf)[0], &table[19]);
}

TEST(RegistrationTable, ExportNamesAreTheDecoratedJniNames) {
    const NativeClass& misc = classNamed("Misc");
    EXPECT_EQ(natives::exportName(misc, methodNamed(misc, "reboot0")),
              "_Java_com_corvane_runtime_installer_platform_win32_Misc_reboot0@8");
    EXPECT_EQ(natives::exportName(misc, methodNamed(misc, "setForegroundWindow0")),
              "_Java_com_corvane_runtime_installer_platform_win32_Misc_setForegroundWindow0@16");
    const NativeClass& wininet = classNamed("wininet/WinInet");
    EXPECT_EQ(natives::exportName(wininet, methodNamed(wininet, "internetErrorDlg0")),
              "_Java_com_corvane_runtime_installer_platform_win32_wininet_WinInet_internetErrorDlg0@32");
    const NativeClass& wndProc = classNamed("FlatWindowsNativeWindowBorder$WndProc");
    EXPECT_EQ(natives::exportName(wndProc, methodNamed(wndProc, "showWindow")),
              "_Java_com_corvane_shadow_com_formdev_flatlaf_ui_FlatWindowsNativeWindowBorder_00024WndProc_showWindow@20");
    // Outside 32-bit Windows nothing is decorated.
#if defined(_WIN32) && !defined(_WIN64)
    EXPECT_EQ(natives::moduleExportName(wndProc, methodNamed(wndProc, "showWindow")),
              natives::exportName(wndProc, methodNamed(wndProc, "showWindow")));
#else
    EXPECT_EQ(natives::moduleExportName(wndProc, methodNamed(wndProc, "showWindow")),
              "Java_com_corvane_shadow_com_formdev_flatlaf_ui_FlatWindowsNativeWindowBorder_00024WndProc_showWindow");
#endif

    // Exported, never registered.
    ASSERT_EQ(natives::unboundExports().size(), 1u);
    const NativeClass& shellLink = natives::unboundExports()[0];
    ASSERT_EQ(shellLink.methods.size(), 1u);
    EXPECT_EQ(natives::exportName(shellLink, shellLink.methods[0]),
              "_Java_com_corvane_runtime_installer_platform_win32_ShellLink_create0@36");
}

TEST(RegistrationTable, ArgumentBytesOfOddSignaturesStayInsideTheText) {
    EXPECT_EQ(natives::argumentBytes("([[J[D)V"), 16);
    EXPECT_EQ(natives::argumentBytes("(JDZ[Ljava/lang/String;)V"), 32);
    EXPECT_EQ(natives::argumentBytes(""), 8);
    EXPECT_EQ(natives::argumentBytes(nullptr), 8);
    EXPECT_EQ(natives::argumentBytes("(["), 12);
    EXPECT_EQ(natives::argumentBytes("(Ljava/lang/Str"), 12);
}

TEST(RegistrationTable, ReportTextsNameClassesInSlashFormAndKeepTheDollar) {
    const NativeClass& misc = classNamed("Misc");
    EXPECT_EQ(natives::classNotFoundText(misc), "could not load class com/corvane/runtime/installer/platform/win32/Misc");
    EXPECT_EQ(natives::missingExportText(misc, methodNamed(misc, "reboot0")),
              "did not find Java_com_corvane_runtime_installer_platform_win32_Misc_reboot0");
    EXPECT_EQ(natives::registerFailedText(misc), "register com/corvane/runtime/installer/platform/win32/Misc failed %d");
    const NativeClass& wndProc = classNamed("FlatWindowsNativeWindowBorder$WndProc");
    EXPECT_EQ(natives::missingExportText(wndProc, methodNamed(wndProc, "showWindow")),
              "did not find Java_com_corvane_shadow_com_formdev_flatlaf_ui_FlatWindowsNativeWindowBorder$WndProc_showWindow");
    EXPECT_EQ(natives::classNotFoundText(wndProc),
              "could not load class com/corvane/shadow/com/formdev/flatlaf/ui/FlatWindowsNativeWindowBorder$WndProc");

    // Class.forName names: the class's own package, or the given one joined by one dot.
    EXPECT_EQ(natives::binaryName(wndProc, nullptr), "com.corvane.shadow.com.formdev.flatlaf.ui.FlatWindowsNativeWindowBorder$WndProc");
    EXPECT_EQ(natives::binaryName(classNamed("FlatNativeLibrary"), "org.example.laf"), "org.example.laf.FlatNativeLibrary");
}

TEST(RegistrationTable, ReportsFormatOnlyTheConversionsTheyUse) {
    EXPECT_EQ(report(L"register X failed %d", -1), L"register X failed -1");
    EXPECT_EQ(report(L"did not find register natives extension in helper dll (%S)", "noSuchEntry"),
              L"did not find register natives extension in helper dll (noSuchEntry)");
    EXPECT_EQ(report(L"%s and %S", L"wide", static_cast<const char*>(nullptr)), L"wide and (null)");
    // Anything else takes no argument, so it cannot read past what was passed.
    EXPECT_EQ(report(L"100%% %x %p %"), L"100% %x %p %");
}
