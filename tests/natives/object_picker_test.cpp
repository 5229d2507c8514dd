// ObjectPicker.show0: Wine's directory object picker is a stub whose dialog never opens, so
// the native's answer there is null; what it asks the picker for is checked on its own.
#include <windows.h>

#include "harness/natives_test.h"
#include "natives/object_picker.h"

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

}  // namespace
}  // namespace natives_test
