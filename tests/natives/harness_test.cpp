// The harness itself: values cross to the machine and back unchanged, a native is reached
// through the binding registerNativesEx made, and a hidden class is missing only while hidden.
#include "harness/natives_test.h"

namespace natives_test {
namespace {

class Harness : public NativesTest {};

TEST_F(Harness, ValuesRoundTrip) {
    const std::wstring text = L"a\u0416\u4E2D\U0001F600";
    EXPECT_EQ(textOf(javaString(text)), text);
    EXPECT_EQ(textsOf(javaStrings({L"x", L"", L"\u0416"})), (std::vector<std::wstring>{L"x", L"", L"\u0416"}));
    const std::vector<unsigned char> bytes = {0, 1, 0xFF};
    EXPECT_EQ(bytesOf(javaBytes(bytes)), bytes);
    EXPECT_EQ(intOf(javaInteger(-7)), -7);
    EXPECT_EQ(longOf(javaLong(0x123456789ABLL)), 0x123456789ABLL);
    EXPECT_EQ(classNameOf(javaLong(1)), "java.lang.Long");
    EXPECT_EQ(textOf(nullptr), std::nullopt);
}

TEST_F(Harness, NativesAreCalledThroughTheirBinding) {
    // An entry the module does not export: the native answers false and reports it.
    EXPECT_FALSE(callBoolean("Misc.registerExtensionFunctions0", {nullptr, javaString(L"noSuchEntry"), nullptr}));
}

TEST_F(Harness, AHiddenClassIsMissingOnlyWhileHidden) {
    constexpr char kName[] = "com/corvane/api/windows/WinRegistry$ExpandString";
    {
        HiddenClass hidden(kName);
        EXPECT_EQ(env()->FindClass(kName), nullptr);
        EXPECT_NE(takePendingException().find("NoClassDefFoundError"), std::string::npos);
    }
    EXPECT_NE(env()->FindClass(kName), nullptr);
}

}  // namespace
}  // namespace natives_test
