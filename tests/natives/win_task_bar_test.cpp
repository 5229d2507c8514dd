// WinTaskBar: the setters do nothing before the taskbar list exists, and after initTaskBar0 the
// calling thread is in a single-threaded apartment and the setters reach the list (Wine's taskbar
// list is a stub that shows nothing: only that every call returns with the window intact).
#include <windows.h>

#include <objbase.h>

#include <cstdint>

#include "awt_window.h"
#include "harness/natives_test.h"

namespace natives_test {
namespace {

class WinTaskBarNatives : public NativesTest {};

TEST_F(WinTaskBarNatives, SettersBeforeAndAfterTheList) {
    TestWindow window;
    const jlong handle = reinterpret_cast<std::intptr_t>(window.get());
    const auto setAll = [&] {
        callVoid("WinTaskBar.setProgress0", {handle, jlong{30}, jlong{100}});
        callVoid("WinTaskBar.setState0", {handle, 2});
        callVoid("WinTaskBar.setOverlayIcon0", {handle, jlong{0}});
    };
    setAll();
    callVoid("WinTaskBar.initTaskBar0", {});
    callVoid("WinTaskBar.initTaskBar0", {});  // once only
    // The apartment is there and single-threaded: asking for another kind is refused.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    setAll();
    callVoid("WinTaskBar.setState0", {handle, 0});
    EXPECT_TRUE(IsWindow(window.get()));
}

}  // namespace
}  // namespace natives_test
